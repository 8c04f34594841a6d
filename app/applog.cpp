#include "applog.h"

#include <cstdarg>

void appLog(LogSystem::LogLevel level, QString format, ...)
{
    // -2: not registered yet; -1: the log system refused the module.
    static int appModuleId = -2;
    if (appModuleId == -2)
        appModuleId = LogSystem::getSysLogSystem()->registerLoggedModule(QStringLiteral("Pathmere/Pathmere"));
    if (appModuleId == -1)
        return;

    va_list args;
    va_start(args, format);
    LogSystem::getSysLogSystem()->log(appModuleId, level, format, args);
    va_end(args);
}
