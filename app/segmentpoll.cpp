#include "segmentpoll.h"

#include "applog.h"
#include "sessionsegment.h"
#include "singleinstance.h"

SegmentPoll::SegmentPoll(const QString &segmentKey, QObject *parent, const QString &keyFolder)
    : QObject(parent)
    , key(segmentKey)
    , folder(keyFolder)
{
    timer.setInterval(IntervalMs);
    timer.setSingleShot(false);
    connect(&timer, &QTimer::timeout, this, &SegmentPoll::due);
    timer.start();
}

SegmentPoll::Command SegmentPoll::takeCommand()
{
    SessionSegment segment(key, folder);
    const SessionSegment::Outcome outcome = segment.attach();
    if (outcome == SessionSegment::Outcome::Refused) {
        // The same refusal every second would fill the log.
        const QString refusal = segment.refusals().join(QStringLiteral("; "));
        if (refusal != lastRefusal)
            appLog(LogSystem::LogMajorMsg, "Refused shared memory: %s", qPrintable(refusal));
        lastRefusal = refusal;
        return NoCommand;
    }
    lastRefusal.clear();
    if (outcome != SessionSegment::Outcome::Attached)
        return NoCommand;
    const QByteArray command = SingleInstance::takeCommand(segment, LockTimeoutMs);
    segment.detach();
    if (command == SingleInstance::showCommand())
        return ShowWindow;
    if (command == SingleInstance::closeCommand())
        return CloseProgram;
    return NoCommand;
}
