#include "logrepeatlimiter.h"

#include "applog.h"

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

bool LogRepeatLimiter::admitLine(qint64 nowMs, const char *name)
{
    int held = 0;
    if (!admit(nowMs, &held))
        return false;
    if (held > 0)
        appLog(LogSystem::LogMajorMsg, "\"%s\" repeated %d more times.", name, held);
    return true;
}
