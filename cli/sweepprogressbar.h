#ifndef SWEEPPROGRESSBAR_H
#define SWEEPPROGRESSBAR_H

#include "sweepprogress.h"

#include <QString>

// A sweep's progress as one line redrawn in place on a terminal: a bar, the
// probes sent, the pass, the cameras found and the time left. It writes only
// when its descriptor (standard error by default) is a terminal, so a script
// reading the tool's output, or a log file, never sees it.
class SweepProgressBar
{
public:
    explicit SweepProgressBar(int descriptor = 2);

    bool isEnabled() const { return enabled; }
    // Redraws the line (nothing when not enabled).
    void show(const SweepProgress &progress);
    // Ends the drawn line, so what follows starts on a line of its own.
    void finish();

    // The line for a terminal of width columns, without control characters:
    // "[#######.............]  35%  45872/131068 probes  pass 1/2  12 cameras  18 s left"
    // Narrow terminals lose the bar first, then the probes.
    static QString line(const SweepProgress &progress, int width);

private:
    int columns() const;

    const int descriptor;
    const bool enabled;
    bool drawn = false;
};

#endif // SWEEPPROGRESSBAR_H
