#include "camerasimulator.h"

#include "networksafety.h"
#include "onvifpeers.h"
#include "sourcedsender.h"
#include "ssdppeers.h"
#include "viscaprotocol.h"
#include "wakeonlan.h"

#include <QJsonArray>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace {

QString endpoint(const QHostAddress &address, int port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

CameraSimulator::CameraSimulator(const CamsimConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_addresses(config.interfaceName)
{
    m_standsOn.resize(m_config.cameras.size());
    for (int i = 0; i < m_config.cameras.size(); ++i) {
        m_byMac.insert(m_config.cameras.at(i).info.mac, i);
        m_standsOn[i] = m_config.cameras.at(i).info.ip;
    }
}

CameraSimulator::~CameraSimulator()
{
    stop();
}

QUdpSocket *CameraSimulator::bindPort(quint16 port)
{
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        m_log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                    QStringLiteral("cannot bind UDP port %1: %2").arg(port).arg(socket->errorString())}});
        delete socket;
        return nullptr;
    }
    // A fleet answers in one burst and the program may flood us with copies.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4 * 1024 * 1024);
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024 * 1024);
    return socket;
}

void CameraSimulator::rebuildAddressIndex()
{
    m_byIp.clear();
    for (int i = 0; i < m_config.cameras.size(); ++i) {
        const SimCamera &camera = m_config.cameras.at(i);
        if (camera.ownsAddress && !m_byIp.contains(m_standsOn.at(i)))
            m_byIp.insert(m_standsOn.at(i), i);
    }
}

bool CameraSimulator::start()
{
    QJsonArray addresses;
    QList<QPair<QString, QString>> owned;
    for (const SimCamera &camera : qAsConst(m_config.cameras)) {
        if (!camera.ownsAddress)
            continue;
        owned.append({camera.info.ip, camera.info.mask});
        addresses.append(camera.info.ip);
    }
    QString error;
    if (!m_addresses.claimAll(owned, &error)) {
        m_log.write(QStringLiteral("error"), {{QStringLiteral("message"), error}});
        return false;
    }
    rebuildAddressIndex();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (!entry.broadcast().isNull())
                m_broadcasts.insert(entry.broadcast().toString());
        }
    }

    m_utilitySocket = bindPort(UtilityProtocol::Port);
    m_viscaSocket = bindPort(ViscaProtocol::Port);
    m_wolSocket = bindPort(WakeOnLan::Port);
    if (!m_utilitySocket || !m_viscaSocket || !m_wolSocket)
        return false;
    connect(m_utilitySocket, &QUdpSocket::readyRead, this, &CameraSimulator::utilityRecvFunc);
    connect(m_viscaSocket, &QUdpSocket::readyRead, this, &CameraSimulator::viscaRecvFunc);
    connect(m_wolSocket, &QUdpSocket::readyRead, this, &CameraSimulator::wakeOnLanRecvFunc);
    m_ssdpPeers = new SsdpPeers(m_config.cameras.toVector(), m_log, m_config.quiet, this);
    if (!m_ssdpPeers->start())
        return false;
    m_onvifPeers = new OnvifPeers(m_config.cameras.toVector(), &m_addresses, m_log, m_config.quiet, this);
    if (!m_onvifPeers->start())
        return false;

    m_log.write(QStringLiteral("ready"), {{QStringLiteral("cameras"), m_config.cameras.size()},
                                          {QStringLiteral("interface"), m_config.interfaceName},
                                          {QStringLiteral("addresses"), addresses}});
    return true;
}

void CameraSimulator::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_onvifPeers)
        m_onvifPeers->stop();
    m_addresses.releaseAll();
    m_log.write(QStringLiteral("stopped"));
}

void CameraSimulator::utilityRecvFunc()
{
    while (m_utilitySocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_utilitySocket->receiveDatagram();
        if (datagram.isValid())
            handleUtility(datagram);
    }
}

void CameraSimulator::handleUtility(const QNetworkDatagram &datagram)
{
    // Our own broadcast replies and those of other cameras come back here as
    // well; only 240-byte wire records are meant for a camera.
    QByteArray record;
    if (!UtilityProtocol::decodeWireRecord(datagram.data(), &record))
        return;
    const UtilityProtocol::RecordKind kind = UtilityProtocol::classifyRecord(record);
    switch (kind) {
    case UtilityProtocol::RecordKind::QueryA:
    case UtilityProtocol::RecordKind::QueryB:
        answerQuery(datagram, kind);
        break;
    case UtilityProtocol::RecordKind::Settings:
        handleSettings(datagram, record);
        break;
    case UtilityProtocol::RecordKind::Unknown:
        m_log.write(QStringLiteral("record"), {{QStringLiteral("from"), endpoint(datagram.senderAddress(), datagram.senderPort())},
                                               {QStringLiteral("hex"), hexText(record)}});
        break;
    }
}

