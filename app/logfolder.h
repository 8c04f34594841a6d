#ifndef LOGFOLDER_H
#define LOGFOLDER_H

#include <QDateTime>
#include <QString>

// Where the program's log files live and how long they are kept.
class LogFolder
{
public:
    static constexpr int maxAgeDays = 31;

    // Documents location + "/Tolvik/Log/" + application name + "/", created
    // with its parents when missing. Logs hold what the LAN sent and the
    // cameras' names and addresses: the folders made here, and the log
    // folder itself, are for the user alone (0700).
    static QString path();

    // Creates folder and its missing parents with mode 0700 and makes
    // folder itself 0700; false when it is not there afterwards.
    static bool makePrivate(const QString &folder);

    // The pattern handed to the dated serial file logger.
    static QString logFilePattern(const QString &folder);

    // Deletes the plain files of folder whose name contains "TolvikPathmere-"
    // and whose last modification lies maxAgeDays or more calendar days before
    // now. Returns the number of files deleted.
    static int removeOldLogs(const QString &folder, const QDateTime &now);

private:
    LogFolder() = delete;
};

#endif // LOGFOLDER_H
