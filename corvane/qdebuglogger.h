#ifndef QDEBUGLOGGER_H
#define QDEBUGLOGGER_H

#include "corvane_global.h"
#include "syslogger.h"

#include <QString>

// Formats the same lines as the file loggers and hands them to Qt's debug
// output instead of a file.
class CORVANE_EXPORT QDebugLogger : public SysLogger
{
public:
    QDebugLogger();
    QDebugLogger(const QDebugLogger &other) = default;
    QDebugLogger &operator=(const QDebugLogger &other) = default;
    ~QDebugLogger() override;

protected:
    void moduleRegistered(QString name, int id) override;
    void start() override;
    void stop() override;
    void log(int moduleId, LogSystem::LogLevel level, QString message) override;
    QString getLogPath() override;
    QString getCrashRecordFile() override;
};

#endif // QDEBUGLOGGER_H
