#include "logsystem.h"

#include "errorhandledialog.h"
#include "syslogger.h"

#include <QApplication>
#include <QFile>
#include <QMutexLocker>

namespace {

// Library-wide crash state. The dialog is created with the singleton and is
// never deleted; the crash handler may run at any moment until process end.
QString crashRecordFile;
ErrorHandleDialog *crashDialog = nullptr;

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

} // namespace

LogSystem::LogSystem()
{
    for (uint32_t &word : moduleMask)
        word = 0xFFFFFFFFu;

    const int id = registerLoggedModule(QStringLiteral("LogSystem"));
    {
        QMutexLocker locker(&configLock);
        moduleMask[id / 32] |= (1u << (id % 32));
    }

    // A widget needs a QApplication; a tool that only logs (no GUI) still gets
    // a working log system, merely without the crash dialog.
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        crashDialog = new ErrorHandleDialog(nullptr);
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
        if (lastModuleId < MaxModuleId) {
            registeredModules.append(name);
            newId = ++lastModuleId;
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
    moduleMask[id / 32] |= (1u << (id % 32));
}

void LogSystem::disableModuleLog(int id)
{
    if (id < 0 || id > MaxModuleId)
        return;
    QMutexLocker locker(&configLock);
    moduleMask[id / 32] &= ~(1u << (id % 32));
}

void LogSystem::enableAllLog()
{
    QMutexLocker locker(&configLock);
    for (uint32_t &word : moduleMask)
        word = 0xFFFFFFFFu;
}

void LogSystem::disableAllLog()
{
    QMutexLocker locker(&configLock);
    for (uint32_t &word : moduleMask)
        word = 0;
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

    if (crashDialog) {
        crashDialog->addFolderToZip(QStringLiteral("Log"), logPath);
        // The previous run crashed and was restarted: offer the crash logs.
        if (!recordFile.isEmpty() && QFile::exists(recordFile)) {
            crashDialog->setModal(false);
            crashDialog->show();
        }
    }
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

void LogSystem::log(int moduleId, LogLevel level, QString format, ...)
{
    va_list args;
    va_start(args, format);
    log(moduleId, level, format, args);
    va_end(args);
}

void LogSystem::log(int moduleId, LogLevel level, QString format, va_list args)
{
    {
        QMutexLocker locker(&configLock);
        if (!started || moduleId < 0 || moduleId > lastModuleId || level < 0 || level > logLevel
            || !(moduleMask[moduleId / 32] & (1u << (moduleId % 32))))
            return;
    }

    // QString::vasprintf reads the format bytes as UTF-8: Latin-1 bytes
    // would turn every accented letter of the format into U+FFFD. The logger
    // still writes Latin-1, so only what Latin-1 cannot hold becomes "?".
    // Callers log the same few formats over and over: keep the last one's
    // bytes per thread; comparing is cheaper than converting again.
    thread_local QString lastFormat;
    thread_local QByteArray lastUtf8Format;
    if (format != lastFormat || lastFormat.isNull()) {
        lastUtf8Format = format.toUtf8();
        lastFormat = format;
    }
    const QString message = QString::vasprintf(lastUtf8Format.constData(), args);

    QMutexLocker loggerLocker(&loggerLock);
    if (inLogger)
        return;
    SysLogger *logger = nullptr;
    {
        // Read again under the logger lock: stopLog or setLogger may have run
        // while this thread was formatting, and the old logger may be gone.
        QMutexLocker locker(&configLock);
        if (!started)
            return;
        logger = currentLogger;
    }
    if (!logger)
        return;
    InLoggerScope scope(inLogger);
    logger->log(moduleId, level, message);
}

void LogSystem::setAutoRestart(bool autoRestart)
{
    if (crashDialog)
        crashDialog->setAutoRestart(autoRestart);
}

void LogSystem::setWindowTitle(QString title)
{
    if (crashDialog)
        crashDialog->setWindowTitle(title);
}

void LogSystem::addFolderToZip(QString zipFolderName, QString folderPath)
{
    if (crashDialog)
        crashDialog->addFolderToZip(zipFolderName, folderPath);
}

void LogSystem::showCrashHandleDialog(bool modal)
{
    if (!crashDialog)
        return;
    if (modal) {
        // Already open non-modally (offered at start-up): reopen it modally,
        // exec() on a visible dialog would not block the rest of the program.
        if (crashDialog->isVisible() && !crashDialog->isModal())
            crashDialog->hide();
        crashDialog->exec();
    } else {
        crashDialog->setModal(false);
        crashDialog->show();
    }
}

bool LogSystem::handlerCrash()
{
    // Without the dialog there is nothing to decide with; never restart then,
    // a restart loop is worse than a missing crash report.
    if (!crashDialog)
        return false;

    if (crashDialog->autoRestart()) {
        QFile record(crashRecordFile);
        if (!record.exists()) {
            // Restart only when the mark could be written: without it the next
            // crash would restart again, and again.
            if (!crashRecordFile.isEmpty() && record.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                record.close();
                return true;
            }
        } else {
            record.remove();
        }
    }

    showCrashHandleDialog(true);
    return false;
}
