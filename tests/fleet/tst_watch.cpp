// The watch: what one round of devices says against the last, the runner
// that searches in rounds, and its end on SIGINT and SIGTERM.
#include "signalwatcher.h"
#include "watchdiffer.h"
#include "watchrunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

DeviceRecord cam(int n, const QString &ip = QString(), const QString &fw = QStringLiteral("1.0.0"))
{
    DeviceRecord d;
    d.mac = QStringLiteral("00:1a:2b:3c:4d:%1").arg(n, 2, 16, QLatin1Char('0'));
    d.model = QStringLiteral("SIM-CAM 100");
    d.name = QStringLiteral("cam%1").arg(n);
    d.ip = ip.isEmpty() ? QStringLiteral("192.0.2.%1").arg(10 + n) : ip;
    d.fwVersion = fw;
    d.dhcp = false;
    return d;
}

// "kind:mac-ending" per event, for compact comparisons.
QStringList summary(const QList<WatchEvent> &events)
{
    QStringList out;
    for (const WatchEvent &e : events) {
        if (e.kind == WatchEvent::Kind::Conflict) {
            out.append(QStringLiteral("conflict:") + e.address);
            continue;
        }
        out.append(WatchEvent::kindText(e.kind) + QLatin1Char(':') + e.device.mac.right(2));
    }
    return out;
}

QJsonObject parsedLine(const WatchEvent &event)
{
    const QByteArray line = event.jsonLine(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10), Qt::UTC));
    if (!line.endsWith('\n') || line.count('\n') != 1)
        return {};
    return QJsonDocument::fromJson(line).object();
}

} // namespace

class TestWatch : public QObject
{
    Q_OBJECT

private slots:
    void firstRoundReportsEveryDevice();
    void oneLostAnswerIsNoEvent();
    void switchedOffCameraDisappearsOnceAndReturns();
    void readdressedCameraMoves();
    void newFirmwareNameAndModeAreChanges();
    void identityIsMacAndModel();
    void baselineIsTheFirstRoundsPast();
    void conflictReportedWhenItBegins();
    void jsonLines();

    void runnerRoundsAndFailedRound();
    void runnerStopDropsLateAnswer();
    void runnerEndsOnSignal_data();
    void runnerEndsOnSignal();
};

void TestWatch::firstRoundReportsEveryDevice()
{
    WatchDiffer differ;
    QCOMPARE(summary(differ.round({cam(1), cam(2)})), QStringList({"appeared:01", "appeared:02"}));
    QCOMPARE(summary(differ.round({cam(1), cam(2)})), QStringList());
    QCOMPARE(differ.rounds(), 2);
}

void TestWatch::oneLostAnswerIsNoEvent()
{
    WatchDiffer differ;
    differ.round({cam(1), cam(2), cam(3)});
    // Each camera loses one answer in turn: never two in a row.
    QCOMPARE(summary(differ.round({cam(1), cam(3)})), QStringList());
    QCOMPARE(summary(differ.round({cam(1), cam(2)})), QStringList());
    QCOMPARE(summary(differ.round({cam(2), cam(3)})), QStringList());
    QCOMPARE(summary(differ.round({cam(1), cam(2), cam(3)})), QStringList());
    QCOMPARE(differ.present().size(), 3);
    // An empty round (every answer lost once) is no event either.
    QCOMPARE(summary(differ.round({})), QStringList());
    QCOMPARE(summary(differ.round({cam(1), cam(2), cam(3)})), QStringList());
}

void TestWatch::switchedOffCameraDisappearsOnceAndReturns()
{
    WatchDiffer differ;
    differ.round({cam(1), cam(2)});
    QCOMPARE(summary(differ.round({cam(1)})), QStringList());
    const QList<WatchEvent> gone = differ.round({cam(1)});
    QCOMPARE(summary(gone), QStringList({"disappeared:02"}));
    // Reported as it was last seen.
    QCOMPARE(gone.first().device, cam(2));
    QCOMPARE(summary(differ.round({cam(1)})), QStringList());
    QCOMPARE(summary(differ.round({cam(1)})), QStringList());
    QCOMPARE(differ.present().size(), 1);
    // Switched on again, at another address: it appears (it was gone).
    QCOMPARE(summary(differ.round({cam(1), cam(2, QStringLiteral("192.0.2.99"))})), QStringList({"appeared:02"}));
    QCOMPARE(summary(differ.round({cam(1), cam(2, QStringLiteral("192.0.2.99"))})), QStringList());
}

