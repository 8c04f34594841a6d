#include "arpprobe.h"

#include <QElapsedTimer>
#include <QNetworkInterface>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int ArpSize = 28;
constexpr int OperationOffset = 6;
constexpr int SenderMacOffset = 8;
constexpr int SenderIpOffset = 14;
constexpr int TargetIpOffset = 24;

quint32 readIpv4(const QByteArray &packet, int offset)
{
    const auto *p = reinterpret_cast<const quint8 *>(packet.constData() + offset);
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() { if (fd >= 0) ::close(fd); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    const int fd;
};

} // namespace

QByteArray ArpProbe::buildProbe(const quint8 (&mac)[6], quint32 target)
{
    QByteArray packet(ArpSize, '\0');
    auto *p = reinterpret_cast<quint8 *>(packet.data());
    p[0] = 0; p[1] = 1;          // Ethernet
    p[2] = 0x08; p[3] = 0x00;    // IPv4
    p[4] = 6; p[5] = 4;
    p[6] = 0; p[7] = 1;          // request
    std::memcpy(p + SenderMacOffset, mac, 6);
    // sender IPv4 and target MAC stay zero: that is what makes it a probe
    p[TargetIpOffset] = quint8(target >> 24);
    p[TargetIpOffset + 1] = quint8(target >> 16);
    p[TargetIpOffset + 2] = quint8(target >> 8);
    p[TargetIpOffset + 3] = quint8(target);
    return packet;
}

quint32 ArpProbe::conflictIn(const QByteArray &packet, const quint8 (&ownMac)[6], const QSet<quint32> &candidates,
                             QString *senderMac)
{
    if (packet.size() < ArpSize)
        return 0;
    const auto *p = reinterpret_cast<const quint8 *>(packet.constData());
    if (p[0] != 0 || p[1] != 1 || p[2] != 0x08 || p[3] != 0x00 || p[4] != 6 || p[5] != 4)
        return 0;
    if (std::memcmp(p + SenderMacOffset, ownMac, 6) == 0)
        return 0;
    const quint32 sender = readIpv4(packet, SenderIpOffset);
    // Another host probing for the same address at the same time, if not an
    // answer.
    const quint16 operation = quint16((p[OperationOffset] << 8) | p[OperationOffset + 1]);
    const quint32 target = readIpv4(packet, TargetIpOffset);
    const quint32 conflict = sender != 0 ? (candidates.contains(sender) ? sender : 0)
                                         : (operation == 1 && candidates.contains(target) ? target : 0);
    if (conflict != 0 && senderMac)
        *senderMac = QByteArray(reinterpret_cast<const char *>(p + SenderMacOffset), 6).toHex(':');
    return conflict;
}

ArpProbe::Result ArpProbe::probe(const QString &interfaceName, const QList<quint32> &addresses, int waitMs)
{
    Result result;
    if (addresses.size() > MaxAddresses) {
        result.reason = QStringLiteral("more than %1 addresses to probe").arg(MaxAddresses);
        return result;
    }
    const QNetworkInterface interface = QNetworkInterface::interfaceFromName(interfaceName);
    const QStringList macParts = interface.hardwareAddress().split(QLatin1Char(':'));
    if (!interface.isValid() || macParts.size() != 6) {
        result.reason = QStringLiteral("interface %1 has no Ethernet address").arg(interfaceName);
        return result;
    }
    quint8 mac[6] = {};
    for (int i = 0; i < 6; ++i)
        mac[i] = quint8(macParts.at(i).toUInt(nullptr, 16));

    const Descriptor socket(::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ARP)));
    if (socket.fd < 0) {
        result.reason = errno == EPERM || errno == EACCES
            ? QStringLiteral("the process lacks CAP_NET_RAW")
            : QStringLiteral("no packet socket (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_ARP);
    link.sll_ifindex = interface.index();
    if (::bind(socket.fd, reinterpret_cast<const sockaddr *>(&link), sizeof link) != 0) {
        result.reason = QStringLiteral("cannot bind a packet socket to %1").arg(interfaceName);
        return result;
    }
    sockaddr_ll broadcast = link;
    broadcast.sll_halen = 6;
    std::memset(broadcast.sll_addr, 0xff, 6);

    const QSet<quint32> candidates(addresses.cbegin(), addresses.cend());
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    char buffer[256];
    for (;;) {
        const qint64 now = clock.elapsed();
        if (sent < Probes && now >= qint64(sent) * SpacingMs) {
            for (const quint32 address : addresses) {
                const QByteArray packet = buildProbe(mac, address);
                ::sendto(socket.fd, packet.constData(), size_t(packet.size()), 0,
                         reinterpret_cast<const sockaddr *>(&broadcast), sizeof broadcast);
            }
            ++sent;
            continue;
        }
        const qint64 end = qint64(Probes - 1) * SpacingMs + waitMs;
        if (now >= end)
            break;
        const qint64 nextSend = sent < Probes ? qint64(sent) * SpacingMs : end;
        pollfd pfd{socket.fd, POLLIN, 0};
        if (::poll(&pfd, 1, int(qMax<qint64>(1, qMin(nextSend, end) - now))) <= 0)
            continue;
        for (;;) {
            const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            QString answeringMac;
            const quint32 conflict = conflictIn(QByteArray::fromRawData(buffer, int(n)), mac, candidates, &answeringMac);
            if (conflict != 0) {
                result.inUse.insert(conflict);
                if (!result.answeredBy.contains(conflict, answeringMac))
                    result.answeredBy.insert(conflict, answeringMac);
            }
        }
    }
    result.probed = true;
    return result;
}
