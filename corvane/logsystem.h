#ifndef LOGSYSTEM_H
#define LOGSYSTEM_H

#include "corvane_global.h"

#include <QMutex>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>

#include <cstdarg>
#include <cstdint>

class SysLogger;
class ErrorHandleDialog;

// Process-wide log switchboard: modules register a name once, every call is
// filtered by level and module mask, formatted printf-style and handed to the
// one installed logger. It also carries the crash decision and its dialog.
class CORVANE_EXPORT LogSystem
{
public:
    enum LogLevel {
        LogFatal = 0,
        LogCritical = 1,
        LogError = 2,
        LogMajorWarning = 3,
        LogMajorMsg = 4,
        LogMinorWarning = 5,
        LogMinorMsg = 6,
        LogDetailMsg = 7
    };

    static LogSystem *getSysLogSystem();

    int registerLoggedModule(QString name);
    void enableModuleLog(int id);
    void disableModuleLog(int id);
    void enableAllLog();
    void disableAllLog();
    QStringList getRegisteredModules();
    void setLogLevel(LogLevel level);
    void setLogger(SysLogger *logger);
    void startLog();
    void stopLog();

    // The format is read as Latin-1 printf-style text; pass strings as
    // const char * (qPrintable), never as QString.
    void log(int moduleId, LogLevel level, QString format, ...);
    void log(int moduleId, LogLevel level, QString format, va_list args);

    void setAutoRestart(bool autoRestart);
    void setWindowTitle(QString title);
    void addFolderToZip(QString zipFolderName, QString folderPath);

    static void showCrashHandleDialog(bool modal);
    static bool handlerCrash();

    // Display name written into every log line ("MAJOR MSG", ...); empty for
    // values outside 0..7.
    static QString levelName(int level);

private:
    friend class SysLogger;
    friend class LogDiagnoseEntity;

    LogSystem();
    Q_DISABLE_COPY(LogSystem)

    // Called by a logger that is being destroyed while still installed, so
    // that no later line is handed to a dead object.
    void detachLogger(SysLogger *logger);

    QMutex configLock;
    QRecursiveMutex loggerLock;
    QStringList registeredModules;
    int32_t lastModuleId = -1;
    SysLogger *currentLogger = nullptr;
    int32_t logLevel = LogMajorWarning;
    bool started = false;
    uint32_t moduleMask[8];
    bool inLogger = false;
    // The logger a diagnose controller will put back on release. Kept here,
    // under configLock, so that a logger deleted in the meantime is
    // forgotten instead of coming back as a dangling pointer.
    SysLogger *diagnoseSavedLogger = nullptr;
};

#endif // LOGSYSTEM_H
