#include "sourcedsender.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool SourcedSender::send(int socketDescriptor, const QByteArray &payload, const QHostAddress &destination,
                         quint16 port, const QHostAddress &source, int *errorNumber)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(destination.toIPv4Address());

    iovec iov = {};
    iov.iov_base = const_cast<char *>(payload.constData());
    iov.iov_len = static_cast<size_t>(payload.size());

    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg = {};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (!source.isNull() && source.protocol() == QAbstractSocket::IPv4Protocol) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr *cmsg = CMSG_FIRSTHDR(&msg);
        cmsg->cmsg_level = IPPROTO_IP;
        cmsg->cmsg_type = IP_PKTINFO;
        cmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info = {};
        info.ipi_spec_dst.s_addr = htonl(source.toIPv4Address());
        std::memcpy(CMSG_DATA(cmsg), &info, sizeof info);
    }

    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (::sendmsg(socketDescriptor, &msg, 0) >= 0)
            return true;
        const int error = errno;
        if (error != EAGAIN && error != EWOULDBLOCK && error != ENOBUFS && error != EINTR) {
            if (errorNumber)
                *errorNumber = error;
            return false;
        }
        ::usleep(200);
    }
    if (errorNumber)
        *errorNumber = EAGAIN;
    return false;
}
