#ifndef EVENTLOG_H
#define EVENTLOG_H

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

// Writes one JSON object per line on stdout, flushed at once, so a test that
// reads the simulator's output sees each event as it happens. Every event
// carries "t" (milliseconds since the simulator started, monotonic, with
// microsecond decimals) and "wall" (milliseconds since the epoch).
class EventLog
{
public:
    EventLog();

    void write(const QString &event, QJsonObject fields = QJsonObject()) const;
    double elapsedMs() const;

private:
    QElapsedTimer m_clock;
};

#endif // EVENTLOG_H
