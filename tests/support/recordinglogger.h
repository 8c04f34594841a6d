#ifndef RECORDINGLOGGER_H
#define RECORDINGLOGGER_H

#include "logsystem.h"
#include "syslogger.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Log capture: a logger that keeps every call the log system makes, for the
// assertions of a test. Header-only, so only suites that link Corvane use it.
struct RecordedLine
{
    int moduleId;
    LogSystem::LogLevel level;
    QString message;
};

class RecordingLogger : public SysLogger
{
public:
    explicit RecordingLogger(QString folder = QString()) : folder(std::move(folder)) {}

    QList<RecordedLine> lines;
    QList<QPair<QString, int>> registrations;
    int starts = 0;
    int stops = 0;
    QString folder;

    QStringList messages() const
    {
        QStringList result;
        for (const RecordedLine &line : lines)
            result << line.message;
        return result;
    }
    QStringList modulesSeenByLogger() const { return getRegisteredModules(); }

protected:
    void moduleRegistered(QString name, int id) override { registrations.append({name, id}); }
    void start() override { ++starts; }
    void stop() override { ++stops; }
    void log(int moduleId, LogSystem::LogLevel level, QString message) override
    {
        lines.append({moduleId, level, message});
    }
    QString getLogPath() override { return folder; }
    QString getCrashRecordFile() override { return folder.isEmpty() ? QString() : folder + QStringLiteral("/crash"); }
};

// The program's log recorded for as long as this object lives: the log
// system writes to a RecordingLogger at the level the program uses, or at
// the one given.
class LogCapture
{
public:
    explicit LogCapture(LogSystem::LogLevel level = LogSystem::LogMajorMsg)
    {
        log->setLogLevel(level);
        log->setLogger(&logger);
        log->startLog();
    }
    ~LogCapture()
    {
        log->stopLog();
        log->setLogger(nullptr);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList messages() const { return logger.messages(); }
    // Forgets what was recorded so far (a case's init).
    void clear() { logger.lines.clear(); }

private:
    LogSystem *const log = LogSystem::getSysLogSystem();
    RecordingLogger logger;
};

#endif // RECORDINGLOGGER_H
