#include "utilitysearch.h"

#include "applog.h"
#include "networkinterfacemonitor.h"
#include "utilityprotocol.h"

#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QMutex instanceMutex;
UtilitySearch *instance = nullptr;
int useCount = 0;

// A fleet answering at once must not overflow the socket queue before the
// event loop gets to it.
constexpr int ReceiveBufferBytes = 32 * 1024 * 1024;

// Reading pauses this long after a batch only when the queue can take a
// burst meanwhile: at the 200 000 replies a second of a large fleet, about
// 400 replies wait, far from what such a queue holds.
constexpr int BatchPauseMs = 2;
constexpr int PauseQueueBytes = 4 * 1024 * 1024;

bool queueHoldsBurst(int descriptor)
{
    int size = 0;
    socklen_t length = sizeof(size);
    // The kernel reports twice the size asked for (the rest is its bookkeeping).
    return ::getsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 && size / 2 >= PauseQueueBytes;
}

void enlargeReceiveBuffer(QUdpSocket *socket)
{
    const int fd = int(socket->socketDescriptor());
    const int size = ReceiveBufferBytes;
    // As root the kernel's rmem_max cap can be passed over; otherwise take
    // what the cap allows.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, size);
}

int interfaceIndexOf(const QHostAddress &address)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip() == address)
                return interface.index();
        }
    }
    return 0;
}

} // namespace

// Buffers for one recvmmsg call. Each slot takes the largest IPv4 UDP
// payload, so every datagram arrives whole and keeps its true length.
struct UtilitySearch::ReceiveBatch
{
    static constexpr int Count = 16;
    static constexpr size_t Room = 65536;
    static constexpr size_t ControlRoom = 256;

    std::unique_ptr<char[]> data{new char[Count * Room]};
    mmsghdr headers[Count];
    iovec vectors[Count];
    sockaddr_in senders[Count];
    alignas(cmsghdr) char control[Count][ControlRoom];

    // The kernel shortens the name and control lengths it fills in.
    void arm()
    {
        for (int i = 0; i < Count; ++i) {
            vectors[i].iov_base = data.get() + size_t(i) * Room;
            vectors[i].iov_len = Room;
            msghdr &header = headers[i].msg_hdr;
            header.msg_name = &senders[i];
            header.msg_namelen = sizeof(senders[i]);
            header.msg_iov = &vectors[i];
            header.msg_iovlen = 1;
            header.msg_control = control[i];
            header.msg_controllen = ControlRoom;
            header.msg_flags = 0;
            headers[i].msg_len = 0;
        }
    }
};

UtilitySearch *UtilitySearch::getInstance()
{
    QMutexLocker locker(&instanceMutex);
    if (!instance)
        instance = new UtilitySearch;
    ++useCount;
    return instance;
}

void UtilitySearch::releaseInstance()
{
    QMutexLocker locker(&instanceMutex);
    if (useCount <= 0)
        return;
    if (--useCount == 0) {
        delete instance;
        instance = nullptr;
    }
}

UtilitySearch::UtilitySearch()
    : queryA(UtilityProtocol::queryText(UtilityProtocol::Query::A))
    , queryB(UtilityProtocol::queryText(UtilityProtocol::Query::B))
{
    monitor = NetworkInterfaceMonitor::getInstance();
    monitor->getAddresses(localAddresses);
    clock.start();
}

UtilitySearch::~UtilitySearch()
{
    NetworkInterfaceMonitor::releaseInstance();
    monitor = nullptr;
    closeSockets();
    // releaseInstance() holds the process-wide mutex while deleting us.
    deviceList.clear();
}

