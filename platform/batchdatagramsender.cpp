#include "batchdatagramsender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

BatchDatagramSender::BatchDatagramSender()
    : headers(MaxBatch)
    , vectors(MaxBatch)
    , addresses(MaxBatch)
{
    std::memset(headers.data(), 0, sizeof(mmsghdr) * headers.size());
    for (int i = 0; i < MaxBatch; ++i) {
        addresses[i] = sockaddr_in{};
        addresses[i].sin_family = AF_INET;
        headers[i].msg_hdr.msg_name = &addresses[i];
        headers[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
        headers[i].msg_hdr.msg_iov = &vectors[i];
        headers[i].msg_hdr.msg_iovlen = 1;
    }
}

BatchDatagramSender::~BatchDatagramSender() = default;

bool BatchDatagramSender::append(quint32 ipv4, quint16 port, const QByteArray &payload)
{
    if (count >= MaxBatch)
        return false;
    addresses[count].sin_addr.s_addr = htonl(ipv4);
    addresses[count].sin_port = htons(port);
    vectors[count].iov_base = const_cast<char *>(payload.constData());
    vectors[count].iov_len = size_t(payload.size());
    ++count;
    return true;
}

quint32 BatchDatagramSender::queuedAddress(int i) const
{
    return i >= 0 && i < count ? ntohl(addresses[size_t(i)].sin_addr.s_addr) : 0;
}

int BatchDatagramSender::send(int descriptor, int *errorNumber)
{
    *errorNumber = 0;
    int sent = 0;
    while (sent < count) {
        const int n = ::sendmmsg(descriptor, headers.data() + sent, unsigned(count - sent), MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *errorNumber = errno;
            break;
        }
        if (n == 0)
            break;
        sent += n;
    }
    // The ones left move to the front, ready for the next call.
    if (sent > 0 && sent < count) {
        for (int i = sent; i < count; ++i) {
            addresses[i - sent].sin_addr = addresses[i].sin_addr;
            addresses[i - sent].sin_port = addresses[i].sin_port;
            vectors[i - sent] = vectors[i];
        }
    }
    count -= sent;
    return sent;
}
