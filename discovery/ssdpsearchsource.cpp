#include "ssdpsearchsource.h"

#include "networkinterfacemonitor.h"
#include "ssdpprotocol.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

SsdpSearchSource::SsdpSearchSource(NetworkInterfaceMonitor *monitor, SsdpFoundList::SameDevice sameDevice,
                                   QObject *parent)
    : SearchSource(parent)
    , found(sameDevice)
    , monitor(monitor)
{
    DocCamUpnpData::registerMetaType();
}

// Each source stops its search in its own destructor, while its parts
// still exist; the sockets left go with this object.
SsdpSearchSource::~SsdpSearchSource() = default;

void SsdpSearchSource::setBindAddress(const QString &address)
{
    bindAddress = address;
}

void SsdpSearchSource::startBroadcast()
{
    if (!found.begin())
        return;
    beginSearch();
    // The interface monitor, not a host-name lookup: the host name often
    // resolves only to a loopback address, and without DNS it never returns.
    QList<QHostAddress> addresses;
    monitor->getAddresses(addresses);
    for (const QHostAddress &address : qAsConst(addresses)) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (!bindAddress.isEmpty() && bindAddress != address.toString())
            continue;
        openAddress(address);
    }
    sendSearch();
}

QList<DocCamUpnpData> SsdpSearchSource::takeFound()
{
    closeSearch();
    return found.records();
}

QList<DeviceRecord> SsdpSearchSource::takeDeviceRecords()
{
    const QList<DocCamUpnpData> records = takeFound();
    QList<DeviceRecord> devices;
    devices.reserve(records.size());
    for (const DocCamUpnpData &record : records)
        devices.append(record.device);
    return devices;
}

void SsdpSearchSource::stopDiscovery()
{
    if (!found.isRunning())
        return;
    closeSearch();
    found.clear();
}

void SsdpSearchSource::closeSearch()
{
    const bool wasRunning = found.isRunning();
    found.end();
    endSearch();
    for (QUdpSocket *socket : qAsConst(sockets)) {
        disconnect(socket, nullptr, this, nullptr);
        socket->close();
        socket->deleteLater();
    }
    sockets.clear();
    if (wasRunning)
        emit finished();
}

QUdpSocket *SsdpSearchSource::addSocket()
{
    auto *socket = new QUdpSocket(this);
    sockets.append(socket);
    return socket;
}

void SsdpSearchSource::readDatagrams(QUdpSocket *socket, const char *what,
                                     const std::function<void(const QByteArray &, const QHostAddress &)> &handle)
{
    if (!socket)
        return;
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->pendingDatagramSize();
        if (size > SsdpProtocol::MaxDatagramSize) {
            const QNetworkDatagram dropped = socket->receiveDatagram(0);
            found.logRefusal(QStringLiteral("%1 datagram from %2 refused: %3 bytes, more than %4.")
                                 .arg(QLatin1String(what), dropped.senderAddress().toString())
                                 .arg(size)
                                 .arg(SsdpProtocol::MaxDatagramSize));
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram(qMax<qint64>(size, 1));
        if (!datagram.isValid() || datagram.data().isEmpty())
            continue;
        handle(datagram.data(), datagram.senderAddress());
    }
}

void SsdpSearchSource::keep(const DocCamUpnpData &record, const QString &fullText)
{
    switch (found.merge(record)) {
    case SsdpFoundList::Merge::Added:
        emit deviceFound(record.device);
        break;
    case SsdpFoundList::Merge::Full:
        found.logRefusal(fullText.arg(record.device.ip).arg(MaxFoundDevices));
        break;
    case SsdpFoundList::Merge::Updated:
    case SsdpFoundList::Merge::NotRunning:
        break;
    }
}
