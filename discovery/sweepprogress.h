#ifndef SWEEPPROGRESS_H
#define SWEEPPROGRESS_H

#include "sweepplan.h"

#include <QtGlobal>

// Where a sweep stands: what it sent, what it found and how long it still
// needs. The sweep fills it; a progress display only reads it.
class SweepProgress
{
public:
    SweepProgress() = default;
    explicit SweepProgress(const SweepPlan &plan) : plan(plan) {}

    SweepPlan plan;
    quint64 datagramsSent = 0;
    int cameras = 0;
    qint64 elapsedMs = 0;
    // When the last datagram went out (ms since the start); -1 while sending.
    qint64 sendingEndedMs = -1;
    bool finished = false;

    // Probes sent (an address in one pass is one probe: both queries).
    quint64 probesSent() const { return datagramsSent / SweepPlan::QueriesPerAddress; }
    quint64 probesTotal() const { return plan.addresses() * SweepPlan::Passes; }
    // 1-based pass being sent, SweepPlan::Passes once all is sent.
    int pass() const;
    // Share of the whole listening window gone, 0..1.
    double fraction() const;
    qint64 timeLeftMs() const;
};

#endif // SWEEPPROGRESS_H
