#include "logrepeatlimiter.h"

bool LogRepeatLimiter::admit(qint64 nowMs, int *held)
{
    if (written && nowMs - lastWrittenMs < WindowMs && nowMs >= lastWrittenMs) {
        ++heldBack;
        return false;
    }
    written = true;
    lastWrittenMs = nowMs;
    *held = heldBack;
    heldBack = 0;
    return true;
}

int LogRepeatLimiter::finish()
{
    const int held = heldBack;
    heldBack = 0;
    written = false;
    return held;
}
