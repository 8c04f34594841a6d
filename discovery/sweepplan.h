#ifndef SWEEPPLAN_H
#define SWEEPPLAN_H

#include "ipv4rangeset.h"

#include <QString>
#include <QStringList>

// What a sweep will send and how long it takes, worked out before anything
// is sent: for the progress display, for a dry run and for the question
// whether the user must confirm it.
//
// Every address gets both queries, in two passes over the whole set: a
// datagram lost in the first pass (or a router that dropped it while it was
// still resolving the camera's link address) is made up by the second. The
// listening window is the sending time plus the reply window after the last
// datagram.
class SweepPlan
{
public:
    static constexpr int Passes = 2;
    static constexpr int QueriesPerAddress = 2;
    // Datagrams per second. 10 000 datagrams of 240 bytes are about 23 Mbit/s
    // on the wire (2.5 % of a gigabit link) and 2 500 new addresses a second
    // for the site's router to resolve; a /16 then takes under half a minute.
    static constexpr int DefaultRatePps = 10000;
    static constexpr int MinRatePps = 10;
    static constexpr int MaxRatePps = 1000000;
    // After the last datagram. Cameras answer a unicast query within
    // milliseconds; this is three round trips of a slow VPN on top. An
    // address probed early has the rest of the sweep as well.
    static constexpr int DefaultReplyWindowMs = 750;
    static constexpr int MaxReplyWindowMs = 60000;
    // A sweep of more addresses than a /16 holds asks for confirmation.
    static constexpr quint64 ConfirmAbove = 65536;

    SweepPlan() = default;
    SweepPlan(quint64 addresses, int ratePps, int replyWindowMs = DefaultReplyWindowMs);

    quint64 addresses() const { return addressCount; }
    int ratePps() const { return rate; }
    int replyWindowMs() const { return replyWindow; }

    quint64 datagrams() const { return addressCount * Passes * QueriesPerAddress; }
    qint64 sendingMs() const;
    qint64 durationMs() const { return sendingMs() + replyWindow; }
    bool needsConfirmation() const { return addressCount > ConfirmAbove; }

    // "65536 addresses, 262144 datagrams (both queries, 2 passes) at 10000 per
    // second: about 28 s"
    QString summary() const;
    // The ranges in the shortest form each has (an address, A.B.C.D/N or
    // A-B), at most maxLines of them, then how many more there are.
    static QStringList rangeTexts(const Ipv4RangeSet &targets, int maxLines);
    // "450 ms", "28 s", "3 min 5 s", "1 h 52 min"
    static QString durationText(qint64 ms);

private:
    quint64 addressCount = 0;
    int rate = DefaultRatePps;
    int replyWindow = DefaultReplyWindowMs;
};

#endif // SWEEPPLAN_H
