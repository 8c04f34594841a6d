#ifndef SOURCEDSENDER_H
#define SOURCEDSENDER_H

#include <QByteArray>
#include <QHostAddress>

// Sends a UDP datagram from a wildcard-bound socket with a chosen IPv4
// source address (IP_PKTINFO's ipi_spec_dst). This is how one socket speaks
// for many cameras, each from its own address; the kernel also picks the
// outgoing interface of a limited broadcast from that source. Qt's
// QNetworkDatagram::setSender fills ipi_addr, which Linux ignores on sending,
// so it cannot be used for this.
class SourcedSender
{
public:
    // source may be null: the kernel chooses. Retries for a while when the
    // send queue is full (a fleet's burst). False when the datagram was not sent.
    static bool send(int socketDescriptor, const QByteArray &payload, const QHostAddress &destination,
                     quint16 port, const QHostAddress &source, int *errorNumber = nullptr);

private:
    SourcedSender() = delete;
};

#endif // SOURCEDSENDER_H
