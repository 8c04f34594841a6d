#ifndef INBOUNDDATAGRAM_H
#define INBOUNDDATAGRAM_H

#include <QString>
#include <QtGlobal>

// The datagram a firewall is asked about: a camera's answer coming in. What
// is not known (the camera's address and source port before a search) stays
// 0, and a rule that depends on it cannot be decided.
struct InboundDatagram
{
    quint16 port = 0;          // destination port
    QString interfaceName;     // the adapter it arrives on
    bool broadcast = false;    // sent to 255.255.255.255, else to our address
    quint32 destination = 0;   // our address for a unicast answer; 0: unknown
    quint32 source = 0;        // the camera's address; 0: unknown
    quint16 sourcePort = 0;    // 0: unknown

    // The address the datagram is sent to, as far as known.
    quint32 destinationAddress() const { return broadcast ? 0xffffffffu : destination; }
    // "UDP to port 8000 on lan0 by broadcast"
    QString describe() const;
};

#endif // INBOUNDDATAGRAM_H
