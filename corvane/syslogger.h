#ifndef SYSLOGGER_H
#define SYSLOGGER_H

#include "corvane_global.h"
#include "logsystem.h"

#include <QString>
#include <QStringList>

// Abstract receiver of the log system's formatted lines. The log system calls
// the protected operations; concrete loggers decide where the lines go.
class CORVANE_EXPORT SysLogger
{
    friend class LogSystem;

public:
    SysLogger() = default;
    SysLogger(const SysLogger &other) = default;
    SysLogger &operator=(const SysLogger &other) = default;
    virtual ~SysLogger();

protected:
    virtual void moduleRegistered(QString name, int id) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void log(int moduleId, LogSystem::LogLevel level, QString message) = 0;
    // A message the log system formatted into Latin-1 bytes itself (size
    // bytes, not terminated). Passed on to log() as a QString unless a
    // logger that writes bytes anyway takes the bytes as they are; such a
    // logger must write exactly what log() would write for the same text.
    virtual void logLatin1(int moduleId, LogSystem::LogLevel level, const char *text, int size);
    virtual QString getLogPath() = 0;
    virtual QString getCrashRecordFile() = 0;

    QStringList getRegisteredModules() const;

    LogSystem *logSystem = nullptr;
};

#endif // SYSLOGGER_H
