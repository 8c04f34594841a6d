#ifndef LOGSYSTEM_H
#define LOGSYSTEM_H

#include "corvane_global.h"

#include <QMutex>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdarg>
#include <cstdint>

class CrashDialogLauncher;
class SysLogger;

// Process-wide log switchboard: modules register a name once, every call is
// filtered by level and module mask, formatted printf-style and handed to the
// one installed logger. It also carries the crash decision and what the crash
// dialog shows; the dialog itself comes from a registered CrashDialogLauncher.
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

    // True when a line at this level can be written at all: logging has
    // started and the level is within the threshold. One relaxed load and a
    // compare, so that a call the threshold drops costs next to nothing.
    static bool levelEnabled(LogLevel level) noexcept
    {
        return unsigned(level) < unsigned(levelGate.load(std::memory_order_relaxed));
    }

    // The format is printf-style UTF-8 text; pass strings as const char *
    // (qPrintable), never as QString. The level is checked inline, before
    // anything is built for the line.
    template <typename... Args>
    void log(int moduleId, LogLevel level, const QString &format, Args... args)
    {
        if (levelEnabled(level))
            logWithFormat(&format, nullptr, moduleId, level, args...);
    }
    // The same with the format as UTF-8 text (a string literal).
    template <typename... Args>
    void log(int moduleId, LogLevel level, const char *format, Args... args)
    {
        if (levelEnabled(level))
            logWithFormat(nullptr, format, moduleId, level, args...);
    }
    void log(int moduleId, LogLevel level, QString format, va_list args);

    void setAutoRestart(bool autoRestart);
    void setWindowTitle(QString title);
    void addFolderToZip(QString zipFolderName, QString folderPath);

    // The launcher that shows the crash dialog (null: none). It is told the
    // dialog's settings at once and after every change.
    static void setCrashDialogLauncher(CrashDialogLauncher *launcher);

    // Shows the crash dialog in this process through the launcher.
    static void showCrashHandleDialog(bool modal);
    // The crash decision, made inside a fatal-signal handler with
    // async-signal-safe calls only. True: the caller starts the program
    // again. False: no restart; when a dialog was due, the launcher has
    // started it (startFromCrash) for this process.
    static bool handlerCrash();

    // Display name written into every log line ("MAJOR MSG", ...); empty for
    // values outside 0..7.
    static QString levelName(int level);

private:
    friend class CrashDialogLauncher;
    friend class SysLogger;
    friend class LogDiagnoseEntity;

    // A launcher being destroyed unregisters itself.
    static void forgetCrashDialogLauncher(CrashDialogLauncher *launcher);

    LogSystem();
    Q_DISABLE_COPY(LogSystem)

    // Called by a logger that is being destroyed while still installed, so
    // that no later line is handed to a dead object.
    void detachLogger(SysLogger *logger);

    // The rest of a call that passed levelEnabled(). Exactly one of the two
    // formats is given; the last named parameter is a plain int so that
    // va_start is well defined.
    void logWithFormat(const QString *format, const char *utf8Format, int moduleId, int level, ...);
    void logv(const QString *format, const char *utf8Format, int moduleId, LogLevel level, va_list args);
    bool moduleEnabled(int moduleId) const;
    // Recomputes levelGate from started and logLevel; configLock held.
    void updateLevelGate();

    QMutex configLock;
    QRecursiveMutex loggerLock;
    QStringList registeredModules;
    // Written under configLock, read without it on the path of every line.
    std::atomic<int32_t> lastModuleId {-1};
    // Written under both locks; the path of a line reads them under
    // loggerLock alone.
    SysLogger *currentLogger = nullptr;
    bool started = false;
    int32_t logLevel = LogMajorWarning; // configLock
    std::atomic<uint32_t> moduleMask[8];
    bool inLogger = false;
    // 0 while stopped, else logLevel + 1: levelEnabled() compares with it
    // alone. There is one log system per process, hence static.
    static std::atomic<int> levelGate;
    // The logger a diagnose controller will put back on release. Kept here,
    // under configLock, so that a logger deleted in the meantime is
    // forgotten instead of coming back as a dangling pointer.
    SysLogger *diagnoseSavedLogger = nullptr;
};

#endif // LOGSYSTEM_H
