#include "onvifpeers.h"

#include "groupsocket.h"
#include "interfaceaddresses.h"
#include "sourcedsender.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

const QByteArray ServicePath = "/onvif/device_service";
// Where a camera moves, the old address stays until its last answer is out.
constexpr int MoveDelayMs = 200;

QString endpointText(const QHostAddress &address, int port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

int randomIn(int lo, int hi)
{
    return int(QRandomGenerator::global()->bounded(lo, hi + 1));
}

QByteArray httpResponse(int status, const QByteArray &body)
{
    const QByteArray reason = status == 200 ? "OK" : status == 400 ? "Bad Request"
        : status == 404 ? "Not Found" : status == 413 ? "Payload Too Large" : "Internal Server Error";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
        + "\r\nContent-Type: application/soap+xml; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

OnvifPeers::OnvifPeers(const QVector<SimCamera> &cameras, InterfaceAddresses *addresses, const EventLog &log,
                       bool quiet, QObject *parent)
    : QObject(parent)
    , m_addresses(addresses)
    , m_log(log)
    , m_quiet(quiet)
{
    for (int i = 0; i < cameras.size(); ++i) {
        Camera camera;
        camera.sim = cameras.at(i);
        camera.probesToMiss = camera.sim.onvifSkipProbes;
        m_cameras.append(camera);
        if (camera.sim.kind == SimCamera::Kind::Onvif)
            m_onvif.append(i);
    }
}

bool OnvifPeers::start()
{
    if (m_onvif.isEmpty())
        return true;
    m_sendSocket = new QUdpSocket(this);
    if (!m_sendSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        m_log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                    QStringLiteral("cannot bind a sending socket: %1").arg(m_sendSocket->errorString())}});
        return false;
    }
    m_discoverySocket = GroupSocket::bind(WsDiscoveryProtocol::Port, m_log, this);
    if (!m_discoverySocket)
        return false;
    connect(m_discoverySocket, &QUdpSocket::readyRead, this, &OnvifPeers::discoveryRecvFunc);

    QList<quint16> ports;
    for (const int index : qAsConst(m_onvif)) {
        if (!ports.contains(m_cameras.at(index).sim.onvifPort))
            ports.append(m_cameras.at(index).sim.onvifPort);
    }
    // One server per port on every address: a camera that moves is served
    // at its new address at once.
    for (const quint16 port : qAsConst(ports)) {
        auto *server = new QTcpServer(this);
        if (!server->listen(QHostAddress(QHostAddress::AnyIPv4), port)) {
            m_log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                        QStringLiteral("cannot serve the ONVIF device service on port %1: %2")
                            .arg(port).arg(server->errorString())}});
            return false;
        }
        server->setMaxPendingConnections(1024);
        connect(server, &QTcpServer::newConnection, this, &OnvifPeers::serviceConnection);
        m_servers.append(server);
    }
    for (const int index : qAsConst(m_onvif)) {
        if (m_cameras.at(index).sim.ownsAddress)
            announce(index, true);
    }
    return true;
}

void OnvifPeers::stop()
{
    for (const int index : qAsConst(m_onvif)) {
        if (m_cameras.at(index).sim.ownsAddress)
            announce(index, false);
    }
}

QDateTime OnvifPeers::cameraNow(int index) const
{
    return QDateTime::currentDateTimeUtc().addSecs(m_cameras.at(index).sim.onvifClockSeconds);
}

WsDiscoveryProtocol::Target OnvifPeers::targetOf(int index, const QHostAddress &towards)
{
    const SimCamera &sim = m_cameras.at(index).sim;
    WsDiscoveryProtocol::Target target;
    target.endpoint = sim.onvifEndpoint();
    target.types = QStringList{WsDiscoveryProtocol::NetworkVideoTransmitterType, WsDiscoveryProtocol::DeviceType};
    target.scopes = QStringList{QStringLiteral("onvif://www.onvif.org/type/video_encoder"),
                     WsDiscoveryProtocol::scope(QStringLiteral("name"), sim.info.name),
                     WsDiscoveryProtocol::scope(QStringLiteral("hardware"), sim.info.model)};
    if (!sim.onvifLocation.isEmpty())
        target.scopes.append(WsDiscoveryProtocol::scope(QStringLiteral("location"), sim.onvifLocation));
    if (!sim.onvifXAddr.isEmpty()) {
        target.xaddrs = QStringList{sim.onvifXAddr};
    } else if (sim.ownsAddress) {
        target.xaddrs = QStringList{QStringLiteral("http://%1:%2%3").arg(sim.info.ip).arg(sim.onvifPort)
                             .arg(QString::fromLatin1(ServicePath))};
    } else {
        target.xaddrs = QStringList{QStringLiteral("http://%1:%2%3/%4").arg(m_localFor.towards(towards, WsDiscoveryProtocol::Port).toString()).arg(sim.onvifPort)
                             .arg(QString::fromLatin1(ServicePath)).arg(index)};
    }
    target.metadataVersion = 1;
    return target;
}

