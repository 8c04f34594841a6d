// The hand-over between login sessions over the loopback notice, and the
// listener's retries when the port is taken. Runs the real program; the
// notice port is machine-wide, so the suite keeps to a network namespace of
// its own (and a CTest resource lock).

#include "otheruser.h"
#include "pathmeresandbox.h"
#include "privatenetwork.h"
#include "segmentclient.h"
#include "xvfbserver.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

class TstTakeover : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void noticeTakesOver();
    void anotherAtAnyPosition_data();
    void anotherAtAnyPosition();
    void otherDatagramsIgnored();
    void takeoverBetweenSessions();
    void noticeOfAnotherUserIgnored();
    void noticeFromTheLanIgnored();
    void dialogCloseRestarts();
    void bindRetriesWhilePortHeld();

private:
    // The program obeys a notice only from a socket of our user that is
    // still open when it looks, as a starting program's is: each stays
    // open until the test function ends.
    void sendNotice(const QByteArray &text);
    // Waits for the "-another" copy of a taken-over instance.
    static pid_t waitForAnotherCopy(const PathmereSandbox &sandbox, const QList<pid_t> &known);

    XvfbServer xserver;
    std::vector<std::unique_ptr<QUdpSocket>> noticeSenders;
};

void TstTakeover::initTestCase()
{
    QVERIFY2(QFile::exists(PathmereSandbox::programPath()), qPrintable(PathmereSandbox::programPath()));
    QVERIFY2(xserver.start(), "Xvfb did not start");
}

void TstTakeover::cleanup()
{
    noticeSenders.clear();
}

void TstTakeover::sendNotice(const QByteArray &text)
{
    noticeSenders.push_back(std::make_unique<QUdpSocket>());
    QUdpSocket &socket = *noticeSenders.back();
    QCOMPARE(socket.writeDatagram(text, QHostAddress(QHostAddress::LocalHost), 56731), qint64(text.size()));
}

pid_t TstTakeover::waitForAnotherCopy(const PathmereSandbox &sandbox, const QList<pid_t> &known)
{
    const pid_t copy = sandbox.waitForNewProcess(known, PathmereSandbox::StartTimeoutMs);
    // The copy is found as soon as it exists; its command line is final once
    // it has logged.
    if (copy == 0 || !sandbox.waitForLog(QStringLiteral("Run in find another."))) {
        qWarning("no \"-another\" copy (found %d); log:\n%s\noutput:\n%s", int(copy),
                 qPrintable(sandbox.logText()), qPrintable(sandbox.output()));
        return 0;
    }
    return copy;
}

void TstTakeover::noticeTakesOver()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);

    sendNotice("ANOTHER_LOGIN");
    QVERIFY(PathmereSandbox::waitForExit(first, 5000));
    const pid_t copy = waitForAnotherCopy(sandbox, { first });
    QVERIFY(copy > 0);
    QCOMPARE(PathmereSandbox::commandLine(copy).mid(1), QStringList { QStringLiteral("-another") });

    const QString log = sandbox.logText();
    QCOMPARE(log.count(QStringLiteral("UdpServer has Pending Data.")), 1);
    QCOMPARE(log.count(QStringLiteral("Find ANOTHER_LOGIN.")), 1);
    // The copy got the segment the first instance gave up.
    QCOMPARE(log.count(QStringLiteral("shareMemory.create success.")), 2);

    // It shows the dialog and nothing else, and stays the only copy.
    QVERIFY(xserver.waitForViewableWindow(copy, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));
    const QList<XvfbServer::Window> windows = xserver.windows(copy);
    QCOMPARE(windows.size(), 1);
    QCOMPARE(xserver.windowSize(windows.first().id), QSize(480, 150));
    QTest::qWait(1000);
    QCOMPARE(sandbox.processes(), QList<pid_t> { copy });
}

void TstTakeover::anotherAtAnyPosition_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("dialog");
    QTest::newRow("only") << QStringList { QStringLiteral("-another") } << true;
    QTest::newRow("after others") << QStringList { QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("-another") } << true;
    QTest::newRow("with -hide") << QStringList { QStringLiteral("-hide"), QStringLiteral("-another") } << true;
    QTest::newRow("upper case") << QStringList { QStringLiteral("-Another") } << false;
    QTest::newRow("longer") << QStringList { QStringLiteral("x"), QStringLiteral("-another2") } << false;
}