bool CameraSimulator::sendUtility(int index, const QByteArray &payload, const QNetworkDatagram &request)
{
    const SimCamera &camera = m_config.cameras.at(index);
    const bool broadcast = camera.sendMode == SimCamera::SendMode::Broadcast;
    const QHostAddress destination = broadcast ? QHostAddress(QHostAddress::Broadcast) : request.senderAddress();
    const quint16 port = broadcast ? UtilityProtocol::Port : static_cast<quint16>(request.senderPort());
    // An owned address is the source, so the reply comes from where the
    // camera says it is.
    const QString &standsOn = m_standsOn.at(index);
    const QHostAddress source = camera.ownsAddress && m_byIp.value(standsOn, -1) >= 0
        ? QHostAddress(standsOn) : QHostAddress();
    int error = 0;
    const bool sent = SourcedSender::send(int(m_utilitySocket->socketDescriptor()), payload, destination, port,
                                          source, &error);
    if (!m_config.quiet) {
        m_log.write(QStringLiteral("reply"), {{QStringLiteral("mac"), camera.info.mac},
                                              {QStringLiteral("form"), payload.size() == UtilityProtocol::LongReplySize
                                                   ? QStringLiteral("long") : payload.size() == UtilityProtocol::ShortReplySize
                                                   ? QStringLiteral("short") : QStringLiteral("other")},
                                              {QStringLiteral("bytes"), payload.size()},
                                              {QStringLiteral("to"), endpoint(destination, port)},
                                              {QStringLiteral("from"), source.isNull() ? QString() : source.toString()},
                                              {QStringLiteral("sent"), sent},
                                              {QStringLiteral("errno"), error}});
    }
    return sent;
}

quint32 CameraSimulator::subnetBroadcastOf(const QString &ip, const QString &mask)
{
    const quint32 address = QHostAddress(ip).toIPv4Address();
    const int prefix = InterfaceAddresses::prefixLength(mask);
    return address | (prefix >= 32 ? 0u : ~quint32(0) >> prefix);
}

void CameraSimulator::answerQuery(const QNetworkDatagram &query, UtilityProtocol::RecordKind kind)
{
    int replies = 0;
    int failed = 0;
    int lost = 0;
    // A query to an address a camera owns is for that camera alone (a sweep
    // probes address by address); one to a subnet's broadcast address for
    // the cameras of that subnet; one to another unicast address (the
    // namespace's own) for none of them. Cameras without an address of their
    // own (fleets) answer whatever reaches the namespace, and everyone
    // answers 255.255.255.255.
    const QString destination = query.destinationAddress().toString();
    const int addressed = m_byIp.value(destination, -1);
    const quint32 target = query.destinationAddress().toIPv4Address();
    const bool everyone = destination.isEmpty() || target == 0xffffffffu;
    const bool subnetBroadcast = !everyone && m_broadcasts.contains(destination);
    const int first = addressed >= 0 ? addressed : 0;
    const int end = addressed >= 0 ? addressed + 1 : m_config.cameras.size();
    for (int i = first; i < end; ++i) {
        SimCamera &camera = m_config.cameras[i];
        if (addressed < 0 && !everyone && camera.ownsAddress
            && (!subnetBroadcast || subnetBroadcastOf(m_standsOn.at(i), camera.info.mask) != target))
            continue;
        // Document cameras and control boxes know only their SSDP exchange.
        if (camera.kind != SimCamera::Kind::Utility)
            continue;
        const QByteArray reply = camera.replyTo(kind);
        if (reply.isEmpty())
            continue;
        if (camera.queriesToLose > 0) {
            --camera.queriesToLose;
            ++lost;
            continue;
        }
        if (sendUtility(i, reply, query))
            ++replies;
        else
            ++failed;
    }
    m_log.write(QStringLiteral("query"), {{QStringLiteral("query"), kind == UtilityProtocol::RecordKind::QueryA
                                               ? QStringLiteral("A") : QStringLiteral("B")},
                                          {QStringLiteral("from"), endpoint(query.senderAddress(), query.senderPort())},
                                          {QStringLiteral("to"), query.destinationAddress().toString()},
                                          {QStringLiteral("replies"), replies},
                                          {QStringLiteral("failed"), failed},
                                          {QStringLiteral("lost"), lost}});
}

