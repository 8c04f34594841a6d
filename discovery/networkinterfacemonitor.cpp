#include "networkinterfacemonitor.h"

#include "applog.h"
#include "discoveryservice.h"

NetworkInterfaceMonitor *NetworkInterfaceMonitor::getInstance()
{
    DiscoveryService *const service = DiscoveryService::getInstance();
    return service ? service->monitor() : nullptr;
}

NetworkInterfaceMonitor::NetworkInterfaceMonitor(AddressSource source, QObject *parent)
    : QObject(parent)
    , addressSource(std::move(source))
{
    addressList = currentLocalAddresses();
    for (const QHostAddress &address : qAsConst(addressList))
        appLog(LogSystem::LogMajorMsg, "add address %s", qPrintable(address.toString()));

    pollTimer.setInterval(1000);
    pollTimer.setSingleShot(true);
    connect(&pollTimer, &QTimer::timeout, this, &NetworkInterfaceMonitor::networkInterfaceMonitorFunc);
}

NetworkInterfaceMonitor::~NetworkInterfaceMonitor()
{
    addressList.clear();
    pollTimer.disconnect(this);
    pollTimer.stop();
}

void NetworkInterfaceMonitor::setPolling(bool on)
{
    if (on)
        pollTimer.start();
    else
        pollTimer.stop();
}

bool NetworkInterfaceMonitor::isPolling() const
{
    return pollTimer.isActive();
}

bool NetworkInterfaceMonitor::getAddresses(QList<QHostAddress> &addresses)
{
    addressList = currentLocalAddresses();
    if (addressList.isEmpty())
        return false;
    if (&addresses != &addressList)
        addresses = addressList;
    return true;
}

QList<QHostAddress> NetworkInterfaceMonitor::localAddresses(const QList<QHostAddress> &all)
{
    QList<QHostAddress> local;
    for (const QHostAddress &address : all) {
        // The whole 127/8 block is loopback, not just 127.0.0.1: discovery
        // must never bind there.
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            local.append(address);
    }
    return local;
}

bool NetworkInterfaceMonitor::applyPoll(QList<QHostAddress> &known, const QList<QHostAddress> &current)
{
    const int total = current.size();
    int unseen = 0;
    for (const QHostAddress &address : current) {
        if (!known.contains(address))
            ++unseen;
    }

    bool hadEntries = false;
    if (total == 0) {
        hadEntries = !known.isEmpty();
        known.clear();
    }

    if (unseen == 0 && (total == 0 || total == known.size()))
        return total == 0 && hadEntries;

    known = current;
    return true;
}

void NetworkInterfaceMonitor::networkInterfaceMonitorFunc()
{
    const bool changed = applyPoll(addressList, currentLocalAddresses());
    // Re-arm before telling anyone, so a listener that switches polling off
    // has the last word.
    pollTimer.start();
    if (changed)
        emit networkInterfaceHasChanged();
}

QList<QHostAddress> NetworkInterfaceMonitor::currentLocalAddresses() const
{
    return localAddresses(addressSource ? addressSource() : QList<QHostAddress>());
}
