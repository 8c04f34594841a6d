#include "batchdatagramreceiver.h"

#include <QNetworkDatagram>
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

// Reading pauses this long after a batch only when the queue can take a
// burst meanwhile: at the 200 000 datagrams a second of a large fleet, about
// 400 wait, far from what such a queue holds.
constexpr int BatchPauseMs = 2;
constexpr int PauseQueueBytes = 4 * 1024 * 1024;

bool queueHoldsBurst(int descriptor)
{
    int size = 0;
    socklen_t length = sizeof(size);
    // The kernel reports twice the size asked for (the rest is its bookkeeping).
    return ::getsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 && size / 2 >= PauseQueueBytes;
}

// Buffers for one recvmmsg call. Each slot takes the largest IPv4 UDP
// payload, so every datagram arrives whole and keeps its true length.
struct Buffers
{
    static constexpr int Count = 16;
    static constexpr size_t Room = 65536;
    static constexpr size_t ControlRoom = 256;

    std::unique_ptr<char[]> data{new char[Count * Room]};
    mmsghdr headers[Count];
    iovec vectors[Count];
    sockaddr_in senders[Count];
    alignas(cmsghdr) char control[Count][ControlRoom];
    BatchDatagramReceiver::Datagram datagrams[Count];

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

    // Fills datagrams[i] from what recvmmsg wrote into slot i.
    void describe(int i)
    {
        const msghdr &header = headers[i].msg_hdr;
        BatchDatagramReceiver::Datagram &datagram = datagrams[i];
        datagram = BatchDatagramReceiver::Datagram();
        datagram.data = static_cast<const char *>(vectors[i].iov_base);
        datagram.size = int(headers[i].msg_len);
        datagram.senderIpv4 = ntohl(senders[i].sin_addr.s_addr);
        datagram.senderPort = ntohs(senders[i].sin_port);
        for (cmsghdr *control = CMSG_FIRSTHDR(&header); control;
             control = CMSG_NXTHDR(const_cast<msghdr *>(&header), control)) {
            if (control->cmsg_level == IPPROTO_IP && control->cmsg_type == IP_PKTINFO
                && control->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(control), sizeof info);
                datagram.hasDestination = true;
                datagram.destination = ntohl(info.ipi_addr.s_addr);
                datagram.interfaceIndex = info.ipi_ifindex;
            }
        }
    }
};

// One set of buffers serves every receiver of a thread, as one read runs to
// its end before the next starts; it goes with the thread's last receiver.
// A slot that runs an event loop brings us back while they are in use: such
// a nested read brings its own.
struct BufferPool
{
    std::unique_ptr<Buffers> buffers;
    bool inUse = false;
    int receivers = 0;
};

thread_local BufferPool bufferPool;

} // namespace

BatchDatagramReceiver::BatchDatagramReceiver(QUdpSocket *socket, QObject *parent)
    : QObject(parent)
    , socket(socket)
{
    ++bufferPool.receivers;
    const int fd = int(socket->socketDescriptor());
    descriptor = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (descriptor >= 0) {
        // Qt asks for the arrival address as well; say so rather than rely on it.
        const int one = 1;
        ::setsockopt(descriptor, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
        mayPause = queueHoldsBurst(descriptor);
        notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(notifier, SIGNAL(activated(int)), this, SLOT(readDescriptor()));
    } else {
        // Out of descriptors: read datagram by datagram through Qt instead.
        connect(socket, &QUdpSocket::readyRead, this, &BatchDatagramReceiver::readSocket);
    }
}

BatchDatagramReceiver::~BatchDatagramReceiver()
{
    // The connections go with us; the socket may be on its way out already.
    if (notifier)
        notifier->setEnabled(false);
    if (descriptor >= 0)
        ::close(descriptor);
    if (--bufferPool.receivers == 0 && !bufferPool.inUse)
        bufferPool.buffers.reset();
}

void BatchDatagramReceiver::enlargeReceiveBuffer(QUdpSocket *socket, int bytes)
{
    const int fd = int(socket->socketDescriptor());
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof(bytes)) != 0)
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, bytes);
}