void UtilitySearch::startSearch(QString onlyAddress)
{
    deviceList.clear();
    replyFilter.clear();
    closeSockets();

    for (const QHostAddress &address : qAsConst(localAddresses)) {
        if (!onlyAddress.isEmpty() && onlyAddress != address.toString())
            continue;
        bindAddressSocket(address);
    }
    if (!sockets.isEmpty())
        openBroadcastReceiver();

    for (QUdpSocket *socket : qAsConst(sockets)) {
        socket->writeDatagram(queryA, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
        socket->writeDatagram(queryB, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
    }
}

QList<UtilitySearchCamInfo> UtilitySearch::takeDeviceList()
{
    if (!sockets.isEmpty() || broadcastReceiver)
        closeSockets();
    return deviceList.records();
}

void UtilitySearch::refreshAddresses()
{
    if (monitor)
        monitor->getAddresses(localAddresses);
}

void UtilitySearch::sendSetting(QByteArray record)
{
    appLog(LogSystem::LogMajorMsg, "UtilitySearch send setting.");
    const QByteArray text = UtilityProtocol::encodeWireRecord(record);

    for (const QHostAddress &address : qAsConst(localAddresses))
        bindAddressSocket(address);
    if (!sockets.isEmpty())
        openBroadcastReceiver();

    for (QUdpSocket *socket : qAsConst(sockets))
        socket->writeDatagram(text, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
}

void UtilitySearch::stopSearch()
{
    QMutexLocker locker(&instanceLock);
    for (Receiver &receiver : receivers) {
        receiver.stopped = true;
        if (receiver.notifier) {
            // A level-triggered notifier left enabled without a slot would fire for ever.
            receiver.notifier->setEnabled(false);
            disconnect(receiver.notifier, nullptr, this, nullptr);
        } else {
            disconnect(receiver.socket, &QUdpSocket::readyRead, this, &UtilitySearch::utilitySearchBrcRecvFunc);
        }
    }
}

void UtilitySearch::bindAddressSocket(const QHostAddress &address)
{
    const QString addressText = address.toString();
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(address, UtilityProtocol::Port, QAbstractSocket::ReuseAddressHint)) {
        appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp fail, port = %d, address = %s ",
               int(UtilityProtocol::Port), qPrintable(addressText));
        socket->close();
        delete socket;
        return;
    }
    appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp success, port = %d, address = %s ",
           int(UtilityProtocol::Port), qPrintable(addressText));
    enlargeReceiveBuffer(socket);
    sockets.append(socket);
    addReceiver(socket, quint64(sockets.size()), false);

    const quint32 ipv4 = address.toIPv4Address();
    if (!boundAddresses.contains(ipv4)) {
        const int interfaceIndex = interfaceIndexOf(address);
        boundAddresses.insert(ipv4, interfaceIndex);
        if (interfaceIndex > 0)
            searchInterfaces.insert(interfaceIndex);
    }
}

void UtilitySearch::openBroadcastReceiver()
{
    if (broadcastReceiver)
        return;
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), UtilityProtocol::Port,
                      QAbstractSocket::ReuseAddressHint)) {
        // Unicast replies still reach the address-bound sockets.
        appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp fail, port = %d, address = %s ",
               int(UtilityProtocol::Port), "0.0.0.0");
        socket->close();
        delete socket;
        return;
    }
    enlargeReceiveBuffer(socket);
    broadcastReceiver = socket;
    addReceiver(socket, 0, true);
}

void UtilitySearch::addReceiver(QUdpSocket *socket, quint64 ordinal, bool wildcard)
{
    Receiver receiver;
    receiver.socket = socket;
    receiver.ordinal = ordinal;
    receiver.wildcard = wildcard;
    const int fd = int(socket->socketDescriptor());
    receiver.descriptor = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (receiver.descriptor >= 0) {
        receiver.mayPause = queueHoldsBurst(receiver.descriptor);
        receiver.notifier = new QSocketNotifier(receiver.descriptor, QSocketNotifier::Read, this);
        connect(receiver.notifier, SIGNAL(activated(int)), this, SLOT(utilitySearchBrcRecvFunc()));
    } else {
        // Out of descriptors: read datagram by datagram through Qt instead.
        connect(socket, &QUdpSocket::readyRead, this, &UtilitySearch::utilitySearchBrcRecvFunc);
    }
    receivers.append(receiver);
}