void CameraSimulator::handleSettings(const QNetworkDatagram &datagram, const QByteArray &record)
{
    UtilityProtocol::Settings settings;
    if (!UtilityProtocol::parseSettingsRecord(record, &settings))
        return;
    const QString mac = UtilityProtocol::macToText(settings.mac);
    QJsonObject event{{QStringLiteral("mac"), mac},
                      {QStringLiteral("from"), endpoint(datagram.senderAddress(), datagram.senderPort())},
                      {QStringLiteral("to"), datagram.destinationAddress().toString()},
                      {QStringLiteral("dhcp"), settings.dhcp},
                      {QStringLiteral("ip"), UtilityProtocol::ipv4ToText(settings.ip)},
                      {QStringLiteral("mask"), UtilityProtocol::ipv4ToText(settings.mask)},
                      {QStringLiteral("gateway"), UtilityProtocol::ipv4ToText(settings.gateway)},
                      {QStringLiteral("dns1"), UtilityProtocol::ipv4ToText(settings.dns1)},
                      {QStringLiteral("dns2"), UtilityProtocol::ipv4ToText(settings.dns2)},
                      {QStringLiteral("name"), settings.name},
                      {QStringLiteral("user"), settings.userId}};
    const int index = m_byMac.value(mac, -1);
    if (index < 0) {
        event.insert(QStringLiteral("result"), QStringLiteral("no-camera"));
        m_log.write(QStringLiteral("settings"), event);
        return;
    }
    SimCamera &camera = m_config.cameras[index];
    event.insert(QStringLiteral("oldIp"), camera.info.ip);
    if (settings.userId != camera.userId || settings.password != camera.password) {
        event.insert(QStringLiteral("result"), QStringLiteral("refused"));
        m_log.write(QStringLiteral("settings"), event);
        sendUtility(index, UtilityProtocol::encodeInvalidIdReply(), datagram);
        return;
    }

    const QString oldIp = camera.info.ip;
    const QString oldStand = m_standsOn.at(index);
    if (!settings.dhcp) {
        const QString newIp = UtilityProtocol::ipv4ToText(settings.ip);
        const QString newMask = UtilityProtocol::ipv4ToText(settings.mask);
        if (camera.ownsAddress && newIp != oldIp) {
            if (m_addresses.managed() && !NetworkSafety::isDocumentationAddress(newIp)) {
                // Taking the address is the camera's business; putting it on
                // an interface is ours, and it stays on the old one.
                m_log.write(QStringLiteral("address"),
                            {{QStringLiteral("mac"), mac},
                             {QStringLiteral("ip"), newIp},
                             {QStringLiteral("kept"), oldStand},
                             {QStringLiteral("result"), QStringLiteral("refused")},
                             {QStringLiteral("message"),
                              QStringLiteral("%1 is not a documentation address (%2); not added to %3")
                                  .arg(newIp, NetworkSafety::documentationRanges(), m_addresses.interfaceName())}});
            } else {
                QString error;
                if (!m_addresses.claim(newIp, newMask, &error)) {
                    event.insert(QStringLiteral("result"), QStringLiteral("failed"));
                    event.insert(QStringLiteral("message"), error);
                    m_log.write(QStringLiteral("settings"), event);
                    return;
                }
                m_standsOn[index] = newIp;
            }
        }
        camera.info.ip = newIp;
        camera.info.mask = newMask;
        camera.info.gateway = UtilityProtocol::ipv4ToText(settings.gateway);
        camera.info.dns1 = UtilityProtocol::ipv4ToText(settings.dns1);
        camera.info.dns2 = UtilityProtocol::ipv4ToText(settings.dns2);
    }
    camera.info.dhcp = settings.dhcp;
    if (!settings.name.isEmpty())
        camera.info.name = settings.name;
    camera.refreshReplies();
    rebuildAddressIndex();
    // Drop the old address once no camera stands on it any more.
    if (camera.ownsAddress && oldStand != m_standsOn.at(index) && !m_byIp.contains(oldStand))
        m_addresses.release(oldStand);

    event.insert(QStringLiteral("result"), QStringLiteral("applied"));
    m_log.write(QStringLiteral("settings"), event);
    sendUtility(index, camera.settingsAnswer(), datagram);
}

void CameraSimulator::viscaRecvFunc()
{
    while (m_viscaSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_viscaSocket->receiveDatagram();
        if (datagram.isValid())
            handleVisca(datagram);
    }
}

