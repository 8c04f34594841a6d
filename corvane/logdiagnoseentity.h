#ifndef LOGDIAGNOSEENTITY_H
#define LOGDIAGNOSEENTITY_H

#include "corvane_global.h"
#include "logsystem.h"

#include <QStringList>

#include <cstdint>

class SysLogger;

// Lets one diagnostic client at a time take over the process-wide log system
// (threshold, module mask, logger) and later put back exactly what was there
// when it took control. The entity's address is its identity: only the entity
// that holds control may change anything, every other one gets -1.
//
// Results: 0 done, -1 refused (no control, or a value the log system cannot
// use). Any thread may call.
class CORVANE_EXPORT LogDiagnoseEntity
{
public:
    LogDiagnoseEntity() = default;
    // A copy is a new client without control; assigning never hands control
    // over, so it changes nothing.
    LogDiagnoseEntity(const LogDiagnoseEntity &other);
    LogDiagnoseEntity &operator=(const LogDiagnoseEntity &other);
    // Gives control back if this entity holds it.
    ~LogDiagnoseEntity();

    int requestLogControl();
    // Puts back the logger, threshold and mask saved at the request; does
    // nothing for an entity without control.
    void releaseLogControl();

    // The logger is used as it is: it is not started and not attached to the
    // log system. Once restoreLogger or releaseLogControl has returned, no
    // thread is inside it any more and the caller may delete it; it must not
    // be deleted while it is still the current logger.
    int redirectLogger(SysLogger *logger);
    int restoreLogger();

    // Only LogFatal to LogDetailMsg are thresholds; anything else is refused.
    int setLogLevel(LogSystem::LogLevel level);
    int setLogModuleMask(const uint32_t mask[8]);
    // Module ids outside 0 to 255 are refused.
    int enableModuleLog(int moduleId);
    int disableModuleLog(int moduleId);

    LogSystem::LogLevel getLogLevel() const;
    void getLogModuleMask(uint32_t mask[8]) const;
    QStringList getRegisteredModules() const;
};

#endif // LOGDIAGNOSEENTITY_H