void UtilitySearch::closeSockets()
{
    // A drain further up the stack sees this and stops reading.
    ++socketGeneration;
    // Our duplicate descriptors keep the port bound until they are closed too.
    for (const Receiver &receiver : qAsConst(receivers)) {
        if (receiver.notifier) {
            receiver.notifier->setEnabled(false);
            receiver.notifier->deleteLater();
        }
        if (receiver.descriptor >= 0)
            ::close(receiver.descriptor);
    }
    receivers.clear();
    // deleteLater: a slot reached from one of our signals may end the search
    // while a socket is still being read further up the stack.
    for (QUdpSocket *socket : qAsConst(sockets)) {
        socket->close();
        socket->deleteLater();
    }
    sockets.clear();
    if (broadcastReceiver) {
        broadcastReceiver->close();
        broadcastReceiver->deleteLater();
        broadcastReceiver = nullptr;
    }
    boundAddresses.clear();
    searchInterfaces.clear();
}

void UtilitySearch::utilitySearchBrcRecvFunc()
{
    QObject *const from = sender();
    for (const Receiver &receiver : qAsConst(receivers)) {
        if (receiver.notifier && receiver.notifier == from) {
            const Receiver copy = receiver;
            if (drainDescriptor(copy) > 0 && copy.mayPause)
                pauseReceiver(copy);
            return;
        }
        if (!receiver.notifier && receiver.socket == from) {
            drainSocket(Receiver(receiver));
            return;
        }
    }
}

int UtilitySearch::drainDescriptor(const Receiver &receiver)
{
    // The buffers are in use further up the stack when a slot of ours ran an
    // event loop that brought us back here; such a call brings its own.
    std::unique_ptr<ReceiveBatch> nested;
    ReceiveBatch *buffers = nullptr;
    if (batchInUse) {
        nested.reset(new ReceiveBatch);
        buffers = nested.get();
    } else {
        if (!batch)
            batch.reset(new ReceiveBatch);
        buffers = batch.get();
        batchInUse = true;
    }

    // A slot reached from our signals may end the search, which closes the
    // descriptor: nothing more is read then.
    const quint64 generation = socketGeneration;
    int received = 0;
    while (generation == socketGeneration) {
        buffers->arm();
        const int count = ::recvmmsg(receiver.descriptor, buffers->headers, ReceiveBatch::Count, MSG_DONTWAIT, nullptr);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        const qint64 now = clock.elapsed();
        received += count;
        for (int i = 0; i < count && generation == socketGeneration; ++i) {
            const msghdr &header = buffers->headers[i].msg_hdr;
            Arrival arrival{receiver.ordinal, receiver.wildcard, false, 0, 0};
            for (cmsghdr *control = CMSG_FIRSTHDR(&header); control;
                 control = CMSG_NXTHDR(const_cast<msghdr *>(&header), control)) {
                if (control->cmsg_level == IPPROTO_IP && control->cmsg_type == IP_PKTINFO
                    && control->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(control), sizeof info);
                    arrival.hasDestination = true;
                    arrival.destination = ntohl(info.ipi_addr.s_addr);
                    arrival.interfaceIndex = info.ipi_ifindex;
                }
            }
            const sockaddr_in &from = buffers->senders[i];
            takeDatagram(static_cast<const char *>(buffers->vectors[i].iov_base), int(buffers->headers[i].msg_len),
                         ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), arrival, now);
        }
        // A short batch emptied the queue; what comes later is notified anew.
        if (count < ReceiveBatch::Count)
            break;
    }

    if (!nested)
        batchInUse = false;
    return generation == socketGeneration ? received : 0;
}

void UtilitySearch::pauseReceiver(const Receiver &receiver)
{
    // Nothing is lost meanwhile: the datagrams wait in the kernel queue and
    // the notifier, enabled again, fires at once when there are any.
    receiver.notifier->setEnabled(false);
    const QPointer<QSocketNotifier> notifier(receiver.notifier);
    QTimer::singleShot(BatchPauseMs, Qt::PreciseTimer, this, [this, notifier] {
        for (const Receiver &current : qAsConst(receivers)) {
            if (notifier && current.notifier == notifier && !current.stopped)
                notifier->setEnabled(true);
        }
    });
}

void UtilitySearch::drainSocket(const Receiver &receiver)
{
    const QPointer<QUdpSocket> socket(receiver.socket);
    const quint64 generation = socketGeneration;
    while (socket && generation == socketGeneration && socket->state() == QAbstractSocket::BoundState) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            break;
        takeQtDatagram(datagram, receiver);
    }
}

