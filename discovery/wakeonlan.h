#ifndef WAKEONLAN_H
#define WAKEONLAN_H

#include <QByteArray>
#include <QList>
#include <QHostAddress>
#include <QString>

// The Wake-on-LAN magic packet and its sending schedule, free of I/O so the
// program, the camera simulator and the tests share one layout.
class WakeOnLan
{
public:
    static constexpr quint16 Port = 33333;
    static constexpr int Bursts = 3;
    static constexpr int PassesPerBurst = 5;
    static constexpr int TotalPasses = Bursts * PassesPerBurst;
    static constexpr int PassGapMs = 300;    // after every pass
    static constexpr int BurstGapMs = 2000;  // after every burst, on top of the pass gap
    static constexpr int PacketSize = 102;   // for a well-formed MAC

    // 6 bytes 0xFF, then 16 repetitions of the MAC's bytes. The MAC text is
    // split at ':' keeping empty parts; each part is read as a hexadecimal
    // number (its leading hex digits, 0 if none) truncated to one byte. A
    // well-formed MAC gives the standard 102-byte packet.
    static QByteArray buildMagicPacket(const QString &mac);
    // True for exactly six two-digit hex groups joined by ':' (either case),
    // the only MAC text a packet is built from for a caller outside.
    static bool isMacText(const QString &text);

    // Milliseconds to wait after pass number passIndex (0-based, 0..14).
    static int delayAfterPass(int passIndex);

    // Recognises a magic packet and returns the MAC it wakes as
    // "xx:xx:xx:xx:xx:xx" (lower case); empty when it is not a 102-byte
    // magic packet. Used by the camera simulator.
    static QString macOfMagicPacket(const QByteArray &packet);

    // The broadcast address of every address entry of every interface whose
    // broadcast is not null, whose IP is IPv4 and not 127.0.0.1.
    static QList<QHostAddress> broadcastAddresses();
};

#endif // WAKEONLAN_H
