#ifndef LOGREPEATLIMITER_H
#define LOGREPEATLIMITER_H

#include <QtGlobal>

// For a log line that input from outside can repeat without end (a refusal
// datagram, a page's status request): the first of each second is written,
// the others only counted, and the count comes out as its own line before
// the next one written or when the caller's context ends. One limiter per
// kind of line.
class LogRepeatLimiter
{
public:
    static constexpr qint64 WindowMs = 1000;

    // True when the line is to be written at nowMs. *held then says how many
    // were held back since the last written one (0 most of the time).
    bool admit(qint64 nowMs, int *held);
    // The same, writing the count held back first (through appLog, as
    // "\"<name>\" repeated N more times."); true when the line itself is to
    // be written now.
    bool admitLine(qint64 nowMs, const char *name);
    // At the end of the caller's context (a search, a client): the count
    // held back so far, which the caller writes; the next line is written.
    int finish();

private:
    qint64 lastWrittenMs = 0;
    bool written = false;
    int heldBack = 0;
};

#endif // LOGREPEATLIMITER_H
