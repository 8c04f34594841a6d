#include "logsystem.h"

#include "crashdialoglauncher.h"
#include "logmessageformat.h"
#include "syslogger.h"

#include <QFile>
#include <QList>
#include <QMap>
#include <QMutexLocker>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Library-wide crash state. The crash decision may run at any moment until
// the process ends, inside a fatal-signal handler, where it can take no lock
// and allocate nothing: what it reads is atomic or set up in advance.
QString crashRecordFile; // configLock
std::atomic<bool> crashAutoRestart {true};
std::atomic<CrashDialogLauncher *> crashLauncher {nullptr};
// The crash record's path as bytes for open(2). A new path is added, an old
// one never freed: a crash on another thread may still be reading it.
std::atomic<const char *> crashRecordPath {nullptr};

// What the crash dialog shows, and the launcher told of every change. The
// lock is held while the launcher is told, so that it hears of changes one
// at a time and in order.
QMutex crashDialogLock;
QString crashWindowTitle;                  // crashDialogLock; null: the form's own title
QMap<QString, QString> crashZipFolders;    // crashDialogLock
QList<QByteArray> crashRecordPaths;        // crashDialogLock; keeps crashRecordPath alive

// Tells the launcher, if any, the dialog's settings; crashDialogLock held.
void tellCrashDialogLauncher()
{
    if (CrashDialogLauncher *const launcher = crashLauncher.load())
        launcher->crashDialogChanged(crashWindowTitle, crashZipFolders, crashAutoRestart.load());
}

constexpr int MaxModuleId = 255;

// Marks the current thread as being inside the logger while it is alive, so
// that anything the logger does that logs again is dropped, not recursed into.
class InLoggerScope
{
public:
    explicit InLoggerScope(bool &flag) : flag(flag) { flag = true; }
    ~InLoggerScope() { flag = false; }

private:
    bool &flag;
};

// A message longer than this is formatted by Qt instead, into a QString.
constexpr int MessageBufferSize = 2048;

// QString::vasprintf reads the format bytes as UTF-8: Latin-1 bytes would
// turn every accented letter of the format into U+FFFD. The logger still
// writes Latin-1, so only what Latin-1 cannot hold becomes "?". Callers log
// the same few formats over and over: keep the last one's bytes per thread;
// comparing is cheaper than converting again.
const char *utf8Of(const QString &format)
{
    struct FormatCache
    {
        QString format;
        QByteArray utf8;
    };
    thread_local FormatCache cache;
    if (cache.format.isNull() || (!format.isSharedWith(cache.format) && format != cache.format)) {
        cache.utf8 = format.toUtf8();
        cache.format = format;
    }
    return cache.utf8.constData();
}

} // namespace

std::atomic<int> LogSystem::levelGate {0};

LogSystem::LogSystem()
{
    for (std::atomic<uint32_t> &word : moduleMask)
        word.store(0xFFFFFFFFu, std::memory_order_relaxed);

    const int id = registerLoggedModule(QStringLiteral("LogSystem"));
    {
        QMutexLocker locker(&configLock);
        moduleMask[id / 32] |= (1u << (id % 32));
    }
}

LogSystem *LogSystem::getSysLogSystem()
{
    // Never deleted: the crash hook may still need it while the process ends.
    static LogSystem *const instance = new LogSystem;
    return instance;
}

QString LogSystem::levelName(int level)
{
    switch (level) {
    case LogFatal:
        return QStringLiteral("FATAL");
    case LogCritical:
        return QStringLiteral("CRITICAL");
    case LogError:
        return QStringLiteral("ERROR");
    case LogMajorWarning:
        return QStringLiteral("MAJOR WARNING");
    case LogMajorMsg:
        return QStringLiteral("MAJOR MSG");
    case LogMinorWarning:
        return QStringLiteral("MINOR WARNING");
    case LogMinorMsg:
        return QStringLiteral("MINOR MSG");
    case LogDetailMsg:
        return QStringLiteral("DETAIL MSG");
    default:
        return QString();
    }
}

int LogSystem::registerLoggedModule(QString name)
{
    // The logger lock comes first everywhere both are taken (the loggers read
    // the module list under configLock while the log path holds loggerLock).
    // Holding it here keeps the logger alive until moduleRegistered returns.
    QMutexLocker loggerLocker(&loggerLock);
    SysLogger *logger = nullptr;
    int newId = -1;
    {
        QMutexLocker locker(&configLock);
        const int existing = registeredModules.indexOf(name);
        if (existing >= 0)
            return existing;
        if (lastModuleId.load(std::memory_order_relaxed) < MaxModuleId) {
            registeredModules.append(name);
            newId = lastModuleId.load(std::memory_order_relaxed) + 1;
            // Released after the name is in the list: a thread that sees the
            // id also finds its name.
            lastModuleId.store(newId, std::memory_order_release);
            logger = currentLogger;
        }
    }

    if (newId < 0) {
        // The name is passed as an argument so that a '%' in it stays text.
        const QString message = QStringLiteral("Too many modules in the log system, \"") + name
                + QStringLiteral("\" cannot be registered successfully!");
        log(0, LogError, QStringLiteral("%s"), message.toUtf8().constData());
        return -1;
    }

    if (logger)
        logger->moduleRegistered(name, newId);
    return newId;
}