void TestWatch::readdressedCameraMoves()
{
    WatchDiffer differ;
    differ.round({cam(1), cam(2)});
    const QList<WatchEvent> moved = differ.round({cam(1), cam(2, QStringLiteral("198.51.100.7"))});
    QCOMPARE(summary(moved), QStringList({"moved:02"}));
    QCOMPARE(moved.first().fromIp, QStringLiteral("192.0.2.12"));
    QCOMPARE(moved.first().device.ip, QStringLiteral("198.51.100.7"));
    // Lost once, then back at a third address: moved from the last one seen.
    differ.round({cam(1)});
    const QList<WatchEvent> again = differ.round({cam(1), cam(2, QStringLiteral("198.51.100.8"))});
    QCOMPARE(summary(again), QStringList({"moved:02"}));
    QCOMPARE(again.first().fromIp, QStringLiteral("198.51.100.7"));
}

void TestWatch::newFirmwareNameAndModeAreChanges()
{
    WatchDiffer differ;
    differ.round({cam(1), cam(2)});
    const QList<WatchEvent> updated = differ.round({cam(1, QString(), QStringLiteral("1.1.0")), cam(2)});
    QCOMPARE(summary(updated), QStringList({"changed:01"}));
    QCOMPARE(updated.first().changes.size(), 1);
    QCOMPARE(updated.first().changes.first().field, QStringLiteral("fwVersion"));
    QCOMPARE(updated.first().changes.first().from, QStringLiteral("1.0.0"));
    QCOMPARE(updated.first().changes.first().to, QStringLiteral("1.1.0"));

    DeviceRecord renamed = cam(2);
    renamed.name = QStringLiteral("lobby");
    renamed.dhcp = true;
    renamed.ip = QStringLiteral("192.0.2.200");
    // Moved and changed at once are two events of one camera.
    const QList<WatchEvent> both = differ.round({cam(1, QString(), QStringLiteral("1.1.0")), renamed});
    QCOMPARE(summary(both), QStringList({"moved:02", "changed:02"}));
    QCOMPARE(both.at(1).changes.size(), 2);
    QCOMPARE(both.at(1).changes.at(0).field, QStringLiteral("name"));
    QCOMPARE(both.at(1).changes.at(1).field, QStringLiteral("dhcp"));
    QCOMPARE(both.at(1).changes.at(1).to, QStringLiteral("true"));
    // Fields the watch does not follow change nothing.
    DeviceRecord masked = renamed;
    masked.mask = QStringLiteral("255.255.0.0");
    QCOMPARE(summary(differ.round({cam(1, QString(), QStringLiteral("1.1.0")), masked})), QStringList());
}

void TestWatch::identityIsMacAndModel()
{
    WatchDiffer differ;
    DeviceRecord upper = cam(1);
    upper.mac = upper.mac.toUpper();
    differ.round({cam(1)});
    // The same MAC in capitals is the same camera.
    QCOMPARE(summary(differ.round({upper})), QStringList());
    // Another model with that MAC is another device.
    DeviceRecord other = cam(1, QStringLiteral("192.0.2.50"));
    other.model = QStringLiteral("SIM-BOX 1");
    QCOMPARE(summary(differ.round({cam(1), other})), QStringList({"appeared:01"}));
    // A record without a usable MAC cannot be followed and is left out.
    DeviceRecord noMac = cam(3);
    noMac.mac = QStringLiteral("junk");
    QCOMPARE(summary(differ.round({cam(1), other, noMac})), QStringList());
    // Listed twice in one round: once.
    QCOMPARE(summary(differ.round({cam(1), other, cam(4), cam(4)})), QStringList({"appeared:04"}));
}

