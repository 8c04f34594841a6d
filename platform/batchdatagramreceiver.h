#ifndef BATCHDATAGRAMRECEIVER_H
#define BATCHDATAGRAMRECEIVER_H

#include <QObject>
#include <QtGlobal>

#include <memory>

class QSocketNotifier;
class QUdpSocket;

// Reads an IPv4 QUdpSocket in batches. QUdpSocket hands over one datagram per
// call (two system calls and a QNetworkDatagram each), which is too slow for a
// fleet of cameras answering within milliseconds. This reads through a
// duplicate of the socket's descriptor with recvmmsg and a socket notifier of
// its own; the QUdpSocket keeps binding and sending, and as nothing reads
// through it, it soon stops notifying by itself.
//
// When the kernel queue is large enough to hold a burst, a socket that just
// had data is left to fill for a moment before it is read again: one wake-up
// then takes hundreds of datagrams instead of a handful.
//
// Without a spare descriptor it falls back to reading datagram by datagram
// through the QUdpSocket; the datagrams look the same either way. Receivers
// of one thread share their read buffers, so each stays in the thread that
// created it.
class BatchDatagramReceiver : public QObject
{
    Q_OBJECT

public:
    // One received datagram. The bytes belong to the receiver and stay valid
    // only until the slot it was handed to returns.
    struct Datagram
    {
        const char *data = nullptr;
        int size = 0;
        quint32 senderIpv4 = 0;      // host byte order
        quint16 senderPort = 0;
        bool hasDestination = false; // the IPv4 address it was sent to is known
        quint32 destination = 0;     // host byte order
        int interfaceIndex = 0;      // the arrival interface, 0 when unknown
    };

    // Reads socket (bound, IPv4, not owned) from now on. The receiver must
    // not outlive the socket; making it the socket's child does that.
    explicit BatchDatagramReceiver(QUdpSocket *socket, QObject *parent = nullptr);
    ~BatchDatagramReceiver() override;

    // Asks the kernel for a receive queue of bytes, past its rmem_max cap
    // where the process may (root); otherwise what the cap allows. Call it
    // before constructing the receiver, which decides on pausing from it.
    static void enlargeReceiveBuffer(QUdpSocket *socket, int bytes);

    // Whether the socket is read in batches (false: the fallback).
    bool isBatched() const { return descriptor >= 0; }
    // Whether the kernel queue holds a burst, so that reading may wait.
    bool holdsBurst() const { return mayPause; }

    // While polled, the socket is read only by readPending(), typically from
    // a timer the caller runs anyway: a datagram then costs no wake-up of its
    // own. Only worth it where the queue holds what arrives between two
    // reads (holdsBurst()). The fallback keeps reading as datagrams come.
    void setPolled(bool polled);
    // Reads what the queue holds now, in batches, and returns how many
    // datagrams were handed over.
    int readPending();

    // No more reading; the socket stays open. A read under way finishes.
    void stop();
    // Stops and releases the duplicate descriptor at once (it keeps the port
    // bound otherwise). A read under way ends after the current datagram.
    void close();

signals:
    // A batch of count datagrams, in arrival order. A connected slot may
    // close() or delete the receiver (deleteLater); reading then ends.
    void datagramsReceived(const BatchDatagramReceiver::Datagram *datagrams, int count);

private slots:
    void readDescriptor();

private:
    Q_DISABLE_COPY(BatchDatagramReceiver)

    int drainDescriptor();
    void pause();
    int readSocket();

    QUdpSocket *const socket;
    int descriptor = -1;             // our duplicate; -1: read through the QUdpSocket
    QSocketNotifier *notifier = nullptr;
    bool mayPause = false;           // the queue holds a burst
    bool polled = false;
    bool stopped = false;
    bool closed = false;
};

#endif // BATCHDATAGRAMRECEIVER_H
