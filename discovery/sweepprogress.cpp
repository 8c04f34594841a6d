#include "sweepprogress.h"

#include <algorithm>

int SweepProgress::pass() const
{
    const quint64 perPass = plan.addresses();
    if (perPass == 0)
        return SweepPlan::Passes;
    return int(std::min<quint64>(probesSent() / perPass + 1, SweepPlan::Passes));
}

qint64 SweepProgress::timeLeftMs() const
{
    if (finished)
        return 0;
    const qint64 window = plan.replyWindowMs();
    if (sendingEndedMs >= 0)
        return std::max<qint64>(0, sendingEndedMs + window - elapsedMs);
    const quint64 left = plan.datagrams() - std::min(datagramsSent, plan.datagrams());
    return qint64(left * 1000 / quint64(plan.ratePps())) + window;
}

double SweepProgress::fraction() const
{
    if (finished)
        return 1.0;
    const qint64 total = elapsedMs + timeLeftMs();
    return total <= 0 ? 0.0 : std::clamp(double(elapsedMs) / double(total), 0.0, 1.0);
}
