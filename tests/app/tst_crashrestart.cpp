// A real invalid memory access in the running program (the slot behind
// Ctrl+Alt+Shift+C, triggered by the program's test switch): the first crash
// starts the program again, a second crash before a normal exit starts the
// crash dialog instead, as a program of its own. Runs on a private X server
// so the dialog can be seen.

#include "pathmeresandbox.h"
#include "privatenetwork.h"
#include "xvfbserver.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

class TstCrashRestart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void crashRestartsOnceThenShowsDialog();

private:
    XvfbServer xserver;
};

void TstCrashRestart::initTestCase()
{
    QVERIFY2(QFile::exists(PathmereSandbox::programPath()), qPrintable(PathmereSandbox::programPath()));
    QVERIFY2(xserver.start(), "Xvfb did not start");
}

void TstCrashRestart::crashRestartsOnceThenShowsDialog()
{
    PathmereSandbox sandbox;
    sandbox.setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    sandbox.setEnv(QStringLiteral("DISPLAY"), xserver.display());
    // Every run of this sandbox, the restarted one included, crashes this
    // long after its window exists.
    sandbox.setEnv(QStringLiteral("PATHMERE_CRASH_AFTER_MS"), QStringLiteral("2500"));

    QProcess *first = sandbox.start();
    QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size")));
    const pid_t firstPid = pid_t(first->processId());

    // First crash: the process dies of the signal and a new one starts.
    QVERIFY(first->waitForFinished(PathmereSandbox::StartTimeoutMs));
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);
    QCOMPARE(sandbox.logText().count(QStringLiteral("doCrash.")), 1);
    QVERIFY2(sandbox.output().contains(QLatin1String("Pathmere: fatal signal 11")), qPrintable(sandbox.output()));
    const pid_t second = sandbox.waitForNewProcess({ firstPid }, PathmereSandbox::StartTimeoutMs);
    QVERIFY(second > 0);
    QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size"), PathmereSandbox::StartTimeoutMs, 2));
    QCOMPARE(PathmereSandbox::commandLine(second).mid(1), QStringList());
    QVERIFY(QFile::exists(sandbox.crashRecordFile()));
    // The restarted program offers the crash logs at once.
    QVERIFY(xserver.waitForViewableWindow(second, QStringLiteral("TolvikPathmere"), PathmereSandbox::StartTimeoutMs));
    QVERIFY(xserver.waitForViewableWindow(second, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));

    // Second crash before a normal exit: no restart and the mark is gone.
    // The crashed process ends; the crash dialog runs in a process of its
    // own, started for the crashed one.
    QVERIFY(sandbox.waitForLog(QStringLiteral("doCrash."), PathmereSandbox::StartTimeoutMs, 2));
    QTRY_VERIFY_WITH_TIMEOUT(sandbox.output().count(QStringLiteral("Pathmere: fatal signal 11")) == 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(sandbox.crashRecordFile()), 5000);
    QVERIFY(PathmereSandbox::waitForExit(second, PathmereSandbox::StartTimeoutMs));
    const pid_t dialog = sandbox.waitForNewProcess({ firstPid, second }, PathmereSandbox::StartTimeoutMs);
    QVERIFY(dialog > 0);
    const QStringList dialogCommand = PathmereSandbox::commandLine(dialog);
    QCOMPARE(QFileInfo(dialogCommand.value(0)).fileName(), QStringLiteral("corvane-crashdialog"));
    QCOMPARE(dialogCommand.mid(1, 2), QStringList({ QStringLiteral("--crashed-pid"), QString::number(second) }));
    QVERIFY(xserver.waitForViewableWindow(dialog, QStringLiteral("TolvikPathmere"), PathmereSandbox::StartTimeoutMs));
    QVERIFY2(sandbox.output().contains(QStringLiteral("corvane-crashdialog: crash dialog for process %1").arg(second)),
             qPrintable(sandbox.output()));
    QTest::qWait(2000);
    QCOMPARE(sandbox.processes(), QList<pid_t> { dialog });
    QVERIFY(xserver.hasViewableWindow(dialog, QStringLiteral("TolvikPathmere")));
    QCOMPARE(sandbox.output().count(QStringLiteral("started again as process")), 1);

#ifdef PATHMERE_TEST_HAVE_XLIB
    // Closing the dialog ends its process, still without a restart.
    for (const XvfbServer::Window &window : xserver.windows(dialog)) {
        if (window.title == QLatin1String("TolvikPathmere"))
            QVERIFY(xserver.closeWindow(window.id));
    }
    QVERIFY(PathmereSandbox::waitForExit(dialog, PathmereSandbox::StartTimeoutMs));
    QTest::qWait(1000);
    QVERIFY(sandbox.processes().isEmpty());
    QCOMPARE(sandbox.output().count(QStringLiteral("started again as process")), 1);
    QVERIFY(sandbox.output().contains(QLatin1String("corvane-crashdialog: closed")));
#endif
}

int main(int argc, char *argv[])
{
    const bool isolated = PrivateNetwork::enter();
    QCoreApplication app(argc, argv);
    PrivateNetwork::loopbackUp(isolated);
    TstCrashRestart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashrestart.moc"
