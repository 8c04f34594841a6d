#ifndef SEGMENTPOLL_H
#define SEGMENTPOLL_H

#include <QObject>
#include <QString>
#include <QTimer>

// The running program's side of the session segment (see SingleInstance):
// once a second it takes the command another process left there. A second
// start leaves "Show_Normal_UI", a script or an installer "Close_Program".
class SegmentPoll : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SegmentPoll)

public:
    static constexpr int IntervalMs = 1000;

    enum Command {
        NoCommand,
        ShowWindow,    // "Show_Normal_UI"
        CloseProgram   // "Close_Program"
    };

    explicit SegmentPoll(const QString &segmentKey, QObject *parent = nullptr);

    // Reads and clears the segment's command; NoCommand when there is none
    // or the segment cannot be attached.
    Command takeCommand() const;

signals:
    // Once per interval: time to call takeCommand().
    void due();

private:
    const QString key;
    QTimer timer;
};

#endif // SEGMENTPOLL_H