void UtilitySearch::takeQtDatagram(const QNetworkDatagram &datagram, const Receiver &receiver)
{
    bool hasDestination = false;
    const quint32 destination = datagram.destinationAddress().toIPv4Address(&hasDestination);
    const Arrival arrival{receiver.ordinal, receiver.wildcard, hasDestination, destination,
                          int(datagram.interfaceIndex())};
    const QByteArray payload = datagram.data();
    bool senderIsIpv4 = false;
    const quint32 senderIpv4 = datagram.senderAddress().toIPv4Address(&senderIsIpv4);
    if (senderIsIpv4) {
        takeDatagram(payload.constData(), payload.size(), senderIpv4, quint16(datagram.senderPort()), arrival,
                     clock.elapsed());
        return;
    }
    if (payload.size() == UtilityProtocol::WireRecordSize)
        return;
    if (receiver.wildcard && !keepsBroadcastDatagram(hasDestination, destination, arrival.interfaceIndex))
        return;
    const quint64 path = (receiver.ordinal << 32) | quint32(arrival.interfaceIndex);
    if (replyFilter.accept(payload, datagram.senderAddress(), quint16(datagram.senderPort()), path, clock.elapsed()))
        handlePayload(payload.constData(), payload.size());
}

void UtilitySearch::takeDatagram(const char *data, int size, quint32 senderIpv4, quint16 senderPort,
                                 const Arrival &arrival, qint64 nowMs)
{
    // Queries and settings records, ours included, come back on port 8000.
    if (size == UtilityProtocol::WireRecordSize)
        return;
    if (arrival.wildcard && !keepsBroadcastDatagram(arrival.hasDestination, arrival.destination, arrival.interfaceIndex))
        return;
    const quint64 path = (arrival.ordinal << 32) | quint32(arrival.interfaceIndex);
    if (!replyFilter.accept(data, size, senderIpv4, senderPort, path, nowMs))
        return;
    handlePayload(data, size);
}

bool UtilitySearch::keepsBroadcastDatagram(const QNetworkDatagram &datagram) const
{
    bool isIpv4 = false;
    const quint32 destination = datagram.destinationAddress().toIPv4Address(&isIpv4);
    return keepsBroadcastDatagram(isIpv4, destination, int(datagram.interfaceIndex()));
}

bool UtilitySearch::keepsBroadcastDatagram(bool hasDestination, quint32 destination, int interfaceIndex) const
{
    if (hasDestination && boundAddresses.contains(destination))
        return true;
    if (interfaceIndex <= 0 || !searchInterfaces.contains(interfaceIndex))
        return false;
    // Arrived on an adapter of the search, but addressed to one of our own
    // addresses that the search does not use: not ours.
    if (hasDestination && isLocalIpv4(destination))
        return false;
    return true;
}

bool UtilitySearch::isLocalIpv4(quint32 address) const
{
    for (const QHostAddress &local : localAddresses) {
        if (local.protocol() == QAbstractSocket::IPv4Protocol && local.toIPv4Address() == address)
            return true;
    }
    return false;
}

void UtilitySearch::handleDatagram(const QByteArray &payload)
{
    handlePayload(payload.constData(), payload.size());
}

void UtilitySearch::handlePayload(const char *data, int size)
{
    switch (UtilityProtocol::classifyDatagram(data, size)) {
    case UtilityProtocol::DatagramKind::ShortReply:
    case UtilityProtocol::DatagramKind::LongReply: {
        UtilitySearchCamInfo info;
        if (!UtilityProtocol::parseReply(data, size, &info, &recurringTexts))
            return;
        const QString ip = info.ip;
        if (deviceList.merge(std::move(info)) == UtilityDeviceList::MergeResult::IpChanged)
            appLog(LogSystem::LogMajorMsg, "IP Change - Updating IP=[%s]", qPrintable(ip));
        return;
    }
    case UtilityProtocol::DatagramKind::InvalidId:
        appLog(LogSystem::LogMajorMsg, "ID or Password fail.");
        emit emitUtilityRecvSettingFail(1);
        return;
    case UtilityProtocol::DatagramKind::WireRecord:
    case UtilityProtocol::DatagramKind::Other:
        return;
    }
}
