#ifndef ARPPROBE_H
#define ARPPROBE_H

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QtGlobal>

// Address-conflict probes as RFC 5227 describes them: an ARP request with a
// sender address of 0.0.0.0 for each candidate, broadcast on one interface;
// a candidate is in use when any host answers for it (or probes for it
// itself). Needs an AF_PACKET socket, that is CAP_NET_RAW; without it no
// probe is made and the result says why.
//
// The RFC's timing (three probes 1-2 s apart per address) is shortened to
// Probes sends spaced SpacingMs and one common wait, so a batch of addresses
// is checked in well under a second on a LAN.
class ArpProbe
{
public:
    static constexpr int Probes = 3;
    static constexpr int SpacingMs = 100;
    static constexpr int WaitMs = 600;
    static constexpr int MaxAddresses = 1024;

    struct Result
    {
        bool probed = false;
        QString reason;            // why no probe was made
        QSet<quint32> inUse;
        // The Ethernet addresses that answered for each address in use, as
        // "xx:xx:xx:xx:xx:xx" (a camera answering for its own address is no
        // conflict for itself).
        QMultiHash<quint32, QString> answeredBy;
    };

    // interfaceName: the interface whose subnet holds the candidates.
    static Result probe(const QString &interfaceName, const QList<quint32> &addresses, int waitMs = WaitMs);

    // The 28-byte ARP probe for target from a host with this MAC.
    static QByteArray buildProbe(const quint8 (&mac)[6], quint32 target);
    // The address a received ARP packet shows to be in use, if it is one of
    // candidates and not our own probe; 0 otherwise. senderMac, when given,
    // receives the answering host's Ethernet address for a conflict.
    static quint32 conflictIn(const QByteArray &packet, const quint8 (&ownMac)[6], const QSet<quint32> &candidates,
                              QString *senderMac = nullptr);

private:
    ArpProbe() = delete;
};

#endif // ARPPROBE_H