void CameraSimulator::handleVisca(const QNetworkDatagram &datagram)
{
    QJsonObject event{{QStringLiteral("to"), datagram.destinationAddress().toString()},
                      {QStringLiteral("from"), endpoint(datagram.senderAddress(), datagram.senderPort())},
                      {QStringLiteral("bytes"), datagram.data().size()}};
    ViscaProtocol::Datagram message;
    if (!ViscaProtocol::decodeDatagram(datagram.data(), &message)) {
        event.insert(QStringLiteral("malformed"), hexText(datagram.data()));
        m_log.write(QStringLiteral("visca"), event);
        return;
    }
    event.insert(QStringLiteral("type"), QString::asprintf("%04x", message.payloadType));
    event.insert(QStringLiteral("seq"), static_cast<double>(message.sequence));
    event.insert(QStringLiteral("payload"), hexText(message.payload));

    const int index = m_byIp.value(datagram.destinationAddress().toString(), -1);
    if (index < 0) {
        event.insert(QStringLiteral("camera"), QJsonValue());
        m_log.write(QStringLiteral("visca"), event);
        return;
    }
    SimCamera &camera = m_config.cameras[index];
    event.insert(QStringLiteral("camera"), camera.info.mac);
    event.insert(QStringLiteral("power"), SimCamera::powerText(camera.power));

    QList<QByteArray> answers;
    const quint32 seq = message.sequence;
    const SimCamera::Power before = camera.power;
    if (camera.power != SimCamera::Power::Silent) {
        if (message.payloadType == ViscaProtocol::TypeInquiry) {
            if (message.payload == ViscaProtocol::powerInquiryPayload()) {
                answers << ViscaProtocol::encodePowerInquiryReply(
                    seq, camera.power == SimCamera::Power::On ? ViscaProtocol::PowerOn : ViscaProtocol::PowerStandby);
            } else {
                answers << ViscaProtocol::encodeError(seq, 0x02);
            }
        } else if (message.payloadType == ViscaProtocol::TypeCommand) {
            answers << ViscaProtocol::encodeAcknowledge(seq) << ViscaProtocol::encodeCompletion(seq);
            if (message.payload == ViscaProtocol::powerOnPayload())
                camera.power = SimCamera::Power::On;
            else if (message.payload == ViscaProtocol::powerStandbyPayload())
                camera.power = SimCamera::Power::Standby;
        }
    }
    QJsonArray answered;
    for (const QByteArray &answer : qAsConst(answers)) {
        // Answer from the address the message was sent to.
        SourcedSender::send(int(m_viscaSocket->socketDescriptor()), answer, datagram.senderAddress(),
                            static_cast<quint16>(datagram.senderPort()), datagram.destinationAddress());
        ViscaProtocol::Datagram decoded;
        answered.append(ViscaProtocol::decodeDatagram(answer, &decoded) ? hexText(decoded.payload) : hexText(answer));
    }
    event.insert(QStringLiteral("answer"), answered);
    m_log.write(QStringLiteral("visca"), event);
    if (camera.power != before) {
        m_log.write(QStringLiteral("power"), {{QStringLiteral("mac"), camera.info.mac},
                                              {QStringLiteral("from"), SimCamera::powerText(before)},
                                              {QStringLiteral("to"), SimCamera::powerText(camera.power)}});
    }
}

void CameraSimulator::wakeOnLanRecvFunc()
{
    while (m_wolSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_wolSocket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        const QString mac = WakeOnLan::macOfMagicPacket(datagram.data());
        const int index = mac.isEmpty() ? -1 : m_byMac.value(mac, -1);
        m_log.write(QStringLiteral("wol"), {{QStringLiteral("from"), endpoint(datagram.senderAddress(), datagram.senderPort())},
                                            {QStringLiteral("to"), datagram.destinationAddress().toString()},
                                            {QStringLiteral("bytes"), datagram.data().size()},
                                            {QStringLiteral("mac"), mac},
                                            {QStringLiteral("camera"), index < 0 ? QJsonValue() : QJsonValue(mac)}});
        if (index >= 0 && m_config.cameras.at(index).power == SimCamera::Power::Silent) {
            m_config.cameras[index].power = SimCamera::Power::On;
            m_log.write(QStringLiteral("power"), {{QStringLiteral("mac"), mac},
                                                  {QStringLiteral("from"), QStringLiteral("silent")},
                                                  {QStringLiteral("to"), QStringLiteral("on")}});
        }
    }
}
