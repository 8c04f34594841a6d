#include "ssdppeers.h"

#include "groupsocket.h"
#include "sourcedsender.h"
#include "ssdpprotocol.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

QString endpoint(const QHostAddress &address, int port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace

SsdpPeers::SsdpPeers(const QVector<SimCamera> &cameras, const EventLog &log, bool quiet, QObject *parent)
    : QObject(parent)
    , m_cameras(cameras)
    , m_log(log)
    , m_quiet(quiet)
{
    for (int i = 0; i < m_cameras.size(); ++i) {
        if (m_cameras.at(i).kind == SimCamera::Kind::DocCam)
            m_docCams.append(i);
        else if (m_cameras.at(i).kind == SimCamera::Kind::Box)
            m_boxes.append(i);
    }
}

bool SsdpPeers::start()
{
    if (m_docCams.isEmpty() && m_boxes.isEmpty())
        return true;
    m_sendSocket = new QUdpSocket(this);
    if (!m_sendSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        m_log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                    QStringLiteral("cannot bind a sending socket: %1").arg(m_sendSocket->errorString())}});
        return false;
    }
    if (!m_docCams.isEmpty()) {
        m_searchSocket = GroupSocket::bind(SsdpProtocol::SsdpPort, m_log, this);
        if (!m_searchSocket)
            return false;
        connect(m_searchSocket, &QUdpSocket::readyRead, this, &SsdpPeers::searchRecvFunc);
        for (const int index : qAsConst(m_docCams)) {
            const SimCamera &camera = m_cameras.at(index);
            if (!camera.ownsAddress) {
                m_fleetDocCams.insert(index);
                m_fleetPort = camera.httpPort;
                continue;
            }
            auto *server = new QTcpServer(this);
            if (!server->listen(QHostAddress(camera.info.ip), camera.httpPort)) {
                m_log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                            QStringLiteral("cannot serve the description of %1 on %2: %3")
                                .arg(camera.info.mac, endpoint(QHostAddress(camera.info.ip), camera.httpPort),
                                     server->errorString())}});
                return false;
            }
            m_servers.insert(server, index);
            connect(server, &QTcpServer::newConnection, this, &SsdpPeers::descriptionConnection);
        }
    }
    if (!m_boxes.isEmpty()) {
        m_boxSocket = GroupSocket::bind(SsdpProtocol::BoxPort, m_log, this);
        if (!m_boxSocket)
            return false;
        connect(m_boxSocket, &QUdpSocket::readyRead, this, &SsdpPeers::announcementRecvFunc);
    }
    if (!m_fleetDocCams.isEmpty()) {
        // Fleet cameras share the namespace's addresses and one server.
        auto *server = new QTcpServer(this);
        if (!server->listen(QHostAddress(QHostAddress::AnyIPv4), m_fleetPort)) {
            m_log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                        QStringLiteral("cannot serve the fleet's descriptions on port %1: %2")
                            .arg(m_fleetPort).arg(server->errorString())}});
            return false;
        }
        server->setMaxPendingConnections(1024);
        m_servers.insert(server, -1);
        connect(server, &QTcpServer::newConnection, this, &SsdpPeers::descriptionConnection);
    }
    return true;
}

void SsdpPeers::searchRecvFunc()
{
    while (m_searchSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_searchSocket->receiveDatagram(SsdpProtocol::MaxDatagramSize);
        if (datagram.isValid() && SsdpProtocol::isMSearch(datagram.data()))
            answerSearch(datagram.senderAddress(), quint16(datagram.senderPort()), datagram.destinationAddress());
    }
}

void SsdpPeers::answerSearch(const QHostAddress &from, quint16 port, const QHostAddress &to)
{
    int answers = 0;
    for (const int index : qAsConst(m_docCams)) {
        const SimCamera &camera = m_cameras.at(index);
        const bool fleet = m_fleetDocCams.contains(index);
        const QString location = fleet && camera.location.isEmpty() ? fleetLocation(index, from) : camera.ssdpLocation();
        const bool sent = SourcedSender::send(int(m_sendSocket->socketDescriptor()), camera.ssdpAnswer(location), from,
                                              port, fleet ? QHostAddress() : QHostAddress(camera.info.ip));
        answers += sent ? 1 : 0;
        if (!m_quiet) {
            m_log.write(QStringLiteral("ssdp-answer"), {{QStringLiteral("mac"), camera.info.mac},
                                                        {QStringLiteral("to"), endpoint(from, port)},
                                                        {QStringLiteral("location"), location},
                                                        {QStringLiteral("sent"), sent}});
        }
    }
    m_log.write(QStringLiteral("ssdp-search"), {{QStringLiteral("from"), endpoint(from, port)},
                                                {QStringLiteral("to"), to.toString()},
                                                {QStringLiteral("answers"), answers}});
}

void SsdpPeers::announcementRecvFunc()
{
    while (m_boxSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_boxSocket->receiveDatagram(SsdpProtocol::MaxDatagramSize);
        if (datagram.isValid() && SsdpProtocol::isBoxAnnouncement(datagram.data()))
            answerAnnouncement(datagram.senderAddress(), quint16(datagram.senderPort()), datagram.destinationAddress());
    }
}

