#include "boxpnpmanager.h"

#include "applog.h"
#include "discoveryservice.h"
#include "ssdpprotocol.h"

#include <QNetworkInterface>
#include <QUdpSocket>

namespace {

// The interface the announcement of a socket leaves through.
const char InterfaceProperty[] = "pathmereInterface";

} // namespace

BoxPnPManager *BoxPnPManager::getInstance()
{
    DiscoveryService *const service = DiscoveryService::getInstance();
    return service ? service->boxManager() : nullptr;
}

BoxPnPManager::BoxPnPManager(NetworkInterfaceMonitor *monitor, QObject *parent)
    : SsdpSearchSource(monitor, [](const DocCamUpnpData &a, const DocCamUpnpData &b) { return a.device.mac == b.device.mac; },
                       parent)
{
}

BoxPnPManager::~BoxPnPManager()
{
    stopDiscovery();
}

void BoxPnPManager::openAddress(const QHostAddress &address)
{
    QUdpSocket *const first = openSocket(address, SsdpProtocol::BoxPort,
                                         "Box ssdpSocket join Multicast Group success.",
                                         "Box ssdpSocket join Multicast Group fail.");
    connect(first, &QUdpSocket::readyRead, this, &BoxPnPManager::ssdpReadyRead);
    QUdpSocket *const second = openSocket(address, SsdpProtocol::BoxAltPort,
                                          "Box newssdpSocket join Multicast Group success.",
                                          "Box newssdpSocket join Multicast Group fail.");
    connect(second, &QUdpSocket::readyRead, this, &BoxPnPManager::newssdpReadyRead);
}

QUdpSocket *BoxPnPManager::openSocket(const QHostAddress &address, quint16 port, const char *joinSuccess,
                                      const char *joinFailure)
{
    QUdpSocket *const socket = addSocket();
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
    for (QUdpSocket *socket : searchSockets()) {
        // A socket that could not bind, or whose adapter is not known, would
        // send from wherever routing puts it.
        if (socket->state() == QAbstractSocket::BoundState && socket->property(InterfaceProperty).isValid())
            socket->writeDatagram(announcement, group, SsdpProtocol::BoxPort);
    }
}

void BoxPnPManager::ssdpReadyRead()
{
    readDatagrams(qobject_cast<QUdpSocket *>(sender()), "Box",
                  [this](const QByteArray &packet, const QHostAddress &from) { ssdpHandler(packet, from.toString()); });
}

void BoxPnPManager::newssdpReadyRead()
{
    ssdpReadyRead();
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
    record.device.name = QString::fromLatin1(SsdpProtocol::BoxName);
    record.device.model = message.type;
    record.device.ip = ipAddress;
    record.device.mac = message.macText;
    keep(record, QStringLiteral("Box %1 dropped: %2 boxes are listed already."));
}
