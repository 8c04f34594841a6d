#include "applog.h"

#include <cstdarg>

void appLog(LogSystem::LogLevel level, QString format, ...)
{
    // Registered on the first call; -1 when the log system refused the
    // module, and every call is then a no-op. A function-local static makes
    // the first call safe even if two threads make it at once.
    static const int appModuleId =
            LogSystem::getSysLogSystem()->registerLoggedModule(QStringLiteral("Pathmere/Pathmere"));
    if (appModuleId == -1)
        return;

    va_list args;
    va_start(args, format);
    LogSystem::getSysLogSystem()->log(appModuleId, level, format, args);
    va_end(args);
}