void TestWatch::baselineIsTheFirstRoundsPast()
{
    WatchDiffer differ;
    differ.setBaseline({cam(1), cam(2), cam(3)});
    // Since the last visit: 1 has new firmware, 2 moved, 3 is off, 4 is new.
    const QList<WatchEvent> first =
        differ.round({cam(1, QString(), QStringLiteral("2.0.0")), cam(2, QStringLiteral("192.0.2.77")), cam(4)});
    QCOMPARE(summary(first), QStringList({"changed:01", "moved:02", "appeared:04"}));
    // 3 is reported gone after its second missed round, as any other.
    QCOMPARE(summary(differ.round({cam(1, QString(), QStringLiteral("2.0.0")), cam(2, QStringLiteral("192.0.2.77")), cam(4)})),
             QStringList({"disappeared:03"}));
}

void TestWatch::conflictReportedWhenItBegins()
{
    WatchDiffer differ;
    const QString shared = QStringLiteral("192.0.2.50");
    differ.round({cam(1), cam(2)});
    const QList<WatchEvent> begun = differ.round({cam(1, shared), cam(2, shared)});
    QCOMPARE(summary(begun), QStringList({"moved:01", "moved:02", "conflict:192.0.2.50"}));
    QCOMPARE(begun.last().holders.size(), 2);
    // Not again while it lasts, nor after one of the two lost an answer.
    QCOMPARE(summary(differ.round({cam(1, shared), cam(2, shared)})), QStringList());
    QCOMPARE(summary(differ.round({cam(1, shared)})), QStringList());
    QCOMPARE(summary(differ.round({cam(1, shared), cam(2, shared)})), QStringList());
    // A third device on the address is news.
    const QList<WatchEvent> third = differ.round({cam(1, shared), cam(2, shared), cam(3, shared)});
    QCOMPARE(summary(third), QStringList({"appeared:03", "conflict:192.0.2.50"}));
    QCOMPARE(third.last().holders.size(), 3);
    // Unconfigured cameras (0.0.0.0) are not in conflict with each other.
    WatchDiffer fresh;
    QCOMPARE(summary(fresh.round({cam(5, QStringLiteral("0.0.0.0")), cam(6, QStringLiteral("0.0.0.0"))})),
             QStringList({"appeared:05", "appeared:06"}));
    // Resolved for two rounds, then back: reported again.
    differ.round({cam(1), cam(2), cam(3)});
    differ.round({cam(1), cam(2), cam(3)});
    QCOMPARE(summary(differ.round({cam(1, shared), cam(2, shared), cam(3)})),
             QStringList({"moved:01", "moved:02", "conflict:192.0.2.50"}));
}

void TestWatch::jsonLines()
{
    WatchDiffer differ;
    DeviceRecord hostile = cam(1);
    hostile.name = QStringLiteral("cam\n{\"event\":\"forged\"}\r\x01");
    const QList<WatchEvent> appeared = differ.round({hostile, cam(2)});
    QJsonObject o = parsedLine(appeared.first());
    QCOMPARE(o.value("event").toString(), QStringLiteral("appeared"));
    QCOMPARE(o.value("time").toString(), QStringLiteral("2024-05-06T07:08:09.010Z"));
    QCOMPARE(o.value("name").toString(), hostile.name);
    QCOMPARE(o.value("mac").toString(), hostile.mac);
    QCOMPARE(o.value("model").toString(), hostile.model);
    QCOMPARE(o.value("ip").toString(), hostile.ip);
    QCOMPARE(o.value("fwVersion").toString(), QStringLiteral("1.0.0"));
    QCOMPARE(o.value("dhcp").toBool(), false);

    const QList<WatchEvent> later = differ.round({cam(1, QStringLiteral("192.0.2.60"), QStringLiteral("1.2")),
                                                  cam(2, QStringLiteral("192.0.2.60"))});
    QCOMPARE(summary(later), QStringList({"moved:01", "changed:01", "moved:02", "conflict:192.0.2.60"}));
    o = parsedLine(later.at(0));
    QCOMPARE(o.value("from").toString(), QStringLiteral("192.0.2.11"));
    QCOMPARE(o.value("to").toString(), QStringLiteral("192.0.2.60"));
    o = parsedLine(later.at(1));
    QCOMPARE(o.value("event").toString(), QStringLiteral("changed"));
    QCOMPARE(o.value("changes").toObject().value("fwVersion").toObject().value("to").toString(), QStringLiteral("1.2"));
    QCOMPARE(o.value("changes").toObject().value("name").toObject().value("from").toString(), hostile.name);
    o = parsedLine(later.at(3));
    QCOMPARE(o.value("event").toString(), QStringLiteral("conflict"));
    QCOMPARE(o.value("ip").toString(), QStringLiteral("192.0.2.60"));
    QCOMPARE(o.value("devices").toArray().size(), 2);
    QVERIFY(!o.contains("mac"));
}