void OnvifPeers::announce(int index, bool hello)
{
    const SimCamera &sim = m_cameras.at(index).sim;
    const QHostAddress group(QString::fromLatin1(GroupSocket::Group));
    const QByteArray message = hello
        ? WsDiscoveryProtocol::hello(WsDiscoveryProtocol::newMessageId(), targetOf(index, group))
        : WsDiscoveryProtocol::bye(WsDiscoveryProtocol::newMessageId(), sim.onvifEndpoint());
    const bool sent = SourcedSender::send(int(m_sendSocket->socketDescriptor()), message, group, WsDiscoveryProtocol::Port,
                                          QHostAddress(sim.info.ip));
    m_log.write(hello ? QStringLiteral("onvif-hello") : QStringLiteral("onvif-bye"),
                {{QStringLiteral("mac"), sim.info.mac}, {QStringLiteral("ip"), sim.info.ip},
                 {QStringLiteral("sent"), sent}});
}

void OnvifPeers::discoveryRecvFunc()
{
    while (m_discoverySocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_discoverySocket->receiveDatagram(WsDiscoveryProtocol::MaxDatagramSize);
        if (!datagram.isValid())
            continue;
        const WsDiscoveryProtocol::Message message = WsDiscoveryProtocol::parse(datagram.data());
        if (message.kind == WsDiscoveryProtocol::Message::Probe)
            handleProbe(message, datagram.senderAddress(), quint16(datagram.senderPort()), datagram.destinationAddress());
    }
}

void OnvifPeers::handleProbe(const WsDiscoveryProtocol::Message &probe, const QHostAddress &from, quint16 port,
                             const QHostAddress &to)
{
    int answers = 0;
    int missed = 0;
    const QStringList types{WsDiscoveryProtocol::NetworkVideoTransmitterType, WsDiscoveryProtocol::DeviceType};
    for (const int index : qAsConst(m_onvif)) {
        Camera &camera = m_cameras[index];
        // A repeated copy of a Probe answered already is the same Probe.
        if (camera.rebooting || camera.lastAnswered == probe.messageId
            || !WsDiscoveryProtocol::matches(probe.probeTypes, types))
            continue;
        if (camera.probesToMiss > 0) {
            --camera.probesToMiss;
            ++missed;
            continue;
        }
        camera.lastAnswered = probe.messageId;
        ++answers;
        const QString relatesTo = probe.messageId;
        QTimer::singleShot(randomIn(0, WsDiscoveryProtocol::AppMaxDelayMs), this, [this, index, relatesTo, from, port]() {
            const QByteArray answer =
                WsDiscoveryProtocol::probeMatches(WsDiscoveryProtocol::newMessageId(), relatesTo, targetOf(index, from));
            sendAnswer(index, answer, from, port);
            const QVector<int> delays = WsDiscoveryProtocol::repeatDelays(WsDiscoveryProtocol::UnicastUdpRepeat, randomIn);
            int at = 0;
            for (const int delay : delays) {
                at += delay;
                QTimer::singleShot(at, this, [this, index, answer, from, port]() { sendAnswer(index, answer, from, port); });
            }
        });
    }
    m_log.write(QStringLiteral("onvif-probe"), {{QStringLiteral("from"), endpointText(from, port)},
                                                {QStringLiteral("to"), to.toString()},
                                                {QStringLiteral("messageId"), probe.messageId},
                                                {QStringLiteral("answers"), answers},
                                                {QStringLiteral("missed"), missed}});
}

void OnvifPeers::sendAnswer(int index, const QByteArray &answer, const QHostAddress &to, quint16 port)
{
    const SimCamera &sim = m_cameras.at(index).sim;
    if (m_cameras.at(index).rebooting)
        return;
    const bool sent = SourcedSender::send(int(m_sendSocket->socketDescriptor()), answer, to, port,
                                          sim.ownsAddress ? QHostAddress(sim.info.ip) : QHostAddress());
    if (!m_quiet) {
        m_log.write(QStringLiteral("onvif-answer"), {{QStringLiteral("mac"), sim.info.mac},
                                                     {QStringLiteral("to"), endpointText(to, port)},
                                                     {QStringLiteral("sent"), sent}});
    }
}

void OnvifPeers::serviceConnection()
{
    auto *server = qobject_cast<QTcpServer *>(sender());
    if (!server)
        return;
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { serveRequest(socket); });
    }
}

