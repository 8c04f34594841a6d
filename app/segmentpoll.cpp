#include "segmentpoll.h"

#include "singleinstance.h"

#include <QSharedMemory>

SegmentPoll::SegmentPoll(const QString &segmentKey, QObject *parent)
    : QObject(parent)
    , key(segmentKey)
{
    timer.setInterval(IntervalMs);
    timer.setSingleShot(false);
    connect(&timer, &QTimer::timeout, this, &SegmentPoll::due);
    timer.start();
}

SegmentPoll::Command SegmentPoll::takeCommand() const
{
    QSharedMemory segment(key);
    if (!segment.attach(QSharedMemory::ReadWrite))
        return NoCommand;
    const QByteArray command = SingleInstance::takeCommand(segment);
    segment.detach();
    if (command == SingleInstance::showCommand())
        return ShowWindow;
    if (command == SingleInstance::closeCommand())
        return CloseProgram;
    return NoCommand;
}
