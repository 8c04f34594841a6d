#ifndef LOGTESTSUPPORT_H
#define LOGTESTSUPPORT_H

#include "logsystem.h"
#include "syslogger.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Points HOME and the XDG folders at a temporary folder so that nothing a
// test does (Documents, settings, caches) reaches the real home.
inline void isolateHome(const QString &home)
{
    const QByteArray path = QFile::encodeName(home);
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    QDir(home).mkpath(QStringLiteral("Documents"));
}

struct RecordedLine
{
    int moduleId;
    LogSystem::LogLevel level;
    QString message;
};

// Keeps every call the log system makes, for the assertions of a test.
class RecordingLogger : public SysLogger
{
public:
    explicit RecordingLogger(QString folder = QString()) : folder(std::move(folder)) {}

    QList<RecordedLine> lines;
    QList<QPair<QString, int>> registrations;
    int starts = 0;
    int stops = 0;
    QString folder;

    QStringList messages() const
    {
        QStringList result;
        for (const RecordedLine &line : lines)
            result << line.message;
        return result;
    }
    QStringList modulesSeenByLogger() const { return getRegisteredModules(); }

protected:
    void moduleRegistered(QString name, int id) override { registrations.append({name, id}); }
    void start() override { ++starts; }
    void stop() override { ++stops; }
    void log(int moduleId, LogSystem::LogLevel level, QString message) override
    {
        lines.append({moduleId, level, message});
    }
    QString getLogPath() override { return folder; }
    QString getCrashRecordFile() override { return folder.isEmpty() ? QString() : folder + QStringLiteral("/crash"); }
};

#endif // LOGTESTSUPPORT_H
