#ifndef APPLOG_H
#define APPLOG_H

#include "logsystem.h"

#include <QString>

#include <atomic>

namespace AppLogModule {

constexpr int Unregistered = -2;
// The program's module id once the first call registered it; -1 when the
// log system refused the module, and every call is then a no-op.
extern std::atomic<int> id;
int registerOnce();

inline int current()
{
    const int known = id.load(std::memory_order_relaxed);
    return known != Unregistered ? known : registerOnce();
}

} // namespace AppLogModule

// The program's one logging function: every line of Pathmere goes through it
// under the module "Pathmere/Pathmere", registered on the first call. Pass
// strings as const char *. Inline, so that a call the level threshold drops
// costs a compare and builds no QString.
template <typename... Args>
inline void appLog(LogSystem::LogLevel level, const QString &format, Args... args)
{
    const int module = AppLogModule::current();
    if (module >= 0 && LogSystem::levelEnabled(level))
        LogSystem::getSysLogSystem()->log(module, level, format, args...);
}

// The same for a format given as UTF-8 text, which is how the program logs
// (string literals): no QString is built for it at all.
template <typename... Args>
inline void appLog(LogSystem::LogLevel level, const char *format, Args... args)
{
    const int module = AppLogModule::current();
    if (module >= 0 && LogSystem::levelEnabled(level))
        LogSystem::getSysLogSystem()->log(module, level, format, args...);
}

#endif // APPLOG_H
