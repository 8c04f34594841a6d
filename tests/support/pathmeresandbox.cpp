#include "pathmeresandbox.h"

#include "sessionsegment.h"
#include "sessionsharedmemorykey.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace {

std::atomic<int> sessionCounter { 0 };

QByteArray readProcFile(pid_t pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

PathmereSandbox::PathmereSandbox(const QString &sessionId)
    : session(sessionId)
{
    if (session.isEmpty())
        session = QStringLiteral("pmtest-%1-%2").arg(getpid()).arg(++sessionCounter);

    env = QProcessEnvironment::systemEnvironment();
    const QString base = dir.path();
    TestHome(home()).applyTo(&env);
    QDir().mkpath(base + QStringLiteral("/run"));
    QFile::setPermissions(base + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), base + QStringLiteral("/run"));
    env.insert(QStringLiteral("XDG_SESSION_ID"), session);
    env.insert(QStringLiteral("PATHMERE_TEST_SANDBOX"), base);
    // Where a login session keeps its bus; nothing listens there. Without an
    // address, a desk with dbus-x11 autolaunches a bus daemon per program
    // start, which outlives the sandbox and counts as one of its processes.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + base + QStringLiteral("/run/bus"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
}

PathmereSandbox::~PathmereSandbox()
{
    killAll();
    qDeleteAll(started);
}

bool PathmereSandbox::isValid() const
{
    return dir.isValid() && QFile::exists(programPath());
}

QString PathmereSandbox::programPath()
{
    return qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/Pathmere");
}

QString PathmereSandbox::root() const { return dir.path(); }
QString PathmereSandbox::home() const { return dir.path() + QStringLiteral("/home"); }
QString PathmereSandbox::sessionId() const { return session; }

QString PathmereSandbox::segmentKey() const
{
    return SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), session.toUtf8(), getuid());
}

QString PathmereSandbox::runtimeFolder() const
{
    // The program's own rule (SessionSharedMemoryKey::keyFolder()) applied
    // to its environment.
    const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    const QString temporary = env.value(QStringLiteral("TMPDIR"));
    return temporary.isEmpty() ? QStringLiteral("/tmp") : QDir::cleanPath(temporary);
}

QString PathmereSandbox::logFolder() const
{
    return home() + QStringLiteral("/Documents/Tolvik/Log/Pathmere/");
}

QString PathmereSandbox::crashRecordFile() const
{
    return logFolder() + QStringLiteral("crash");
}

QProcessEnvironment PathmereSandbox::environment() const { return env; }

void PathmereSandbox::setEnv(const QString &name, const QString &value)
{
    env.insert(name, value);
}

void PathmereSandbox::unsetEnv(const QString &name)
{
    env.remove(name);
}

QProcess *PathmereSandbox::start(const QStringList &args)
{
    auto *process = new QProcess;
    process->setProcessEnvironment(env);
    const QString out = QStringLiteral("%1/output-%2.txt").arg(root()).arg(++outputCounter);
    process->setStandardOutputFile(out);
    process->setStandardErrorFile(out);
    process->start(programPath(), args);
    process->waitForStarted(StartTimeoutMs);
    started.append(process);
    return process;
}

int PathmereSandbox::run(const QStringList &args, int timeoutMs)
{
    QProcess *process = start(args);
    if (!process->waitForFinished(timeoutMs)) {
        process->kill();
        process->waitForFinished(5000);
        return -1;
    }
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

QStringList PathmereSandbox::logFiles() const
{
    return QDir(logFolder()).entryList({ QStringLiteral("TolvikPathmere-*.log") }, QDir::Files, QDir::Name);
}

QString PathmereSandbox::logText() const
{
    QString text;
    for (const QString &name : logFiles()) {
        QFile file(logFolder() + name);
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromLatin1(file.readAll());
    }
    return text;
}

bool PathmereSandbox::waitForLog(const QString &text, int timeoutMs, int occurrences) const
{
    return QTest::qWaitFor([&] { return logText().count(text) >= occurrences; }, timeoutMs);
}

QString PathmereSandbox::output() const
{
    QString text;
    for (int i = 1; i <= outputCounter; ++i) {
        QFile file(QStringLiteral("%1/output-%2.txt").arg(root()).arg(i));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromLocal8Bit(file.readAll());
    }
    return text;
}

QList<pid_t> PathmereSandbox::processes() const
{
    const QByteArray marker = "PATHMERE_TEST_SANDBOX=" + QFile::encodeName(root());
    QList<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const pid_t pid = entry.toInt(&ok);
        if (!ok || pid == getpid())
            continue;
        const QList<QByteArray> variables = readProcFile(pid, "environ").split('\0');
        if (!variables.contains(marker))
            continue;
        if (isAlive(pid))
            found.append(pid);
    }
    return found;
}