void LogSystem::enableModuleLog(int id)
{
    if (id < 0 || id > MaxModuleId)
        return;
    QMutexLocker locker(&configLock);
    moduleMask[id / 32].fetch_or(1u << (id % 32), std::memory_order_relaxed);
}

void LogSystem::disableModuleLog(int id)
{
    if (id < 0 || id > MaxModuleId)
        return;
    QMutexLocker locker(&configLock);
    moduleMask[id / 32].fetch_and(~(1u << (id % 32)), std::memory_order_relaxed);
}

void LogSystem::enableAllLog()
{
    QMutexLocker locker(&configLock);
    for (std::atomic<uint32_t> &word : moduleMask)
        word.store(0xFFFFFFFFu, std::memory_order_relaxed);
}

void LogSystem::disableAllLog()
{
    QMutexLocker locker(&configLock);
    for (std::atomic<uint32_t> &word : moduleMask)
        word.store(0, std::memory_order_relaxed);
}

QStringList LogSystem::getRegisteredModules()
{
    // Another thread may be registering; the copy itself is only a reference
    // count, so the lock is held for a few instructions.
    QMutexLocker locker(&configLock);
    return registeredModules;
}

void LogSystem::setLogLevel(LogLevel level)
{
    if (level < LogFatal || level > LogDetailMsg)
        return;
    QMutexLocker locker(&configLock);
    logLevel = level;
    updateLevelGate();
}

void LogSystem::updateLevelGate()
{
    levelGate.store(started ? logLevel + 1 : 0, std::memory_order_relaxed);
}

bool LogSystem::moduleEnabled(int moduleId) const
{
    return moduleId >= 0 && moduleId <= lastModuleId.load(std::memory_order_acquire)
            && (moduleMask[moduleId / 32].load(std::memory_order_relaxed) & (1u << (moduleId % 32)));
}

void LogSystem::setLogger(SysLogger *logger)
{
    // Waiting for the logger lock means no other thread is still inside the
    // previous logger when the caller goes on to delete it.
    QMutexLocker loggerLocker(&loggerLock);
    {
        QMutexLocker locker(&configLock);
        if (started || logger == currentLogger)
            return;
        currentLogger = logger;
        if (!logger)
            return;
        logger->logSystem = this;
    }

    // Asked outside configLock: a logger may well look at the module list
    // (or log) while it works out its paths.
    const QString logPath = logger->getLogPath();
    const QString recordFile = logger->getCrashRecordFile();
    {
        QMutexLocker locker(&configLock);
        crashRecordFile = recordFile;
    }
    loggerLocker.unlock();

    {
        QMutexLocker locker(&crashDialogLock);
        crashRecordPaths.append(QFile::encodeName(recordFile));
        crashRecordPath.store(crashRecordPaths.constLast().constData());
    }
    addFolderToZip(QStringLiteral("Log"), logPath);
    // The previous run crashed and was restarted: offer the crash logs.
    if (!recordFile.isEmpty() && QFile::exists(recordFile))
        showCrashHandleDialog(false);
}

void LogSystem::detachLogger(SysLogger *logger)
{
    QMutexLocker loggerLocker(&loggerLock);
    QMutexLocker locker(&configLock);
    if (currentLogger == logger)
        currentLogger = nullptr;
    if (diagnoseSavedLogger == logger)
        diagnoseSavedLogger = nullptr;
}

void LogSystem::startLog()
{
    // start() runs under the logger lock so that a line from another thread
    // waits for the file to be open instead of racing with its opening.
    QMutexLocker loggerLocker(&loggerLock);
    SysLogger *logger = nullptr;
    {
        QMutexLocker locker(&configLock);
        if (started || !currentLogger)
            return;
        started = true;
        updateLevelGate();
        logger = currentLogger;
    }
    if (inLogger)
        return;
    InLoggerScope scope(inLogger);
    logger->start();
}

