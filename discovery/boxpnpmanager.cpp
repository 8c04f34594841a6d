#include "boxpnpmanager.h"

#include "applog.h"
#include "networkinterfacemonitor.h"
#include "sharedinstance.h"
#include "ssdpprotocol.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace {

SharedInstance<BoxPnPManager> sharedInstance;

// The interface the announcement of a socket leaves through.
const char InterfaceProperty[] = "pathmereInterface";

} // namespace

BoxPnPManager *BoxPnPManager::getInstance()
{
    return sharedInstance.acquire([] { return new BoxPnPManager; });
}

void BoxPnPManager::releaseInstance()
{
    sharedInstance.release([](BoxPnPManager *object) { delete object; });
}

BoxPnPManager::BoxPnPManager()
    : monitor(NetworkInterfaceMonitor::getInstance())
    , found([](const DocCamUpnpData &a, const DocCamUpnpData &b) { return a.macText == b.macText; })
{
    DocCamUpnpData::registerMetaType();
}

BoxPnPManager::~BoxPnPManager()
{
    stopDiscovery();
    NetworkInterfaceMonitor::releaseInstance();
}

void BoxPnPManager::setBindAddress(const QString &address)
{
    bindAddress = address;
}

void BoxPnPManager::startBroadcast()
{
    if (!found.begin())
        return;
    // The interface monitor, not a host-name lookup: the host name often
    // resolves only to a loopback address, and without DNS it never returns.
    localAddresses.clear();
    QList<QHostAddress> addresses;
    monitor->getAddresses(addresses);
    openSockets(addresses);
}

void BoxPnPManager::openSockets(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (!bindAddress.isEmpty() && bindAddress != address.toString())
            continue;
        localAddresses.append(address);
        QUdpSocket *const first = openSocket(address, SsdpProtocol::BoxPort,
                                             "Box ssdpSocket join Multicast Group success.",
                                             "Box ssdpSocket join Multicast Group fail.");
        connect(first, &QUdpSocket::readyRead, this, &BoxPnPManager::ssdpReadyRead);
        QUdpSocket *const second = openSocket(address, SsdpProtocol::BoxAltPort,
                                              "Box newssdpSocket join Multicast Group success.",
                                              "Box newssdpSocket join Multicast Group fail.");
        connect(second, &QUdpSocket::readyRead, this, &BoxPnPManager::newssdpReadyRead);
    }
    searchAllDocCam();
}

QUdpSocket *BoxPnPManager::openSocket(const QHostAddress &address, quint16 port, const char *joinSuccess,
                                      const char *joinFailure)
{
    auto *socket = new QUdpSocket(this);
    sockets.append(socket);
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), port, QAbstractSocket::ShareAddress)) {
        appLog(LogSystem::LogMajorMsg, "Box bind ssdpScoket fail:%s(%s), port:%d",
               qPrintable(address.toString()), qPrintable(socket->errorString()), int(port));
        return socket;
    }
    appLog(LogSystem::LogMajorMsg, "Box bind ssdpSocket sucess:%s, port:%d", qPrintable(address.toString()),
           int(port));

    const QHostAddress group(QString::fromLatin1(SsdpProtocol::MulticastGroup));
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = iface.flags();
        if (!iface.isValid() || !flags.testFlag(QNetworkInterface::IsRunning)
            || !flags.testFlag(QNetworkInterface::CanMulticast) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        bool hasAddress = false;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            hasAddress = hasAddress || entry.ip() == address;
        if (!hasAddress)
            continue;
        appLog(LogSystem::LogMajorMsg, socket->joinMulticastGroup(group, iface) ? joinSuccess : joinFailure);
        // A wildcard socket would send the announcement out of the default
        // route's adapter; each pair announces on its own adapter.
        socket->setMulticastInterface(iface);
        socket->setProperty(InterfaceProperty, iface.index());
    }
    return socket;
}

void BoxPnPManager::searchAllDocCam()
{
    const QByteArray announcement = SsdpProtocol::boxAnnouncement();
    const QHostAddress group(QString::fromLatin1(SsdpProtocol::MulticastGroup));
    for (QUdpSocket *socket : qAsConst(sockets)) {
        // A socket that could not bind, or whose adapter is not known, would
        // send from wherever routing puts it.
        if (socket->state() == QAbstractSocket::BoundState && socket->property(InterfaceProperty).isValid())
            socket->writeDatagram(announcement, group, SsdpProtocol::BoxPort);
    }
}

void BoxPnPManager::ssdpReadyRead()
{
    readSocket(qobject_cast<QUdpSocket *>(sender()));
}

void BoxPnPManager::newssdpReadyRead()
{
    readSocket(qobject_cast<QUdpSocket *>(sender()));
}

void BoxPnPManager::readSocket(QUdpSocket *socket)
{
    if (!socket)
        return;
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->pendingDatagramSize();
        if (size > SsdpProtocol::MaxDatagramSize) {
            const QNetworkDatagram dropped = socket->receiveDatagram(0);
            found.logRefusal(QStringLiteral("Box datagram from %1 refused: %2 bytes, more than %3.")
                           .arg(dropped.senderAddress().toString()).arg(size).arg(SsdpProtocol::MaxDatagramSize));
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram(qMax<qint64>(size, 1));
        if (!datagram.isValid() || datagram.data().isEmpty())
            continue;
        ssdpHandler(datagram.data(), datagram.senderAddress().toString());
    }
}

void BoxPnPManager::ssdpHandler(const QByteArray &packet, const QString &ipAddress)
{
    const SsdpProtocol::BoxMessage message = SsdpProtocol::parseBoxMessage(packet);
    if (message.outcome == SsdpProtocol::BoxMessage::NotBox)
        return;
    if (message.outcome == SsdpProtocol::BoxMessage::Unusable) {
        found.logRefusal(QStringLiteral("Box message from %1 dropped: no usable MAC or Type line.").arg(ipAddress));
        return;
    }

    DocCamUpnpData record;
    record.name = QString::fromLatin1(SsdpProtocol::BoxName);
    record.model = message.type;
    record.ip = ipAddress;
    record.macText = message.macText;
    if (found.merge(record) == SsdpFoundList::Merge::Full)
        found.logRefusal(QStringLiteral("Box %1 dropped: %2 boxes are listed already.").arg(ipAddress).arg(MaxFoundDevices));
}

QList<DocCamUpnpData> BoxPnPManager::takeFoundBoxes()
{
    closeSockets();
    return found.records();
}

QList<DeviceRecord> BoxPnPManager::takeDeviceRecords()
{
    return DocCamUpnpData::toDeviceRecords(takeFoundBoxes(), DeviceRecord::ControlBox);
}

void BoxPnPManager::stopDiscovery()
{
    if (!found.isRunning())
        return;
    closeSockets();
    found.clear();
}

void BoxPnPManager::closeSockets()
{
    found.end();
    for (QUdpSocket *socket : qAsConst(sockets)) {
        disconnect(socket, nullptr, this, nullptr);
        socket->close();
        socket->deleteLater();
    }
    sockets.clear();
}
