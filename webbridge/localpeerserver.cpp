#include "localpeerserver.h"

#include "socketowner.h"

#include <QTcpSocket>
#include <QtEndian>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool endpoint(const sockaddr_storage &address, QHostAddress *host, quint16 *port)
{
    host->setAddress(reinterpret_cast<const sockaddr *>(&address));
    if (address.ss_family == AF_INET)
        *port = qFromBigEndian(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    else if (address.ss_family == AF_INET6)
        *port = qFromBigEndian(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port);
    else
        return false;
    return !host->isNull();
}

} // namespace

LocalPeerServer::LocalPeerServer(QObject *parent)
    : QTcpServer(parent)
{
}

bool LocalPeerServer::isPeerOfUser(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local,
                                   quint16 localPort, uint uid)
{
    if (!peer.isLoopback())
        return false;
    const std::optional<uint> owner = SocketOwner::tcpPeerUid(peer, peerPort, local, localPort);
    return owner && *owner == uid;
}

void LocalPeerServer::incomingConnection(qintptr descriptor)
{
    const int fd = int(descriptor);
    sockaddr_storage peerAddress {};
    sockaddr_storage localAddress {};
    socklen_t peerSize = sizeof peerAddress;
    socklen_t localSize = sizeof localAddress;
    QHostAddress peer;
    QHostAddress local;
    quint16 peerPort = 0;
    quint16 localPort = 0;
    const bool known = getpeername(fd, reinterpret_cast<sockaddr *>(&peerAddress), &peerSize) == 0
        && getsockname(fd, reinterpret_cast<sockaddr *>(&localAddress), &localSize) == 0
        && endpoint(peerAddress, &peer, &peerPort) && endpoint(localAddress, &local, &localPort);
    if (!known || !isPeerOfUser(peer, peerPort, local, localPort, uint(getuid()))) {
        ::close(fd);
        emit refused(peer, peerPort);
        return;
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(fd);
        return;
    }
    addPendingConnection(socket);
}