int OnvifPeers::cameraFor(const QHostAddress &local, const QByteArray &path) const
{
    if (path == ServicePath) {
        for (const int index : m_onvif) {
            const SimCamera &sim = m_cameras.at(index).sim;
            if (sim.ownsAddress && QHostAddress(sim.info.ip).isEqual(local, QHostAddress::TolerantConversion))
                return index;
        }
        return -1;
    }
    if (!path.startsWith(ServicePath + '/'))
        return -1;
    bool ok = false;
    const int index = path.mid(ServicePath.size() + 1).toInt(&ok);
    return ok && m_onvif.contains(index) && !m_cameras.at(index).sim.ownsAddress ? index : -1;
}

void OnvifPeers::serveRequest(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    QByteArray request = socket->property("request").toByteArray();
    request += socket->read(MaxHeaderBytes + OnvifSoap::MaxRequestSize + 1 - request.size());
    const int headerEnd = request.indexOf("\r\n\r\n");
    if (request.size() > MaxHeaderBytes + OnvifSoap::MaxRequestSize || (headerEnd < 0 && request.size() > MaxHeaderBytes)) {
        socket->setProperty("answered", true);
        socket->write(httpResponse(413, QByteArray()));
        socket->disconnectFromHost();
        return;
    }
    socket->setProperty("request", request);
    if (headerEnd < 0)
        return;
    const QList<QByteArray> headerLines = request.left(headerEnd).split('\n');
    int length = 0;
    for (const QByteArray &line : headerLines) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toInt();
    }
    if (length < 0 || length > OnvifSoap::MaxRequestSize) {
        socket->setProperty("answered", true);
        socket->write(httpResponse(413, QByteArray()));
        socket->disconnectFromHost();
        return;
    }
    if (request.size() < headerEnd + 4 + length)
        return;
    socket->setProperty("answered", true);

    const QList<QByteArray> requestLine = headerLines.value(0).trimmed().split(' ');
    const int index = cameraFor(socket->localAddress(), requestLine.value(1));
    if (requestLine.value(0) != "POST" || index < 0 || m_cameras.at(index).rebooting) {
        if (index >= 0 && m_cameras.at(index).rebooting) {
            socket->abort();
            return;
        }
        socket->write(httpResponse(404, QByteArray()));
        socket->disconnectFromHost();
        return;
    }
    const OnvifDeviceProtocol::Request parsed = OnvifDeviceProtocol::parseRequest(request.mid(headerEnd + 4, length));
    int status = 200;
    QString result;
    const QByteArray body = answerCall(index, parsed, &status, &result);
    m_log.write(QStringLiteral("onvif-call"),
                {{QStringLiteral("mac"), m_cameras.at(index).sim.info.mac},
                 {QStringLiteral("call"), parsed.call == OnvifDeviceProtocol::Call::Unknown
                      ? parsed.refusal : OnvifDeviceProtocol::callName(parsed.call)},
                 {QStringLiteral("result"), result},
                 {QStringLiteral("from"), endpointText(socket->peerAddress(), socket->peerPort())}});
    socket->write(httpResponse(status, body));
    socket->disconnectFromHost();
}

