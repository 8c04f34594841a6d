#include "logdiagnoseentity.h"

#include "syslogger.h"

#include <QMutexLocker>
#include <QRecursiveMutex>

#include <algorithm>
#include <iterator>

namespace {

constexpr int maskWords = 8;
constexpr int moduleCount = maskWords * 32;

// One controller per process. Never deleted, like the log system itself: an
// entity with static storage may release control while the process ends.
struct DiagnoseState
{
    QRecursiveMutex controlLock;
    const LogDiagnoseEntity *controller = nullptr;
    LogSystem::LogLevel savedLevel = LogSystem::LogMajorWarning;
    uint32_t savedMask[maskWords] = {};
};

DiagnoseState &state()
{
    static DiagnoseState *const instance = new DiagnoseState;
    return *instance;
}

} // namespace

LogDiagnoseEntity::LogDiagnoseEntity(const LogDiagnoseEntity &)
{
}

LogDiagnoseEntity &LogDiagnoseEntity::operator=(const LogDiagnoseEntity &)
{
    return *this;
}

LogDiagnoseEntity::~LogDiagnoseEntity()
{
    releaseLogControl();
}

int LogDiagnoseEntity::requestLogControl()
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller == this)
        return 0;
    if (s.controller)
        return -1;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    {
        QMutexLocker config(&sys->configLock);
        sys->diagnoseSavedLogger = sys->currentLogger;
        s.savedLevel = LogSystem::LogLevel(sys->logLevel);
        std::copy(std::begin(sys->moduleMask), std::end(sys->moduleMask), s.savedMask);
    }
    s.controller = this;
    sys->log(0, LogSystem::LogMajorMsg, QStringLiteral("Global log system diagnose control is granted!"));
    return 0;
}

void LogDiagnoseEntity::releaseLogControl()
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this)
        return;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    {
        // The logger lock first, as the log system takes them: once it is
        // held no other thread is inside the logger that is being replaced.
        QMutexLocker loggerLocker(&sys->loggerLock);
        QMutexLocker config(&sys->configLock);
        sys->currentLogger = sys->diagnoseSavedLogger;
        sys->diagnoseSavedLogger = nullptr;
        sys->logLevel = s.savedLevel;
        sys->updateLevelGate();
        std::copy(std::begin(s.savedMask), std::end(s.savedMask), sys->moduleMask);
    }
    s.controller = nullptr;
    sys->log(0, LogSystem::LogMajorMsg, QStringLiteral("Global log system diagnose control is released!"));
}

int LogDiagnoseEntity::redirectLogger(SysLogger *logger)
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this)
        return -1;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    // Still written by the logger that is being replaced.
    sys->log(0, LogSystem::LogMajorMsg, QStringLiteral("System Logger is redirected!"));
    QMutexLocker loggerLocker(&sys->loggerLock);
    QMutexLocker config(&sys->configLock);
    sys->currentLogger = logger;
    return 0;
}

int LogDiagnoseEntity::restoreLogger()
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this)
        return -1;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    {
        QMutexLocker loggerLocker(&sys->loggerLock);
        QMutexLocker config(&sys->configLock);
        sys->currentLogger = sys->diagnoseSavedLogger;
    }
    sys->log(0, LogSystem::LogMajorMsg, QStringLiteral("System Logger is restored!"));
    return 0;
}

int LogDiagnoseEntity::setLogLevel(LogSystem::LogLevel level)
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this)
        return -1;
    // The loggers look the level's name up in an eight-entry table.
    if (level < LogSystem::LogFatal || level > LogSystem::LogDetailMsg)
        return -1;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    QMutexLocker config(&sys->configLock);
    sys->logLevel = level;
    sys->updateLevelGate();
    return 0;
}

int LogDiagnoseEntity::setLogModuleMask(const uint32_t mask[8])
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this || !mask)
        return -1;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    QMutexLocker config(&sys->configLock);
    std::copy(mask, mask + maskWords, sys->moduleMask);
    return 0;
}

int LogDiagnoseEntity::enableModuleLog(int moduleId)
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this || moduleId < 0 || moduleId >= moduleCount)
        return -1;
    LogSystem::getSysLogSystem()->enableModuleLog(moduleId);
    return 0;
}

int LogDiagnoseEntity::disableModuleLog(int moduleId)
{
    DiagnoseState &s = state();
    QMutexLocker control(&s.controlLock);
    if (s.controller != this || moduleId < 0 || moduleId >= moduleCount)
        return -1;
    LogSystem::getSysLogSystem()->disableModuleLog(moduleId);
    return 0;
}

LogSystem::LogLevel LogDiagnoseEntity::getLogLevel() const
{
    LogSystem *const sys = LogSystem::getSysLogSystem();
    QMutexLocker config(&sys->configLock);
    return LogSystem::LogLevel(sys->logLevel);
}

void LogDiagnoseEntity::getLogModuleMask(uint32_t mask[8]) const
{
    if (!mask)
        return;
    LogSystem *const sys = LogSystem::getSysLogSystem();
    QMutexLocker config(&sys->configLock);
    for (int i = 0; i < maskWords; ++i)
        mask[i] = sys->moduleMask[i];
}

QStringList LogDiagnoseEntity::getRegisteredModules() const
{
    return LogSystem::getSysLogSystem()->getRegisteredModules();
}
