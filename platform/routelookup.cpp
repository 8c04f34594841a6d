#include "routelookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

RouteLookup::Result RouteLookup::to(quint32 address)
{
    Result result;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.reason = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    // A directed broadcast is routed like any address, but connect() refuses
    // it without this.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(9);   // discard; nothing is sent to it
    peer.sin_addr.s_addr = htonl(address);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0) {
        result.reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return result;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0)
        result.source = ntohl(local.sin_addr.s_addr);
    ::close(fd);
    result.routed = true;
    return result;
}