void SsdpPeers::answerAnnouncement(const QHostAddress &from, quint16 port, const QHostAddress &to)
{
    int messages = 0;
    for (const int index : qAsConst(m_boxes)) {
        const SimCamera &camera = m_cameras.at(index);
        const bool sent = SourcedSender::send(int(m_sendSocket->socketDescriptor()), camera.boxMessage(), from,
                                              camera.boxPort,
                                              camera.ownsAddress ? QHostAddress(camera.info.ip) : QHostAddress());
        messages += sent ? 1 : 0;
        if (!m_quiet) {
            m_log.write(QStringLiteral("box-message"), {{QStringLiteral("mac"), camera.info.mac},
                                                        {QStringLiteral("to"), endpoint(from, camera.boxPort)},
                                                        {QStringLiteral("sent"), sent}});
        }
    }
    m_log.write(QStringLiteral("box-announcement"), {{QStringLiteral("from"), endpoint(from, port)},
                                                     {QStringLiteral("to"), to.toString()},
                                                     {QStringLiteral("messages"), messages}});
}

void SsdpPeers::descriptionConnection()
{
    auto *server = qobject_cast<QTcpServer *>(sender());
    if (!server)
        return;
    const int index = m_servers.value(server, -1);
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        const QString mac = index >= 0 ? m_cameras.at(index).info.mac : QString();
        // How the connection ended: "written" below the response's size
        // means the program hung up before taking it all.
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket](qint64 bytes) {
            socket->setProperty("written", socket->property("written").toLongLong() + bytes);
        });
        auto closed = [this, socket, mac]() {
            if (socket->property("closed").toBool())
                return;
            socket->setProperty("closed", true);
            m_log.write(QStringLiteral("description-closed"),
                        {{QStringLiteral("mac"), mac},
                         {QStringLiteral("written"), double(socket->property("written").toLongLong())},
                         {QStringLiteral("size"), double(socket->property("size").toLongLong())},
                         {QStringLiteral("error"), socket->error() == QAbstractSocket::UnknownSocketError
                              ? QString() : socket->errorString()}});
            socket->deleteLater();
        };
        connect(socket, &QTcpSocket::errorOccurred, socket, closed);
        connect(socket, &QTcpSocket::disconnected, socket, closed);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, index]() { serveRequest(socket, index); });
    }
}

int SsdpPeers::fleetCameraOf(const QByteArray &path) const
{
    // "/cam/<index>.xml"
    if (!path.startsWith("/cam/") || !path.endsWith(".xml"))
        return -1;
    bool ok = false;
    const int index = path.mid(5, path.size() - 9).toInt(&ok);
    return ok && m_fleetDocCams.contains(index) ? index : -1;
}

QString SsdpPeers::fleetLocation(int index, const QHostAddress &programAddress)
{
    // The answer leaves from the address the kernel picks towards the
    // program; the LOCATION must name that same address.
    const QHostAddress local = m_localFor.towards(programAddress, SsdpProtocol::SsdpPort);
    return QStringLiteral("http://%1:%2/cam/%3.xml").arg(local.toString()).arg(m_fleetPort).arg(index);
}

void SsdpPeers::serveRequest(QTcpSocket *socket, int serverIndex)
{
    QByteArray request = socket->property("request").toByteArray();
    request += socket->read(MaxRequestBytes + 1 - request.size());
    if (request.size() > MaxRequestBytes) {
        socket->abort();
        return;
    }
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
        return;

    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const bool fleet = serverIndex < 0;
    const int index = fleet ? fleetCameraOf(requestLine.value(1)) : serverIndex;
    if (index < 0) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    // A fleet's server keeps the connection for the next request; a camera
    // of its own closes it after one answer.
    if (fleet)
        socket->setProperty("request", request.mid(request.indexOf("\r\n\r\n") + 4));
    else
        socket->setProperty("answered", true);

    const SimCamera &camera = m_cameras.at(index);
    QByteArray body;
    if (camera.http == SimCamera::Http::Ok)
        body = camera.description();
    else if (camera.http == SimCamera::Http::Huge)
        body = camera.description() + QByteArray(HugeBodyBytes, ' ');
    m_log.write(QStringLiteral("description"),
                {{QStringLiteral("mac"), camera.info.mac},
                 {QStringLiteral("from"), endpoint(socket->peerAddress(), socket->peerPort())},
                 {QStringLiteral("path"), QString::fromLatin1(requestLine.value(1))},
                 {QStringLiteral("http"), SimCamera::httpText(camera.http)},
                 {QStringLiteral("bytes"), body.size()}});
    if (camera.http == SimCamera::Http::Stall)
        return;   // the connection stays open, silent, until the program gives up
    const bool keep = fleet && camera.http == SimCamera::Http::Ok;
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n";
    if (!keep)
        head += "Connection: close\r\n";
    // The huge body comes without a length, so only counting stops it.
    if (camera.http == SimCamera::Http::Ok)
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    const QByteArray response = head + "\r\n" + body;
    socket->setProperty("size", socket->property("size").toLongLong() + qlonglong(response.size()));
    socket->write(response);
    if (!keep)
        socket->disconnectFromHost();
    else if (socket->property("request").toByteArray().contains("\r\n\r\n"))
        QMetaObject::invokeMethod(this, [this, socket, serverIndex]() { serveRequest(socket, serverIndex); },
                                  Qt::QueuedConnection);
}
