#include "temporaryaddress.h"

#include <QHostAddress>
#include <QMutex>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

constexpr int MessageRoom = 128;

// One held address: the removal request, ready for the signal handler.
struct Slot
{
    std::atomic<int> held{0};
    int length = 0;
    char removal[MessageRoom];
};

Slot heldSlots[TemporaryAddress::MaxHeld];
QMutex slotLock;   // guards taking and giving back slots (not the handler's reads)
struct sigaction previousInt;
struct sigaction previousTerm;
bool handlersInstalled = false;

struct Request
{
    nlmsghdr header;
    ifaddrmsg body;
    char attributes[64];
};

int buildRequest(Request *request, int type, int flags, int interfaceIndex, quint32 address, int prefix)
{
    std::memset(request, 0, sizeof *request);
    request->header.nlmsg_type = quint16(type);
    request->header.nlmsg_flags = quint16(flags);
    request->header.nlmsg_seq = 1;
    request->body.ifa_family = AF_INET;
    request->body.ifa_prefixlen = quint8(prefix);
    request->body.ifa_scope = RT_SCOPE_UNIVERSE;
    request->body.ifa_index = quint32(interfaceIndex);
    int length = int(NLMSG_LENGTH(sizeof(ifaddrmsg)));
    const auto attribute = [&](int kind, quint32 value) {
        auto *rta = reinterpret_cast<rtattr *>(reinterpret_cast<char *>(request) + NLMSG_ALIGN(length));
        rta->rta_type = quint16(kind);
        rta->rta_len = quint16(RTA_LENGTH(4));
        const quint32 network = htonl(value);
        std::memcpy(RTA_DATA(rta), &network, 4);
        length = int(NLMSG_ALIGN(length) + RTA_ALIGN(rta->rta_len));
    };
    attribute(IFA_LOCAL, address);
    attribute(IFA_ADDRESS, address);
    if (type == RTM_NEWADDR && prefix < 31) {
        const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
        attribute(IFA_BROADCAST, (address & mask) | ~mask);
    }
    request->header.nlmsg_len = quint32(length);
    return length;
}

// Sends a request and returns the kernel's answer: 0 or a negative errno.
// Async-signal-safe when ack is false (socket, sendto and close only).
int sendRequest(const void *request, int length, bool ack)
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -errno;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, request, size_t(length), 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel) != length) {
        const int error = -errno;
        ::close(fd);
        return error;
    }
    int result = 0;
    if (ack) {
        char answer[512];
        const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
        if (n < ssize_t(NLMSG_LENGTH(sizeof(nlmsgerr)))) {
            result = -EIO;
        } else {
            const auto *header = reinterpret_cast<const nlmsghdr *>(answer);
            if (header->nlmsg_type == NLMSG_ERROR)
                result = reinterpret_cast<const nlmsgerr *>(NLMSG_DATA(header))->error;
        }
    }
    ::close(fd);
    return result;
}

void removeAllAndResignal(int signal)
{
    for (Slot &slot : heldSlots) {
        int expected = 1;
        if (slot.held.compare_exchange_strong(expected, 2))
            sendRequest(slot.removal, slot.length, false);
    }
    // The previous disposition ends the process (or does what its owner
    // wanted); the signal stays blocked until this handler returns.
    ::sigaction(signal, signal == SIGINT ? &previousInt : &previousTerm, nullptr);
    ::raise(signal);
}

void installHandlers()
{
    if (handlersInstalled)
        return;
    struct sigaction action{};
    action.sa_handler = removeAllAndResignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction &previous = signal == SIGINT ? previousInt : previousTerm;
        ::sigaction(signal, nullptr, &previous);
        // A signal the process ignores does not end it: nothing to clean up then.
        if (previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    handlersInstalled = true;
}

QString errorText(int error)
{
    if (error == -EPERM || error == -EACCES)
        return QStringLiteral("adding an address needs CAP_NET_ADMIN (run as root)");
    if (error == -EEXIST)
        return QStringLiteral("the adapter has that address already");
    if (error == -ENODEV)
        return QStringLiteral("there is no such adapter");
    return QString::fromLocal8Bit(std::strerror(-error));
}

} // namespace

TemporaryAddress::~TemporaryAddress()
{
    remove();
}

QString TemporaryAddress::addCommand(const QString &interfaceName, quint32 address, int prefix)
{
    return QStringLiteral("sudo ip addr add %1/%2 dev %3").arg(QHostAddress(address).toString()).arg(prefix).arg(interfaceName);
}

QString TemporaryAddress::removeCommand(const QString &interfaceName, quint32 address, int prefix)
{
    return QStringLiteral("sudo ip addr del %1/%2 dev %3").arg(QHostAddress(address).toString()).arg(prefix).arg(interfaceName);
}

bool TemporaryAddress::add(const QString &interfaceName, quint32 address, int prefix, QString *error)
{
    if (slot >= 0) {
        *error = QStringLiteral("an address is held already");
        return false;
    }
    if (prefix < 1 || prefix > 32 || address == 0) {
        *error = QStringLiteral("not an address with a prefix");
        return false;
    }
    const unsigned index = ::if_nametoindex(interfaceName.toLocal8Bit().constData());
    if (index == 0) {
        *error = QStringLiteral("there is no adapter %1").arg(interfaceName);
        return false;
    }
    const QMutexLocker locker(&slotLock);
    int free = -1;
    for (int i = 0; i < MaxHeld && free < 0; ++i) {
        if (heldSlots[i].held.load() == 0)
            free = i;
    }
    if (free < 0) {
        *error = QStringLiteral("more than %1 temporary addresses at once").arg(MaxHeld);
        return false;
    }
    Request removal;
    static_assert(sizeof(Request) <= MessageRoom, "the removal request must fit its slot");
    heldSlots[free].length = buildRequest(&removal, RTM_DELADDR, NLM_F_REQUEST, int(index), address, prefix);
    std::memcpy(heldSlots[free].removal, &removal, size_t(heldSlots[free].length));
    installHandlers();
    Request request;
    const int length = buildRequest(&request, RTM_NEWADDR, NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_EXCL,
                                    int(index), address, prefix);
    const int result = sendRequest(&request, length, true);
    if (result != 0) {
        *error = errorText(result);
        return false;
    }
    // Held only once the kernel has it: a signal just before this leaves the
    // address behind rather than ever removing one the adapter had before.
    heldSlots[free].held.store(1);
    slot = free;
    return true;
}

bool TemporaryAddress::remove(QString *error)
{
    if (slot < 0)
        return true;
    const QMutexLocker locker(&slotLock);
    Slot &held = heldSlots[slot];
    int expected = 1;
    int result = 0;
    if (held.held.compare_exchange_strong(expected, 2)) {
        Request request;
        std::memcpy(&request, held.removal, size_t(held.length));
        request.header.nlmsg_flags |= NLM_F_ACK;
        result = sendRequest(&request, held.length, true);
        // Gone already (someone removed it by hand) is as good as removed.
        if (result == -EADDRNOTAVAIL || result == -ENODEV)
            result = 0;
    }
    held.held.store(0);
    slot = -1;
    if (result != 0 && error)
        *error = errorText(result);
    return result == 0;
}