void TstTakeover::anotherAtAnyPosition()
{
    QFETCH(QStringList, args);
    QFETCH(bool, dialog);
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QProcess *process = sandbox.start(args);
    const pid_t pid = pid_t(process->processId());
    if (!dialog) {
        QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size"), PathmereSandbox::StartTimeoutMs));
        QVERIFY(!sandbox.logText().contains(QLatin1String("Run in find another.")));
        return;
    }
    QVERIFY(sandbox.waitForLog(QStringLiteral("Run in find another."), PathmereSandbox::StartTimeoutMs));
    QVERIFY(xserver.waitForViewableWindow(pid, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));
    const QList<XvfbServer::Window> windows = xserver.windows(pid);
    QCOMPARE(windows.size(), 1);
    QCOMPARE(xserver.windowSize(windows.first().id), QSize(480, 150));
    const QString log = sandbox.logText();
    // The dialog instead of the main window, and no notice of its own: it
    // would take over the session that has just taken over from this one.
    QVERIFY(!log.contains(QLatin1String("Screen size")));
    QVERIFY(!log.contains(QLatin1String("send message to server.")));
    QCOMPARE(log.contains(QLatin1String("Start hide shareMemory.create success.")), args.first() == QLatin1String("-hide"));
}

void TstTakeover::otherDatagramsIgnored()
{
    PathmereSandbox sandbox;
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);

    const QList<QByteArray> others { "ANOTHER_LOGIN\n", "another_login", "ANOTHER_LOGIN ", "ANOTHER_LOGI", "" };
    for (const QByteArray &text : others)
        sendNotice(text);
    QVERIFY(sandbox.waitForLog(QStringLiteral("UdpServer has Pending Data."), 5000, others.size()));
    QTest::qWait(1000);
    QVERIFY(!sandbox.logText().contains(QLatin1String("Find ANOTHER_LOGIN.")));
    QCOMPARE(sandbox.processes(), QList<pid_t> { first });

    // Still listening after all that.
    sendNotice("ANOTHER_LOGIN");
    QVERIFY(PathmereSandbox::waitForExit(first, 5000));
}

void TstTakeover::takeoverBetweenSessions()
{
    PathmereSandbox sessionA;
    PathmereSandbox sessionB;
    const pid_t a = sessionA.startReady();
    QVERIFY(a > 0);
    const pid_t b = sessionB.startReady();
    QVERIFY(b > 0);

    QVERIFY(PathmereSandbox::waitForExit(a, 5000));
    const pid_t copy = waitForAnotherCopy(sessionA, { a });
    QVERIFY(copy > 0);
    // The taken-over session's copy must not take over in turn: the new
    // session's instance keeps running.
    QTest::qWait(2000);
    QVERIFY(PathmereSandbox::isAlive(b));
    QVERIFY(!sessionB.logText().contains(QLatin1String("Find ANOTHER_LOGIN.")));
    QCOMPARE(sessionA.processes(), QList<pid_t> { copy });
    QCOMPARE(sessionB.processes(), QList<pid_t> { b });
}

// The notice is for the instances of our own user; another local user's
// process sends the very same datagram over loopback.
void TstTakeover::noticeOfAnotherUserIgnored()
{
    OTHERUSER_REQUIRE();
    PathmereSandbox sandbox;
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);

    OtherUser attacker(OtherUser::Attacker);
    // Its socket stays open past the program's look-up.
    QVERIFY(attacker.sendDatagram(56731, "ANOTHER_LOGIN", 2500) != 0);
    QTest::qWait(500);
    QVERIFY(PathmereSandbox::isAlive(first));
    QVERIFY(sandbox.waitForLog(QStringLiteral("Refused ANOTHER_LOGIN from 127.0.0.1:"), 3000));
    QVERIFY(!sandbox.logText().contains(QLatin1String("Find ANOTHER_LOGIN.")));
    QCOMPARE(sandbox.processes(), QList<pid_t> { first });

    // Our own user's notice still takes over.
    sendNotice("ANOTHER_LOGIN");
    QVERIFY(PathmereSandbox::waitForExit(first, 5000));
}

