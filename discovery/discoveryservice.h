#ifndef DISCOVERYSERVICE_H
#define DISCOVERYSERVICE_H

#include "boxpnpmanager.h"
#include "netdoccampnpmanager.h"
#include "networkinterfacemonitor.h"
#include "onvifsearchsource.h"
#include "searchmanager.h"
#include "utilitysearch.h"
#include "viscaoipcontrol.h"

#include <QObject>

// Device discovery as one object: the interface monitor, the VISCA control,
// the sources and the coordinator that runs them, created together in this
// order and gone together in the reverse one. A program's main() owns the
// one instance (the window's program and the command line alike); the
// classes' getInstance() reach its parts while it lives, so nothing else
// decides when any of them is made or deleted.
//
// A change of the host's addresses goes from the monitor to here: the
// searches and the VISCA control take the new list, then
// emitNetInterfaceChanged() tells whoever shows adapters.
class DiscoveryService : public QObject
{
    Q_OBJECT

public:
    // source lists the host's addresses (QNetworkInterface::allAddresses
    // when empty); tests give their own.
    explicit DiscoveryService(QObject *parent = nullptr);
    explicit DiscoveryService(NetworkInterfaceMonitor::AddressSource source, QObject *parent = nullptr);
    ~DiscoveryService() override;

    // The instance that lives now, or null. At most one lives at a time.
    static DiscoveryService *getInstance();

    NetworkInterfaceMonitor *monitor() { return &m_monitor; }
    ViscaOipControl *viscaControl() { return &m_visca; }
    UtilitySearch *utilitySearch() { return &m_utilitySearch; }
    NetDocCamPnPManager *docCamManager() { return &m_docCams; }
    BoxPnPManager *boxManager() { return &m_boxes; }
    OnvifSearchSource *onvifSource() { return &m_onvif; }
    SearchManager *searchManager() { return &m_searchManager; }

signals:
    // The local address lists were refreshed after an adapter change.
    void emitNetInterfaceChanged();

private:
    Q_DISABLE_COPY(DiscoveryService)

    void netInterfaceChanged();

    NetworkInterfaceMonitor m_monitor;
    ViscaOipControl m_visca;
    UtilitySearch m_utilitySearch;
    NetDocCamPnPManager m_docCams;
    BoxPnPManager m_boxes;
    OnvifSearchSource m_onvif;
    SearchManager m_searchManager;
};

#endif // DISCOVERYSERVICE_H
