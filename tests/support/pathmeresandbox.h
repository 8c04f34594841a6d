#ifndef PATHMERESANDBOX_H
#define PATHMERESANDBOX_H

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

class QProcess;

// Runs the real Pathmere program the way a user would, but with HOME and the
// XDG folders in a temporary folder and a login session of its own
// (XDG_SESSION_ID), so runs never share a log folder or a segment. Every
// process started here, including the copies the program starts of itself,
// carries PATHMERE_TEST_SANDBOX=<folder> and is found and killed by that.
class PathmereSandbox
{
public:
    // How long a start of the program may take. Generous: on a loaded CI
    // machine (two cores shared with a sanitized build) a start has been
    // seen to take more than ten seconds; a passing test never waits it out.
    static constexpr int StartTimeoutMs = 45000;

    explicit PathmereSandbox(const QString &sessionId = QString());
    ~PathmereSandbox();

    bool isValid() const;
    static QString programPath();

    QString root() const;
    QString home() const;
    QString sessionId() const;
    // The shared-memory key the program uses in this sandbox's session.
    QString segmentKey() const;
    // Where the program keeps the segment's key files: its $XDG_RUNTIME_DIR
    // (a private folder of the sandbox unless a test changes it).
    QString runtimeFolder() const;
    QString logFolder() const;
    QString crashRecordFile() const;

    QProcessEnvironment environment() const;
    void setEnv(const QString &name, const QString &value);
    void unsetEnv(const QString &name);

    // Starts Pathmere with args; output goes to files in the sandbox, so the
    // copies it starts of itself keep a place to write to.
    QProcess *start(const QStringList &args = QStringList());
    // Starts Pathmere and waits until its window exists; the process id, or
    // 0 (with the log and output printed) when it never got there.
    pid_t startReady(const QStringList &args = QStringList());
    // Runs the program on the X display given (a real window) instead of offscreen.
    void useDisplay(const QString &display);
    // Records today's automatic update check as done, so no update message
    // (modal, since no update server answers here) covers the window.
    bool skipDailyUpdateCheck();
    // Names the update server in setting.ini, as a private mirror would.
    bool setUpdateDescriptionUrl(const QString &url);
    // Runs Pathmere with args to its end; returns the exit code, -1 on a
    // crash or time-out.
    int run(const QStringList &args, int timeoutMs = StartTimeoutMs);

    // Text of all log files, oldest serial first; names of the log files.
    QString logText() const;
    QStringList logFiles() const;
    bool waitForLog(const QString &text, int timeoutMs = StartTimeoutMs, int occurrences = 1) const;
    QString output() const;

    // Live (non-zombie) processes that carry this sandbox's marker.
    QList<pid_t> processes() const;
    static QStringList commandLine(pid_t pid);
    static bool isAlive(pid_t pid);
    bool waitForProcessCount(int count, int timeoutMs) const;
    // A sandbox process other than those in known, waiting up to timeoutMs.
    pid_t waitForNewProcess(const QList<pid_t> &known, int timeoutMs) const;
    static bool waitForExit(pid_t pid, int timeoutMs);

    // Kills every marked process and removes the session's segment.
    void killAll();

private:
    bool writeUpdateSetting(const QString &key, const QString &value);

    QTemporaryDir dir;
    QString session;
    QProcessEnvironment env;
    QList<QProcess *> started;
    int outputCounter = 0;
};

#endif // PATHMERESANDBOX_H
