#include "discoveryservice.h"

#include "devicerecord.h"

#include <QNetworkInterface>

namespace {

DiscoveryService *current = nullptr;

} // namespace

DiscoveryService::DiscoveryService(QObject *parent)
    : DiscoveryService(NetworkInterfaceMonitor::AddressSource(), parent)
{
}

DiscoveryService::DiscoveryService(NetworkInterfaceMonitor::AddressSource source, QObject *parent)
    : QObject(parent)
    , m_monitor(source ? std::move(source) : NetworkInterfaceMonitor::AddressSource(&QNetworkInterface::allAddresses))
    , m_visca(&m_monitor)
    , m_utilitySearch(&m_monitor)
    , m_docCams(&m_monitor)
    , m_boxes(&m_monitor)
    , m_searchManager(&m_monitor, &m_utilitySearch, &m_visca)
{
    // Two would share the fixed ports and the getInstance() calls of the
    // parts; a program makes exactly one.
    Q_ASSERT_X(!current, "DiscoveryService", "only one discovery service may live at a time");
    current = this;
    m_searchManager.setSearchSource(DeviceRecord::DocumentCamera, &m_docCams);
    m_searchManager.setSearchSource(DeviceRecord::ControlBox, &m_boxes);
    m_searchManager.setSearchSource(DeviceRecord::Onvif, &m_onvif);
    connect(&m_monitor, &NetworkInterfaceMonitor::networkInterfaceHasChanged,
            this, &DiscoveryService::netInterfaceChanged);
}

DiscoveryService::~DiscoveryService()
{
    disconnect(&m_monitor, nullptr, this, nullptr);
    m_monitor.setPolling(false);
    if (current == this)
        current = nullptr;
}

DiscoveryService *DiscoveryService::getInstance()
{
    return current;
}

void DiscoveryService::netInterfaceChanged()
{
    m_utilitySearch.refreshAddresses();
    m_visca.refreshAddresses();
    emit emitNetInterfaceChanged();
}
