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
// Log files may hold what the network sent: a file is created readable by
// its owner only (0600), and one written before is made so when opened.
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
    // When a full file may not be followed by another (startNextFile() said
    // no and this says yes), this line ends it and later lines are dropped;
    // startNextFile() is asked again at most once a second.
    virtual bool stopsWhenFull() const { return false; }
    virtual QByteArray fullMessage() const { return QByteArray(); }

    bool append = true;
    bool isOpen = false;
    QFile *file = nullptr;

private:
    void close();
    static qint64 monotonicMs();
    // While dropping: true once a next file is open.
    bool resumeAfterFull();
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
    bool dropping = false;   // the file is full and no next one may start yet
    qint64 nextTryMs = 0;    // monotonic time of the next startNextFile() while dropping
};

#endif // FILEBASEDLOGGER_H