QStringList PathmereSandbox::commandLine(pid_t pid)
{
    QStringList args;
    const QList<QByteArray> parts = readProcFile(pid, "cmdline").split('\0');
    for (const QByteArray &part : parts)
        args.append(QString::fromLocal8Bit(part));
    if (!args.isEmpty() && args.last().isEmpty())
        args.removeLast();
    return args;
}

bool PathmereSandbox::isAlive(pid_t pid)
{
    const QByteArray stat = readProcFile(pid, "stat");
    const int close = stat.lastIndexOf(')');
    if (stat.isEmpty() || close < 0 || close + 2 >= stat.size())
        return false;
    const char state = stat.at(close + 2);
    return state != 'Z' && state != 'X';
}

bool PathmereSandbox::waitForProcessCount(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return processes().size() == count; }, timeoutMs);
}

pid_t PathmereSandbox::waitForNewProcess(const QList<pid_t> &known, int timeoutMs) const
{
    pid_t found = 0;
    (void)QTest::qWaitFor([&] {
        for (const pid_t pid : processes()) {
            if (!known.contains(pid)) {
                found = pid;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return found;
}

bool PathmereSandbox::waitForExit(pid_t pid, int timeoutMs)
{
    return QTest::qWaitFor([pid] { return !isAlive(pid); }, timeoutMs);
}

void PathmereSandbox::killAll()
{
    // Copies started detached may still be on their way; look twice.
    for (int round = 0; round < 2; ++round) {
        for (const pid_t pid : processes())
            ::kill(pid, SIGKILL);
        for (const pid_t pid : processes())
            waitForExit(pid, 5000);
        for (QProcess *process : qAsConst(started)) {
            if (process->state() != QProcess::NotRunning)
                process->waitForFinished(5000);
        }
        if (round == 0)
            QThread::msleep(300);
    }
    // A killed program leaves its segment, its lock and their key files.
    SessionSegment::removeStale(segmentKey(), runtimeFolder());
}

pid_t PathmereSandbox::startReady(const QStringList &args)
{
    const int before = logText().count(QStringLiteral("Screen size"));
    QProcess *process = start(args);
    if (!waitForLog(QStringLiteral("Screen size"), StartTimeoutMs, before + 1)) {
        qWarning("not ready; log:\n%s\noutput:\n%s", qPrintable(logText()), qPrintable(output()));
        return 0;
    }
    return pid_t(process->processId());
}

bool PathmereSandbox::writeUpdateSetting(const QString &key, const QString &value)
{
    const QString folder = env.value(QStringLiteral("XDG_DATA_HOME")) + QStringLiteral("/Pathmere");
    if (!QDir().mkpath(folder))
        return false;
    QSettings settings(folder + QStringLiteral("/setting.ini"), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool PathmereSandbox::skipDailyUpdateCheck()
{
    return writeUpdateSetting(QStringLiteral("Common/AppOpenDate"),
                              QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

bool PathmereSandbox::setUpdateDescriptionUrl(const QString &url)
{
    return writeUpdateSetting(QStringLiteral("Update/DescriptionUrl"), url);
}

void PathmereSandbox::useDisplay(const QString &display)
{
    setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    setEnv(QStringLiteral("DISPLAY"), display);
}
