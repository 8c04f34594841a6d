#ifndef JSONLINESPROCESS_H
#define JSONLINESPROCESS_H

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

// A child process that reports what happens as one JSON object per line on
// its standard output (camsim, the Node.js channel client). The objects
// arrive through the event loop; each names itself in its "event" member.
class JsonLinesProcess : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(JsonLinesProcess)

public:
    // A line longer than this is no event of ours: it is dropped with a warning.
    static constexpr int MaxLineBytes = 1 << 20;

    explicit JsonLinesProcess(QObject *parent = nullptr);
    ~JsonLinesProcess() override;

    QList<QJsonObject> events() const { return m_events; }
    // The events with "event" equal to name, and (when given) key equal to value.
    QList<QJsonObject> events(const QString &name, const QString &key = QString(),
                              const QString &value = QString()) const;
    int count(const QString &name) const { return events(name).size(); }
    void clearEvents() { m_events.clear(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Standard error so far, when it is kept apart (see keepErrorOutput).
    QString errorOutput() const { return m_stderr; }

    // SIGTERM, then SIGKILL when it has not ended after graceMs; the last
    // lines it wrote are still read.
    void stop(int graceMs = 10000);

protected:
    QProcess &process() { return m_process; }
    // Collects standard error for errorOutput() instead of passing it on.
    void keepErrorOutput();
    // Forgets earlier events and unread output, for a fresh start.
    void reset();

private slots:
    void readOutput();

private:
    QProcess m_process;
    QByteArray m_pending;
    QList<QJsonObject> m_events;
    QString m_stderr;
};

#endif // JSONLINESPROCESS_H
