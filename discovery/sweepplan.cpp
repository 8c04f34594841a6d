#include "sweepplan.h"

#include <QHostAddress>

#include <algorithm>

SweepPlan::SweepPlan(quint64 addresses, int ratePps, int replyWindowMs)
    : addressCount(addresses)
    , rate(std::clamp(ratePps, MinRatePps, MaxRatePps))
    , replyWindow(std::clamp(replyWindowMs, 0, MaxReplyWindowMs))
{
}

qint64 SweepPlan::sendingMs() const
{
    // Rounded up: the last datagram goes out at the end of its slot.
    return qint64((datagrams() * 1000 + quint64(rate) - 1) / quint64(rate));
}

QString SweepPlan::summary() const
{
    return QStringLiteral("%1 addresses, %2 datagrams (both queries, %3 passes) at %4 per second: about %5")
        .arg(addressCount).arg(datagrams()).arg(Passes).arg(rate).arg(durationText(durationMs()));
}

QStringList SweepPlan::rangeTexts(const Ipv4RangeSet &targets, int maxLines)
{
    QStringList lines;
    const auto &ranges = targets.ranges();
    for (const Ipv4RangeSet::Range &range : ranges) {
        if (lines.size() >= maxLines) {
            lines << QStringLiteral("... and %1 more ranges").arg(ranges.size() - size_t(maxLines));
            break;
        }
        const QString first = QHostAddress(range.first).toString();
        if (range.first == range.last) {
            lines << first;
            continue;
        }
        // A network without its own and broadcast addresses reads best as
        // the network it came from.
        const quint64 span = range.size() + 2;
        const bool power = (span & (span - 1)) == 0;
        const quint32 network = range.first - 1;
        if (power && span >= 8 && (network & quint32(span - 1)) == 0) {
            int prefix = 32;
            for (quint64 s = span; s > 1; s >>= 1)
                --prefix;
            lines << QStringLiteral("%1/%2").arg(QHostAddress(network).toString()).arg(prefix);
            continue;
        }
        lines << QStringLiteral("%1-%2").arg(first, QHostAddress(range.last).toString());
    }
    return lines;
}

QString SweepPlan::durationText(qint64 ms)
{
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return seconds % 60 ? QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60)
                            : QStringLiteral("%1 min").arg(seconds / 60);
    const qint64 minutes = (seconds + 30) / 60;
    return minutes % 60 ? QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60)
                        : QStringLiteral("%1 h").arg(minutes / 60);
}
