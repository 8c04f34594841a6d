#include "viscaoipcontrol.h"

#include "applog.h"
#include "discoveryservice.h"
#include "networkinterfacemonitor.h"
#include "viscaprotocol.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

ViscaOipControl *ViscaOipControl::getInstance()
{
    DiscoveryService *const service = DiscoveryService::getInstance();
    return service ? service->viscaControl() : nullptr;
}

ViscaOipControl::ViscaOipControl(NetworkInterfaceMonitor *monitor, QObject *parent)
    : QObject(parent)
    , monitor(monitor)
{
    qRegisterMetaType<ViscaProtocol::PowerMode>("ViscaProtocol::PowerMode");
    if (monitor)
        monitor->getAddresses(addresses);
}

ViscaOipControl::~ViscaOipControl()
{
    closeSockets();
    commandTable.clear();
}

bool ViscaOipControl::refreshAddresses()
{
    return monitor && monitor->getAddresses(addresses);
}

void ViscaOipControl::closeSockets()
{
    for (QUdpSocket *socket : qAsConst(sockets)) {
        socket->close();
        delete socket;
    }
    sockets.clear();
}

int ViscaOipControl::openSockets(const QString &onlyAddress)
{
    closeSockets();
    for (const QHostAddress &address : qAsConst(addresses)) {
        if (!onlyAddress.isEmpty() && address.toString() != onlyAddress)
            continue;
        auto *socket = new QUdpSocket(this);
        if (!socket->bind(address, ViscaProtocol::Port, QAbstractSocket::DontShareAddress)) {
            appLog(LogSystem::LogMajorMsg, "bind udp fail port:%d", int(ViscaProtocol::Port));
            socket->close();
            delete socket;
            return -1;
        }
        appLog(LogSystem::LogMajorMsg, "bind udp success port:%d", int(ViscaProtocol::Port));
        connect(socket, &QUdpSocket::readyRead, this, &ViscaOipControl::viscaOipCtrlRecvFunc);
        sockets.append(socket);
    }
    return 0;
}

int ViscaOipControl::setPowerState(const QString &ip, int power)
{
    switch (power) {
    case 0:
        return sendMessage(ip, ViscaProtocol::powerOnPayload());
    case 1:
        return sendMessage(ip, ViscaProtocol::powerStandbyPayload());
    default:
        return -1;
    }
}

int ViscaOipControl::inquirePowerState(const QString &ip)
{
    return sendMessage(ip, ViscaProtocol::powerInquiryPayload());
}

int ViscaOipControl::sendMessage(const QString &ip, const QByteArray &payload)
{
    // The camera's replies are matched by QHostAddress::toString() of their
    // sender, so the table is keyed by the same text whatever form the
    // caller wrote; an address that does not parse uses no sequence number.
    const QHostAddress target(ip);
    if (target.isNull())
        return -1;
    const quint8 kind = ViscaProtocol::kindOf(payload);
    const qint32 sequence = commandTable.registerMessage(target.toString(),
                                                         ViscaProtocol::commandText(payload), kind);
    const QByteArray datagram = ViscaProtocol::encodeDatagram(ViscaProtocol::payloadTypeFor(kind),
                                                              static_cast<quint32>(sequence), payload);
    if (datagram.isEmpty())
        return -1;

    QMutexLocker locker(&sendMutex);
    qint64 result = -1;
    for (QUdpSocket *socket : qAsConst(sockets))
        result = socket->writeDatagram(datagram, target, ViscaProtocol::Port);
    return static_cast<int>(result);
}

void ViscaOipControl::viscaOipCtrlRecvFunc()
{
    // Iterate over a copy: a receiver of our signals may reopen the sockets.
    const QList<QUdpSocket *> current = sockets;
    for (QUdpSocket *socket : current) {
        if (!sockets.contains(socket))
            continue;
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket->receiveDatagram();
            handleDatagram(datagram.data(), datagram.senderAddress());
            if (!sockets.contains(socket))
                break;
        }
    }
}

void ViscaOipControl::handleDatagram(const QByteArray &datagram, const QHostAddress &sender)
{
    ViscaProtocol::Datagram decoded;
    if (!ViscaProtocol::decodeDatagram(datagram, &decoded))
        return;
    if (decoded.payloadType != ViscaProtocol::TypeReply)
        return;

    // An IPv4 sender may reach a dual-stack socket as ::ffff:a.b.c.d.
    QHostAddress from = sender;
    bool isV4 = false;
    const quint32 v4 = sender.toIPv4Address(&isV4);
    if (isV4)
        from = QHostAddress(v4);
    const QString senderText = from.toString();
    const qint32 sequence = static_cast<qint32>(decoded.sequence);

    const ViscaCommandEntry entry = commandTable.lookup(senderText, sequence);
    const ViscaProtocol::ReplyOutcome outcome =
        ViscaProtocol::classifyReply(decoded.payload, entry.kind, entry.command);
    if (outcome.action == ViscaProtocol::ReplyIgnored)
        return;
    if (!commandTable.settle(senderText, sequence))
        return;

    if (outcome.action == ViscaProtocol::ReplyCompleted)
        emit viscaCmdCompleted();
    else
        emit viscaOipControlInquiryPowerStatusReply(senderText, ViscaProtocol::PowerMode(outcome.powerMode));
}
