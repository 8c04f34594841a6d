// The program on a desktop without a system tray, and with a tray host that
// comes up after it. The real program runs on a private X server; a desktop
// stub reports what the windows ask of a window manager and, when asked,
// plays the tray host (see DesktopStub).

#include "desktopstub.h"
#include "pathmeresandbox.h"
#include "privatenetwork.h"
#include "segmentclient.h"
#include "xvfbserver.h"

#include <QProcess>
#include <QtTest>

class TstTrayWatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    // No tray: the window stays reachable.
    void closeMinimisesAndCtrlQuits();
    void hiddenStartShowsMinimised();
    // A tray that appears after the program.
    void lateTrayGetsIconAndCloseHides();

private:
    static const QString title;

    XvfbServer xserver;
    // Watches minimise requests for the whole run; owns no tray.
    DesktopStub windowManager;
};

const QString TstTrayWatch::title = QStringLiteral("Pathmere");

void TstTrayWatch::initTestCase()
{
    QVERIFY2(QFile::exists(PathmereSandbox::programPath()), qPrintable(PathmereSandbox::programPath()));
    if (!DesktopStub::unavailableReason().isEmpty())
        QSKIP(qPrintable(DesktopStub::unavailableReason()));
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");
    QVERIFY2(xserver.start(), "Xvfb did not start");
    QVERIFY2(windowManager.start(xserver.display(), false), qPrintable(windowManager.errorText()));
}

void TstTrayWatch::init()
{
    // The server hands a gone client's window ids to the next one.
    windowManager.clearEvents();
}

void TstTrayWatch::closeMinimisesAndCtrlQuits()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QVERIFY(sandbox.skipDailyUpdateCheck());
    QProcess *process = sandbox.start();
    const pid_t pid = pid_t(process->processId());
    QVERIFY(xserver.waitForViewableWindow(pid, title, PathmereSandbox::StartTimeoutMs));
    const QString window = xserver.viewableWindow(pid, title);

    // The title bar's close button asks to be minimised instead of
    // withdrawing the window (with no window manager here it stays mapped).
    QVERIFY(xserver.closeWindow(window));
    QTRY_VERIFY_WITH_TIMEOUT(windowManager.iconifyRequested(window), 5000);
    QVERIFY(xserver.hasViewableWindow(pid, title));
    QVERIFY(PathmereSandbox::isAlive(pid));
    QVERIFY(!sandbox.logText().contains(QLatin1String("System tray found.")));

    // Ctrl+Q ends it the orderly way: exit code 0, segment given back.
    QVERIFY(xserver.typeKeys(window, QStringLiteral("ctrl+q")));
    QVERIFY(process->waitForFinished(5000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(!SegmentClient::exists(sandbox.runtimeFolder(), sandbox.segmentKey()));
}

void TstTrayWatch::hiddenStartShowsMinimised()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QVERIFY(sandbox.skipDailyUpdateCheck());
    sandbox.setEnv(QStringLiteral("PATHMERE_TRAY_WAIT_MS"), QStringLiteral("300"));
    QProcess *process = sandbox.start({ QStringLiteral("-hide") });
    const pid_t pid = pid_t(process->processId());

    QVERIFY(sandbox.waitForLog(QStringLiteral("No system tray, show minimized.")));
    QVERIFY(xserver.waitForViewableWindow(pid, title, PathmereSandbox::StartTimeoutMs));
    const QString window = xserver.viewableWindow(pid, title);
    // Mapped for the first time, asking to start minimised (ICCCM's initial
    // state), so a window manager puts it straight on the task bar.
    QTRY_VERIFY_WITH_TIMEOUT(windowManager.mappedIconic(window), 5000);
    QVERIFY(sandbox.logText().contains(QLatin1String("Start hide shareMemory.create success.")));

    QVERIFY(SegmentClient::writeWithQt(sandbox.runtimeFolder(), sandbox.segmentKey(), "Close_Program"));
    QVERIFY(process->waitForFinished(5000));
    QCOMPARE(process->exitCode(), 0);
}

void TstTrayWatch::lateTrayGetsIconAndCloseHides()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QVERIFY(sandbox.skipDailyUpdateCheck());
    QProcess *process = sandbox.start();
    const pid_t pid = pid_t(process->processId());
    QVERIFY(xserver.waitForViewableWindow(pid, title, PathmereSandbox::StartTimeoutMs));
    const QString window = xserver.viewableWindow(pid, title);
    // The first look for a tray waits for the window's first frame, which a
    // slow machine paints well after the window is mapped: the tray must
    // come after that look to be late.
    QVERIFY(sandbox.waitForLog(QStringLiteral("No system tray yet, looking for one.")));
    QVERIFY(!sandbox.logText().contains(QLatin1String("System tray found.")));

    DesktopStub tray;
    QVERIFY2(tray.start(xserver.display(), true), qPrintable(tray.errorText()));
    // Found at the next poll; the icon docks into the tray host.
    QTRY_COMPARE_WITH_TIMEOUT(tray.dockCount(), 1, 15000);
    QVERIFY(sandbox.logText().contains(QLatin1String("System tray found.")));

    // With the tray, closing withdraws the window again.
    QVERIFY(xserver.closeWindow(window));
    QTRY_VERIFY_WITH_TIMEOUT(!xserver.hasViewableWindow(pid, title), 5000);
    QVERIFY(!windowManager.iconifyRequested(window));
    QVERIFY(PathmereSandbox::isAlive(pid));
    QVERIFY(SegmentClient::writeWithQt(sandbox.runtimeFolder(), sandbox.segmentKey(), "Close_Program"));
    QVERIFY(process->waitForFinished(5000));
    QCOMPARE(process->exitCode(), 0);
}

int main(int argc, char *argv[])
{
    // The program listens on a machine-wide loopback port and every start
    // sends to it; a network namespace of our own keeps other runs out.
    const bool isolated = PrivateNetwork::enter();
    QCoreApplication app(argc, argv);
    PrivateNetwork::loopbackUp(isolated);
    TstTrayWatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_traywatch.moc"
