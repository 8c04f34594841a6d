#include "syslogger.h"

SysLogger::~SysLogger()
{
    // Deleting a logger the log system still holds would leave it a dangling
    // pointer; the program removes its logger first, this covers the rest.
    if (logSystem)
        logSystem->detachLogger(this);
}

QStringList SysLogger::getRegisteredModules() const
{
    if (!logSystem)
        return QStringList();
    return logSystem->getRegisteredModules();
}

void SysLogger::logLatin1(int moduleId, LogSystem::LogLevel level, const char *text, int size)
{
    log(moduleId, level, QString::fromLatin1(text, size));
}