void BatchDatagramReceiver::stop()
{
    stopped = true;
    if (notifier) {
        // A level-triggered notifier left enabled without a reader would fire for ever.
        notifier->setEnabled(false);
        disconnect(notifier, nullptr, this, nullptr);
    } else {
        disconnect(socket, &QUdpSocket::readyRead, this, &BatchDatagramReceiver::readSocket);
    }
}

void BatchDatagramReceiver::close()
{
    if (closed)
        return;
    stop();
    closed = true;
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
}

void BatchDatagramReceiver::setPolled(bool on)
{
    if (polled == on)
        return;
    polled = on;
    // A level-triggered notifier left enabled over a queue nobody drains
    // would fire for ever.
    if (notifier && !stopped)
        notifier->setEnabled(!polled);
}

int BatchDatagramReceiver::readPending()
{
    if (stopped || closed)
        return 0;
    return descriptor >= 0 ? drainDescriptor() : readSocket();
}

void BatchDatagramReceiver::readDescriptor()
{
    if (drainDescriptor() > 0 && mayPause)
        pause();
}

int BatchDatagramReceiver::drainDescriptor()
{
    std::unique_ptr<Buffers> nested;
    Buffers *buffers = nullptr;
    if (bufferPool.inUse) {
        nested.reset(new Buffers);
        buffers = nested.get();
    } else {
        if (!bufferPool.buffers)
            bufferPool.buffers.reset(new Buffers);
        buffers = bufferPool.buffers.get();
        bufferPool.inUse = true;
    }

    // A slot reached from our signal may close us or delete us: nothing more
    // is read then.
    const QPointer<BatchDatagramReceiver> self(this);
    bool reading = true;
    int received = 0;
    while (reading) {
        buffers->arm();
        const int count = ::recvmmsg(descriptor, buffers->headers, Buffers::Count, MSG_DONTWAIT, nullptr);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        received += count;
        for (int i = 0; i < count; ++i)
            buffers->describe(i);
        emit datagramsReceived(buffers->datagrams, count);
        reading = self && !closed;
        // A short batch emptied the queue; what comes later is notified anew.
        if (count < Buffers::Count)
            break;
    }

    if (!nested) {
        bufferPool.inUse = false;
        if (bufferPool.receivers == 0)
            bufferPool.buffers.reset();
    }
    return reading ? received : 0;
}

void BatchDatagramReceiver::pause()
{
    // Nothing is lost meanwhile: the datagrams wait in the kernel queue and
    // the notifier, enabled again, fires at once when there are any.
    notifier->setEnabled(false);
    QTimer::singleShot(BatchPauseMs, Qt::PreciseTimer, this, [this] {
        if (!stopped && !polled)
            notifier->setEnabled(true);
    });
}

int BatchDatagramReceiver::readSocket()
{
    const QPointer<BatchDatagramReceiver> self(this);
    int handedOver = 0;
    while (self && !closed && socket->state() == QAbstractSocket::BoundState) {
        const QNetworkDatagram received = socket->receiveDatagram();
        if (!received.isValid())
            break;
        bool senderIsIpv4 = false;
        Datagram datagram;
        datagram.senderIpv4 = received.senderAddress().toIPv4Address(&senderIsIpv4);
        // An IPv4 socket has IPv4 senders only.
        if (!senderIsIpv4)
            continue;
        const QByteArray payload = received.data();
        datagram.data = payload.constData();
        datagram.size = payload.size();
        datagram.senderPort = quint16(received.senderPort());
        datagram.destination = received.destinationAddress().toIPv4Address(&datagram.hasDestination);
        datagram.interfaceIndex = int(received.interfaceIndex());
        ++handedOver;
        emit datagramsReceived(&datagram, 1);
    }
    return handedOver;
}