void LogSystem::stopLog()
{
    QMutexLocker loggerLocker(&loggerLock);
    SysLogger *logger = nullptr;
    QString recordFile;
    {
        QMutexLocker locker(&configLock);
        if (!started)
            return;
        started = false;
        updateLevelGate();
        logger = currentLogger;
        recordFile = crashRecordFile;
    }
    // A normal exit clears the crash mark.
    if (!recordFile.isEmpty() && QFile::exists(recordFile))
        QFile::remove(recordFile);
    if (logger && !inLogger) {
        InLoggerScope scope(inLogger);
        logger->stop();
    }
}

void LogSystem::logWithFormat(const QString *format, const char *utf8Format, int moduleId, int level, ...)
{
    va_list args;
    va_start(args, level);
    logv(format, utf8Format, moduleId, LogLevel(level), args);
    va_end(args);
}

void LogSystem::log(int moduleId, LogLevel level, QString format, va_list args)
{
    logv(&format, nullptr, moduleId, level, args);
}

void LogSystem::logv(const QString *format, const char *utf8Format, int moduleId, LogLevel level,
                     va_list args)
{
    // Without configLock: the level gate and the mask are atomics, and a
    // line racing with a change of either may go either way, as it would
    // with the lock.
    if (!levelEnabled(level) || !moduleEnabled(moduleId))
        return;

    const char *formatBytes = format ? utf8Of(*format) : utf8Format ? utf8Format : "";

    // The plain conversions the program uses, in ASCII, are written straight
    // into bytes: the same text as Qt gives, without a QString, an
    // allocation or a Latin-1 conversion. Anything else goes through Qt.
    char text[MessageBufferSize];
    va_list attempt;
    va_copy(attempt, args);
    const int textSize = LogMessageFormat::formatAscii(text, MessageBufferSize, formatBytes, attempt);
    va_end(attempt);
    QString message;
    if (textSize < 0) {
        // A UTF-8 format takes the way it always took, through a QString, so
        // that malformed bytes come out exactly as before.
        message = format ? QString::vasprintf(formatBytes, args)
                         : QString::vasprintf(QString::fromUtf8(formatBytes).toUtf8().constData(), args);
    }

    QMutexLocker loggerLocker(&loggerLock);
    // started and currentLogger change only under this lock too: read again,
    // stopLog or setLogger may have run while this thread was formatting,
    // and the old logger may be gone.
    if (inLogger || !started || !currentLogger)
        return;
    SysLogger *const logger = currentLogger;
    InLoggerScope scope(inLogger);
    if (textSize >= 0)
        logger->logLatin1(moduleId, level, text, textSize);
    else
        logger->log(moduleId, level, message);
}

void LogSystem::setAutoRestart(bool autoRestart)
{
    QMutexLocker locker(&crashDialogLock);
    crashAutoRestart.store(autoRestart);
    tellCrashDialogLauncher();
}

void LogSystem::setWindowTitle(QString title)
{
    QMutexLocker locker(&crashDialogLock);
    crashWindowTitle = title.isNull() ? QStringLiteral("") : title;
    tellCrashDialogLauncher();
}

void LogSystem::addFolderToZip(QString zipFolderName, QString folderPath)
{
    QMutexLocker locker(&crashDialogLock);
    crashZipFolders.insert(zipFolderName, folderPath);
    tellCrashDialogLauncher();
}

void LogSystem::setCrashDialogLauncher(CrashDialogLauncher *launcher)
{
    QMutexLocker locker(&crashDialogLock);
    crashLauncher.store(launcher);
    tellCrashDialogLauncher();
}

void LogSystem::forgetCrashDialogLauncher(CrashDialogLauncher *launcher)
{
    QMutexLocker locker(&crashDialogLock);
    crashLauncher.compare_exchange_strong(launcher, nullptr);
}

void LogSystem::showCrashHandleDialog(bool modal)
{
    // Not under crashDialogLock: a modal dialog runs an event loop, in which
    // anything may change the settings.
    if (CrashDialogLauncher *const launcher = crashLauncher.load())
        launcher->showDialog(modal);
}

bool LogSystem::handlerCrash()
{
    // Without a dialog there is nothing to decide with; never restart then,
    // a restart loop is worse than a missing crash report.
    CrashDialogLauncher *const launcher = crashLauncher.load();
    if (!launcher)
        return false;

    const int savedErrno = errno;
    bool restart = false;
    if (crashAutoRestart.load()) {
        const char *const record = crashRecordPath.load();
        if (!record || !*record || ::access(record, F_OK) != 0) {
            // Restart only when the mark could be written: without it the next
            // crash would restart again, and again.
            // Like the log files beside it: the owner's alone.
            const int fd =
                    record && *record ? ::open(record, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600) : -1;
            if (fd >= 0) {
                ::close(fd);
                restart = true;
            }
        } else {
            ::unlink(record);
        }
    }
    if (!restart)
        launcher->startFromCrash();
    errno = savedErrno;
    return restart;
}
