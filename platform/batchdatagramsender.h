#ifndef BATCHDATAGRAMSENDER_H
#define BATCHDATAGRAMSENDER_H

#include <QByteArray>
#include <QtGlobal>

#include <vector>

struct iovec;
struct mmsghdr;
struct sockaddr_in;

// Sends many UDP datagrams to many IPv4 addresses with one sendmmsg call, from
// a socket that somebody else owns and binds. The payloads are the caller's
// and are never copied: a sweep gives the same two query texts for every
// address, and only the destination changes from message to message.
class BatchDatagramSender
{
public:
    // Messages handed to the kernel per system call.
    static constexpr int MaxBatch = 64;

    BatchDatagramSender();
    ~BatchDatagramSender();
    Q_DISABLE_COPY(BatchDatagramSender)

    // Queues one datagram for send(); false when MaxBatch are queued. The
    // payload must live until send() returns.
    bool append(quint32 ipv4, quint16 port, const QByteArray &payload);
    int queued() const { return count; }
    // The destination of the i-th datagram queued (host byte order).
    quint32 queuedAddress(int i) const;
    void clear() { count = 0; }

    // Sends the queued datagrams on descriptor, in order, without blocking.
    // Returns how many the kernel took (those are gone from the queue; the
    // rest stay queued). *errorNumber is 0 when all went, otherwise the errno
    // that stopped the first one left (EAGAIN or ENOBUFS: the send queue is
    // full, try again later).
    int send(int descriptor, int *errorNumber);

private:
    std::vector<mmsghdr> headers;
    std::vector<iovec> vectors;
    std::vector<sockaddr_in> addresses;
    int count = 0;
};

#endif // BATCHDATAGRAMSENDER_H