void TestWatch::runnerRoundsAndFailedRound()
{
    // Scripted rounds, each answered a little later as a real search is.
    QList<WatchRunner::Round> script;
    script.append({true, {cam(1), cam(2)}, QString()});
    script.append({true, {cam(1)}, QString()});
    script.append({false, {}, QStringLiteral("no adapter")});   // counts for nothing
    script.append({true, {cam(1)}, QString()});                 // 2's second miss
    int searches = 0;
    bool pending = false;
    bool overlapped = false;
    QObject owner;
    WatchRunner runner([&](const WatchRunner::Done &done) {
        overlapped = overlapped || pending;
        pending = true;
        const WatchRunner::Round round = script.value(searches++, WatchRunner::Round{true, {cam(1)}, QString()});
        QTimer::singleShot(30, &owner, [&pending, done, round] {
            pending = false;
            done(round);
        });
    });
    runner.setIntervalMs(10);
    QSignalSpy events(&runner, &WatchRunner::watchEvent);
    QSignalSpy failed(&runner, &WatchRunner::roundFailed);
    QSignalSpy rounds(&runner, &WatchRunner::roundFinished);
    QSignalSpy finished(&runner, &WatchRunner::finished);
    runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(rounds.count(), 3, 10000);
    runner.stop();
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!overlapped);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("no adapter"));
    QStringList kinds;
    for (const QList<QVariant> &args : qAsConst(events))
        kinds.append(WatchEvent::kindText(args.first().value<WatchEvent>().kind) + QLatin1Char(':')
                     + args.first().value<WatchEvent>().device.mac.right(2));
    QCOMPARE(kinds, QStringList({"appeared:01", "appeared:02", "disappeared:02"}));
    QCOMPARE(rounds.at(2).at(0).toInt(), 3);
    QCOMPARE(rounds.at(2).at(1).toInt(), 1);
}

void TestWatch::runnerStopDropsLateAnswer()
{
    WatchRunner::Done held;
    int searches = 0;
    WatchRunner runner([&](const WatchRunner::Done &done) {
        ++searches;
        held = done;
    });
    QSignalSpy events(&runner, &WatchRunner::watchEvent);
    QSignalSpy finished(&runner, &WatchRunner::finished);
    runner.start();
    QTRY_COMPARE(searches, 1);
    runner.stop();
    runner.stop();
    // The search answers after the stop: nothing comes of it.
    held({true, {cam(1)}, QString()});
    held({true, {cam(1)}, QString()});
    QVERIFY(finished.wait(5000));
    QTest::qWait(50);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(events.count(), 0);
    QCOMPARE(searches, 1);
    QVERIFY(!runner.isRunning());
}

void TestWatch::runnerEndsOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void TestWatch::runnerEndsOnSignal()
{
    QFETCH(int, signalNumber);
    SignalWatcher watcher;
    QVERIFY(watcher.isValid());
    // A search that answers at once, every round: the loop stays busy.
    WatchRunner runner([](const WatchRunner::Done &done) { done({true, {cam(1)}, QString()}); });
    runner.setIntervalMs(5);
    connect(&watcher, &SignalWatcher::terminationRequested, &runner, &WatchRunner::stop);
    QSignalSpy finished(&runner, &WatchRunner::finished);
    runner.start();
    QTRY_VERIFY(runner.rounds() >= 2);
    QCOMPARE(::raise(signalNumber), 0);
    QVERIFY(finished.wait(5000));
    QVERIFY(!runner.isRunning());
    const int rounds = runner.rounds();
    QTest::qWait(50);
    QCOMPARE(runner.rounds(), rounds);
}

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
