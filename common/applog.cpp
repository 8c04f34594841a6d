#include "applog.h"

#include <QByteArray>

#include <cstdarg>

namespace {

// Registered on the first call; -1 when the log system refused the module,
// and every call is then a no-op. A function-local static makes the first
// call safe even if two threads make it at once.
int appModuleId()
{
    static const int id =
            LogSystem::getSysLogSystem()->registerLoggedModule(QStringLiteral("Pathmere/Pathmere"));
    return id;
}

// The program logs a few dozen fixed texts over and over: keep the last one
// this thread converted and reuse it while the caller passes the same text.
// The bytes are compared, not the pointer, so a reused buffer is safe.
const QString &formatFromUtf8(const char *format)
{
    thread_local QByteArray lastBytes;
    thread_local QString lastFormat;
    if (lastBytes.isNull() || qstrcmp(lastBytes.constData(), format) != 0) {
        lastBytes = QByteArray(format ? format : "");
        lastFormat = QString::fromUtf8(lastBytes);
    }
    return lastFormat;
}

} // namespace

void appLog(LogSystem::LogLevel level, QString format, ...)
{
    const int id = appModuleId();
    if (id == -1)
        return;

    va_list args;
    va_start(args, format);
    LogSystem::getSysLogSystem()->log(id, level, format, args);
    va_end(args);
}

void appLog(LogSystem::LogLevel level, const char *format, ...)
{
    const int id = appModuleId();
    if (id == -1)
        return;

    va_list args;
    va_start(args, format);
    LogSystem::getSysLogSystem()->log(id, level, formatFromUtf8(format), args);
    va_end(args);
}