QByteArray OnvifPeers::answerCall(int index, const OnvifDeviceProtocol::Request &request, int *httpStatus,
                                  QString *result)
{
    using Call = OnvifDeviceProtocol::Call;
    Camera &camera = m_cameras[index];
    SimCamera &sim = camera.sim;
    *result = QStringLiteral("ok");
    if (request.call == Call::Unknown) {
        *httpStatus = 500;
        *result = QStringLiteral("fault");
        return OnvifSoap::fault(OnvifSoap::FaultKind::ActionNotSupported, request.refusal);
    }
    if (request.call == Call::GetSystemDateAndTime)
        return OnvifDeviceProtocol::systemDateAndTimeAnswer(cameraNow(index));
    if (!request.hasToken
        || !OnvifSoap::verifyToken(request.token, {sim.userId, sim.password}, cameraNow(index), ClockToleranceSeconds)) {
        *httpStatus = 400;
        *result = QStringLiteral("refused");
        return OnvifSoap::fault(OnvifSoap::FaultKind::NotAuthorized, QStringLiteral("Sender not Authorized"));
    }
    const bool takes = sim.onvifApply == SimCamera::OnvifApply::Take;
    switch (request.call) {
    case Call::GetDeviceInformation: {
        OnvifDeviceProtocol::DeviceInformation information;
        information.manufacturer = QStringLiteral("camsim");
        information.model = sim.info.model;
        information.firmwareVersion = sim.info.fwVersion;
        information.serialNumber = sim.info.serialNo;
        information.hardwareId = QStringLiteral("SIM-1");
        return OnvifDeviceProtocol::deviceInformationAnswer(information);
    }
    case Call::GetNetworkInterfaces: {
        OnvifDeviceProtocol::NetworkInterface entry;
        entry.token = QStringLiteral("eth0");
        entry.enabled = true;
        entry.name = QStringLiteral("eth0");
        entry.hwAddress = sim.info.mac;
        entry.ipv4Enabled = true;
        entry.dhcp = sim.info.dhcp;
        const int prefix = OnvifDeviceProtocol::prefixFromMask(sim.info.mask);
        (sim.info.dhcp ? entry.dhcpAddress : entry.manualAddress) = sim.info.ip;
        (sim.info.dhcp ? entry.dhcpPrefix : entry.manualPrefix) = prefix < 0 ? 24 : prefix;
        return OnvifDeviceProtocol::networkInterfacesAnswer({entry});
    }
    case Call::GetNetworkDefaultGateway:
        return OnvifDeviceProtocol::networkDefaultGatewayAnswer({sim.info.gateway});
    case Call::GetDNS: {
        OnvifDeviceProtocol::Dns dns;
        for (const QString &server : {sim.info.dns1, sim.info.dns2}) {
            if (!server.isEmpty() && server != QLatin1String("0.0.0.0"))
                dns.manual.append(server);
        }
        return OnvifDeviceProtocol::dnsAnswer(dns);
    }
    case Call::SetDNS:
        if (takes) {
            sim.info.dns1 = request.dnsServers.value(0, QStringLiteral("0.0.0.0"));
            sim.info.dns2 = request.dnsServers.value(1, QStringLiteral("0.0.0.0"));
        }
        return OnvifDeviceProtocol::setAnswer(request.call, false);
    case Call::SetNetworkDefaultGateway:
        if (takes && !request.gateways.isEmpty())
            sim.info.gateway = request.gateways.first();
        return OnvifDeviceProtocol::setAnswer(request.call, false);
    case Call::SetNetworkInterfaces: {
        const bool usable = request.ipv4Given && request.interfaceToken == QLatin1String("eth0")
            && (request.ipv4.dhcp || (!request.ipv4.address.isEmpty() && request.ipv4.prefixLength > 0));
        if (!usable) {
            *httpStatus = 400;
            *result = QStringLiteral("fault");
            return OnvifSoap::fault(OnvifSoap::FaultKind::InvalidArgs, QStringLiteral("Invalid interface settings"));
        }
        // A camera that ignores the change still says it went well.
        if (takes && sim.onvifReboot) {
            camera.pendingMove = true;
            camera.pending = request.ipv4;
        } else if (takes) {
            const OnvifDeviceProtocol::Ipv4Setting setting = request.ipv4;
            QTimer::singleShot(MoveDelayMs, this, [this, index, setting]() { moveCamera(index, setting); });
        }
        return OnvifDeviceProtocol::setAnswer(request.call, takes && sim.onvifReboot);
    }
    case Call::SystemReboot:
        QTimer::singleShot(MoveDelayMs, this, [this, index]() { reboot(index); });
        return OnvifDeviceProtocol::setAnswer(request.call, false);
    default:
        break;
    }
    *httpStatus = 500;
    *result = QStringLiteral("fault");
    return OnvifSoap::fault(OnvifSoap::FaultKind::ActionNotSupported, OnvifDeviceProtocol::callName(request.call));
}

void OnvifPeers::moveCamera(int index, const OnvifDeviceProtocol::Ipv4Setting &setting)
{
    SimCamera &sim = m_cameras[index].sim;
    const QString oldIp = sim.info.ip;
    if (setting.dhcp) {
        // No DHCP server in a test LAN: the camera keeps its address.
        sim.info.dhcp = true;
    } else {
        const QString mask = OnvifDeviceProtocol::maskFromPrefix(setting.prefixLength);
        if (sim.ownsAddress && setting.address != oldIp) {
            QString error;
            if (!m_addresses->claim(setting.address, mask, &error)) {
                m_log.write(QStringLiteral("error"), {{QStringLiteral("message"), error}});
                return;
            }
            m_addresses->release(oldIp);
        }
        sim.info.ip = setting.address;
        sim.info.mask = mask;
        sim.info.dhcp = false;
    }
    m_log.write(QStringLiteral("onvif-address"), {{QStringLiteral("mac"), sim.info.mac},
                                                  {QStringLiteral("ip"), sim.info.ip},
                                                  {QStringLiteral("oldIp"), oldIp},
                                                  {QStringLiteral("dhcp"), sim.info.dhcp}});
}

void OnvifPeers::reboot(int index)
{
    Camera &camera = m_cameras[index];
    if (camera.rebooting)
        return;
    camera.rebooting = true;
    m_log.write(QStringLiteral("onvif-reboot"), {{QStringLiteral("mac"), camera.sim.info.mac}});
    QTimer::singleShot(RebootMs, this, [this, index]() {
        Camera &back = m_cameras[index];
        back.rebooting = false;
        if (back.pendingMove) {
            back.pendingMove = false;
            moveCamera(index, back.pending);
        }
        if (back.sim.ownsAddress)
            announce(index, true);
    });
}
