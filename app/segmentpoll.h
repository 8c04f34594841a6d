#ifndef SEGMENTPOLL_H
#define SEGMENTPOLL_H

#include "sessionsharedmemorykey.h"

#include <QObject>
#include <QString>
#include <QTimer>

// The running program's side of the session segment (see SingleInstance):
// once a second it takes the command another process left there. A second
// start leaves "Show_Normal_UI", a script or an installer "Close_Program".
// A segment or lock that is not this user's alone is refused (see
// SessionSegment) and never read; the refusal is logged when it changes.
class SegmentPoll : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SegmentPoll)

public:
    static constexpr int IntervalMs = 1000;
    // The GUI thread waits at most this long for the segment's lock.
    static constexpr int LockTimeoutMs = 100;

    enum Command {
        NoCommand,
        ShowWindow,    // "Show_Normal_UI"
        CloseProgram   // "Close_Program"
    };

    explicit SegmentPoll(const QString &segmentKey, QObject *parent = nullptr,
                         const QString &keyFolder = SessionSharedMemoryKey::keyFolder());

    // Reads and clears the segment's command; NoCommand when there is none
    // or the segment cannot be attached or is refused.
    Command takeCommand();

signals:
    // Once per interval: time to call takeCommand().
    void due();

private:
    const QString key;
    const QString folder;
    QString lastRefusal;
    QTimer timer;
};

#endif // SEGMENTPOLL_H
