#include "livesearchrun.h"

#include "devicelistmerge.h"
#include "kernelcounters.h"
#include "networkinterfacemonitor.h"
#include "socketowner.h"
#include "socketprocesses.h"
#include "utilityprotocol.h"
#include "utilitysearch.h"

#include <QNetworkInterface>
#include <QSet>

LiveSearchRun::LiveSearchRun(QObject *parent)
    : QObject(parent)
    , search(UtilitySearch::getInstance())
{
    if (!search) {
        ownMonitor = std::make_unique<NetworkInterfaceMonitor>(&QNetworkInterface::allAddresses);
        ownSearch = std::make_unique<UtilitySearch>(ownMonitor.get());
        search = ownSearch.get();
    }
    listen.setSingleShot(true);
    connect(&listen, &QTimer::timeout, this, &LiveSearchRun::collect);
}

LiveSearchRun::~LiveSearchRun()
{
    if (running)
        search->takeDeviceList();
    search = nullptr;
}

void LiveSearchRun::start(const QList<Adapter> &adapters, int listenMs)
{
    if (running)
        return;
    pending = adapters;
    done.clear();
    listen.setInterval(listenMs);
    running = true;
    search->refreshAddresses();
    startNext();
}

void LiveSearchRun::startNext()
{
    if (pending.isEmpty()) {
        running = false;
        emit finished();
        return;
    }
    const Adapter adapter = pending.takeFirst();
    current = AdapterResult();
    current.adapter = adapter.name;
    current.address = adapter.address;
    counterBefore = reversePathCounter();
    search->startSearch(adapter.address);
    listen.start();
}

void LiveSearchRun::collect()
{
    // Read while the sockets are still open: closing them takes their counts.
    current.socketDrops = ownSocketDrops();
    const qint64 counterAfter = reversePathCounter();
    if (counterBefore >= 0 && counterAfter >= 0)
        current.reversePathDrops = counterAfter - counterBefore;
    DeviceListMerge::append(&current.devices, DeviceRecord::BroadcastSearch, search->takeDeviceList());
    done.append(current);
    startNext();
}

qint64 LiveSearchRun::ownSocketDrops()
{
    QList<SocketOwner::Entry> sockets;
    if (!SocketOwner::udpSocketsOnPort(UtilityProtocol::Port, &sockets))
        return -1;
    const QSet<quint64> own = SocketProcesses::ofProcess();
    qint64 drops = 0;
    bool seen = false;
    for (const SocketOwner::Entry &socket : qAsConst(sockets)) {
        if (!own.contains(socket.inode) || socket.drops < 0)
            continue;
        drops += socket.drops;
        seen = true;
    }
    return seen ? drops : -1;
}

qint64 LiveSearchRun::reversePathCounter()
{
    return KernelCounters::read().value(KernelCounters::reversePathFilterKey(), -1);
}

QList<DeviceRecord> LiveSearchRun::allDevices() const
{
    QList<DeviceRecord> all;
    QSet<QString> seen;
    for (const AdapterResult &r : done) {
        for (const DeviceRecord &d : r.devices) {
            const QString key = d.mac + QLatin1Char('\n') + d.model.toLower();
            if (seen.contains(key))
                continue;
            seen.insert(key);
            all.append(d);
        }
    }
    return all;
}
