// A user's first minute on an ordinary desk. The day's first start runs the
// automatic update check against a server whose name does not resolve, at
// once or only after a long wait (netns.sh's resolver decides which), and the
// user's first click on "Search" must still reach the window and search. The
// real program runs on a private X server; the click goes through the
// pointer, so a box lying over the window would take it, as it takes a
// person's.

#include "camsimprocess.h"
#include "pathmeresandbox.h"
#include "testlan.h"
#include "xvfbserver.h"

#include <QProcess>
#include <QtTest>

class TstFirstContact : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void searchClickReachesTheWindowWhileTheDailyCheckFails();
    void placeholderServerIsNeverAskedOnItsOwn();

private:
    // Every viewable top-level window of the process other than the main one.
    QStringList otherWindows(pid_t pid) const;

    static const QString title;
    static const int cameraCount = 3;

    XvfbServer xserver;
    CamsimProcess *camsim = nullptr;
    QString resolver;
};

const QString TstFirstContact::title = QStringLiteral("Pathmere");

void TstFirstContact::initTestCase()
{
    TESTLAN_REQUIRE();
    QVERIFY2(QFile::exists(PathmereSandbox::programPath()), qPrintable(PathmereSandbox::programPath()));
    if (!XvfbServer::unavailableReason().isEmpty())
        QSKIP(qPrintable(XvfbServer::unavailableReason()));
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");
    resolver = qEnvironmentVariable("PATHMERE_NETNS_RESOLVER");
    QVERIFY2(!resolver.isEmpty(), "run through netns.sh --resolver nxdomain|silent");

    camsim = new CamsimProcess(this);
    QVERIFY2(camsim->start(0, {"--camera", "mac=02:50:4d:20:00:01,model=PTZ-X20,name=Hall,ip=192.0.2.10,send=broadcast",
                               "--camera", "mac=02:50:4d:20:00:02,model=BOX-4K,name=Gate,ip=192.0.2.11,send=unicast",
                               "--camera", "mac=02:50:4d:20:00:03,model=DOME-M3,name=Yard,ip=203.0.113.20,send=broadcast"},
                           10000),
             qPrintable(camsim->errorText()));
    QVERIFY2(xserver.start(), qPrintable(xserver.errorText()));
}

void TstFirstContact::cleanupTestCase()
{
    if (camsim)
        camsim->stop();
}

QStringList TstFirstContact::otherWindows(pid_t pid) const
{
    QStringList titles;
    for (const XvfbServer::Window &window : xserver.windows(pid)) {
        if (window.viewable && window.title != title)
            titles << window.title;
    }
    return titles;
}

void TstFirstContact::searchClickReachesTheWindowWhileTheDailyCheckFails()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    // A server of its own, as a private mirror names one: the day's check runs.
    QVERIFY(sandbox.setUpdateDescriptionUrl(QStringLiteral("http://updates.example.invalid/Skyrelay/update.cfg")));
    QProcess *process = sandbox.start();
    const pid_t pid = pid_t(process->processId());
    QVERIFY(xserver.waitForViewableWindow(pid, title, PathmereSandbox::StartTimeoutMs));
    QVERIFY2(sandbox.waitForLog(QStringLiteral("Check update from"), 10000), qPrintable(sandbox.logText()));
    // Where the name fails at once, the check has failed before the user
    // can click; where it hangs, the click comes while it waits.
    if (resolver == QLatin1String("nxdomain"))
        QVERIFY2(sandbox.waitForLog(QStringLiteral("Update network error"), 10000), qPrintable(sandbox.logText()));

    camsim->clearEvents();
    const QString window = xserver.viewableWindow(pid, title);
    // "Search" sits at 290,40 (101 x 31) in design units at 96 DPI.
    QVERIFY(xserver.click(window, QPoint(340, 55)));
    QVERIFY2(sandbox.waitForLog(QStringLiteral("Pathmere lists %1 devices.").arg(cameraCount), 15000),
             qPrintable(QStringLiteral("windows over it: %1\n%2").arg(otherWindows(pid).join(QLatin1String(", ")),
                                                                       sandbox.logText())));
    QVERIFY(camsim->count(QStringLiteral("query")) > 0);
    QCOMPARE(otherWindows(pid), QStringList());

    // A check that hangs ends some time later; its failure still shows no box.
    QVERIFY2(sandbox.waitForLog(QStringLiteral("Update network error"), 60000), qPrintable(sandbox.logText()));
    QTest::qWait(500);
    QCOMPARE(otherWindows(pid), QStringList());
    QVERIFY(PathmereSandbox::isAlive(pid));
    sandbox.killAll();
}

void TstFirstContact::placeholderServerIsNeverAskedOnItsOwn()
{
    // A build whose update server is still the placeholder has nobody to ask.
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QProcess *process = sandbox.start();
    const pid_t pid = pid_t(process->processId());
    QVERIFY(xserver.waitForViewableWindow(pid, title, PathmereSandbox::StartTimeoutMs));
    QTest::qWait(2000);
    QVERIFY2(!sandbox.logText().contains(QLatin1String("Check update from")), qPrintable(sandbox.logText()));
    QCOMPARE(otherWindows(pid), QStringList());
    sandbox.killAll();
}

QTEST_GUILESS_MAIN(TstFirstContact)
#include "tst_firstcontact.moc"
