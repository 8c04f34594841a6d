#ifndef FILEBASEDLOGGER_H
#define FILEBASEDLOGGER_H

#include "corvane_global.h"
#include "syslogger.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFile;

// Writes one Latin-1 line per message into a file and flushes it at once, so
// a crash loses nothing that was logged before it. Subclasses name the file.
class CORVANE_EXPORT FileBasedLogger : public SysLogger
{
public:
    explicit FileBasedLogger(bool append = true);
    // A copy takes the settings, never the open file: two loggers closing
    // the same QFile would be a double delete.
    FileBasedLogger(const FileBasedLogger &other);
    FileBasedLogger &operator=(const FileBasedLogger &other);
    ~FileBasedLogger() override;

    // The line exactly as it goes into the file, without the trailing "\n":
    // level name padded to 13, "hh:mm:ss.zzz", module name, " : ", message.
    static QString formatLine(LogSystem::LogLevel level, const QString &time,
                              const QString &moduleName, const QString &message);
    // The current local time as "hh:mm:ss.zzz".
    static QString currentTimeText();
    // "------------------- Log file started at <ISO date> -------------------\n"
    static QByteArray headerLine();

protected:
    void moduleRegistered(QString name, int id) override;
    void start() override;
    void stop() override;
    void log(int moduleId, LogSystem::LogLevel level, QString message) override;
    // Writes the same line as log() with the text; a subclass that watches
    // log() watches this one too.
    void logLatin1(int moduleId, LogSystem::LogLevel level, const char *text, int size) override;
    QString getLogPath() override;
    QString getCrashRecordFile() override;

    virtual QString getFileName() = 0;
    // A file that reaches this many bytes is closed after the line that
    // crossed it and logging continues in the file getFileName() names once
    // startNextFile() returned true. 0 (the default) sets no limit.
    virtual qint64 maxFileSize() const { return 0; }
    virtual bool startNextFile() { return false; }

    bool append = true;
    bool isOpen = false;
    QFile *file = nullptr;

private:
    void close();
    // The module name as it goes into the file.
    const QByteArray &moduleName(int moduleId);
    // Exactly one of message and latin1 is given; size is its length.
    void writeLine(int moduleId, LogSystem::LogLevel level, const QString *message, const char *latin1,
                   int size);

    // Module names seen so far, in Latin-1. Ids are handed out in order and
    // never reused, so an entry stays valid; the list is fetched again only
    // for a new id.
    QList<QByteArray> knownModules;
    LogSystem *knownModulesSource = nullptr;
    qint64 fileBytes = 0;    // size of the open file
};

#endif // FILEBASEDLOGGER_H