// A host of the LAN sends the notice to one of this machine's addresses:
// the listener is on loopback only and never hears it.
void TstTakeover::noticeFromTheLanIgnored()
{
    if (!PrivateNetwork::isolated())
        QSKIP("needs the suite's own network namespace to give it a LAN address");
    const QString lanAddress = QStringLiteral("192.0.2.5");
    QVERIFY(PrivateNetwork::ip({ QStringLiteral("addr"), QStringLiteral("add"), lanAddress + QStringLiteral("/32"),
                                 QStringLiteral("dev"), QStringLiteral("lo") }));
    auto dropAddress = qScopeGuard([&] {
        PrivateNetwork::ip({ QStringLiteral("addr"), QStringLiteral("del"), lanAddress + QStringLiteral("/32"),
                             QStringLiteral("dev"), QStringLiteral("lo") });
    });
    PathmereSandbox sandbox;
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);

    noticeSenders.push_back(std::make_unique<QUdpSocket>());
    QUdpSocket &lanHost = *noticeSenders.back();
    QVERIFY(lanHost.bind(QHostAddress(lanAddress), 0));
    QCOMPARE(lanHost.writeDatagram("ANOTHER_LOGIN", QHostAddress(lanAddress), 56731), qint64(13));
    QTest::qWait(2000);
    QVERIFY(PathmereSandbox::isAlive(first));
    QVERIFY(!sandbox.logText().contains(QLatin1String("UdpServer has Pending Data.")));

    sendNotice("ANOTHER_LOGIN");
    QVERIFY(PathmereSandbox::waitForExit(first, 5000));
}

void TstTakeover::dialogCloseRestarts()
{
#ifndef PATHMERE_TEST_HAVE_XLIB
    QSKIP("built without Xlib: no way to close the dialog from outside");
#endif
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);
    sendNotice("ANOTHER_LOGIN");
    QVERIFY(PathmereSandbox::waitForExit(first, 5000));
    const pid_t copy = waitForAnotherCopy(sandbox, { first });
    QVERIFY(copy > 0);
    QVERIFY(xserver.waitForViewableWindow(copy, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));

    // The title bar's close button does what "OK" does.
    QVERIFY(xserver.closeWindow(xserver.windows(copy).first().id));
    QVERIFY(PathmereSandbox::waitForExit(copy, 5000));
    QVERIFY(sandbox.waitForLog(QStringLiteral("emitAnotherLoginOk.")));
    const pid_t restarted = sandbox.waitForNewProcess({ first, copy }, PathmereSandbox::StartTimeoutMs);
    QVERIFY(restarted > 0);
    QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size"), PathmereSandbox::StartTimeoutMs, 2));
    QCOMPARE(PathmereSandbox::commandLine(restarted).mid(1), QStringList());
    // It found the segment free, although the copy had held it moments ago.
    QCOMPARE(sandbox.logText().count(QStringLiteral("shareMemory.create success.")), 3);
    QVERIFY(!sandbox.logText().contains(QLatin1String("shareMemory.create fail.")));
    QVERIFY(xserver.waitForViewableWindow(restarted, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));
    QCOMPARE(sandbox.processes(), QList<pid_t> { restarted });
}

void TstTakeover::bindRetriesWhilePortHeld()
{
    // An unrelated program holding the port without address sharing.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 56731, QAbstractSocket::DontShareAddress));

    PathmereSandbox sandbox;
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);

    const QString log = sandbox.logText();
    const QRegularExpression line(QStringLiteral("^MAJOR MSG     (\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) Pathmere/Pathmere : (.*)$"),
                                  QRegularExpression::MultilineOption);
    QStringList messages;
    QList<QTime> times;
    auto match = line.globalMatch(log);
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        times.append(QTime::fromString(m.captured(1), QStringLiteral("hh:mm:ss.zzz")));
        messages.append(m.captured(2));
    }
    const int sent = messages.indexOf(QStringLiteral("send message to server."));
    QVERIFY(sent >= 0);
    QCOMPARE(messages.mid(sent + 1, 3), (QStringList { QStringLiteral("reTry bind:1"), QStringLiteral("reTry bind:2"), QStringLiteral("reTry bind:3") }));
    QVERIFY(!log.contains(QLatin1String("reTry bind:4")));
    const int screen = messages.indexOf(QStringLiteral("Screen size 800x600"), sent);
    QVERIFY(screen > sent);
    // Three pauses of 500 ms between four attempts.
    const int spentMs = times.at(sent).msecsTo(times.at(screen));
    QVERIFY2(spentMs >= 1450 && spentMs < 3500, qPrintable(QString::number(spentMs)));

    // Without a listener the notice reaches nobody; the program runs on.
    holder.close();
    sendNotice("ANOTHER_LOGIN");
    QTest::qWait(1000);
    QVERIFY(!sandbox.logText().contains(QLatin1String("UdpServer has Pending Data.")));
    QCOMPARE(sandbox.processes(), QList<pid_t> { first });
}

int main(int argc, char *argv[])
{
    const bool isolated = PrivateNetwork::enter();
    QCoreApplication app(argc, argv);
    PrivateNetwork::loopbackUp(isolated);
    TstTakeover test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_takeover.moc"
