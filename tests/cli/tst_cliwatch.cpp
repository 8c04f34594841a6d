// pathmere-cli watch in the test LAN: the real binary searching in rounds
// while camsim cameras go away, move, get new firmware and lose an answer.
#include "camsimprocess.h"
#include "jsonlinesprocess.h"
#include "testlan.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString cliPath()
{
    return qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli");
}

// A running `pathmere-cli watch`, its events read as they come.
class WatchProcess : public JsonLinesProcess
{
public:
    explicit WatchProcess(QObject *parent = nullptr)
        : JsonLinesProcess(parent)
    {
        keepErrorOutput();
    }

    bool start(const QStringList &options)
    {
        process().start(cliPath(), QStringList{QStringLiteral("watch")} + options);
        return process().waitForStarted(5000);
    }

    // Sends the signal and waits for the end; the exit code, or -1 when it
    // did not end on its own or crashed.
    int endWith(int signalNumber, int timeoutMs)
    {
        ::kill(pid_t(process().processId()), signalNumber);
        const bool ended = QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs);
        if (!ended) {
            stop(1000);
            return -1;
        }
        return process().exitStatus() == QProcess::NormalExit ? process().exitCode() : -1;
    }

    // Events about one MAC, in order.
    QList<QJsonObject> about(const QString &mac) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject &event : events()) {
            if (event.value(QStringLiteral("mac")).toString() == mac)
                found.append(event);
        }
        return found;
    }

    QByteArray dump(const QString &mac) const
    {
        QJsonArray list;
        for (const QJsonObject &event : about(mac))
            list.append(event);
        return QJsonDocument(list).toJson(QJsonDocument::Compact);
    }

    QStringList kinds(const QString &mac) const
    {
        QStringList list;
        for (const QJsonObject &event : about(mac))
            list.append(event.value(QStringLiteral("event")).toString());
        return list;
    }
};

const QString MacA = QStringLiteral("02:50:4d:00:0f:01");
const QString MacB = QStringLiteral("02:50:4d:00:0f:02");
const QString MacC = QStringLiteral("02:50:4d:00:0f:03");
const QString MacE = QStringLiteral("02:50:4d:00:0f:05");
const QString MacG = QStringLiteral("02:50:4d:00:0f:07");

QString cam(const QString &mac, const QString &ip, const QString &extra = QString())
{
    // A name of its own: camsim's default one counts the cameras given.
    return QStringLiteral("mac=%1,ip=%2,model=SIM-W,name=W-%3").arg(mac, ip, mac.right(2)) + (extra.isEmpty() ? QString() : QLatin1Char(',') + extra);
}

} // namespace

class TestCliWatch : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CamsimProcess> camsim;

    bool startCameras(const QStringList &cameras)
    {
        camsim = std::make_unique<CamsimProcess>();
        if (!camsim->startCameras(0, cameras)) {
            qWarning("%s", qPrintable(camsim->errorText()));
            return false;
        }
        return true;
    }

    // Queries camsim has seen so far (two a round from one adapter).
    int queries() const { return camsim ? camsim->count(QStringLiteral("query")) : 0; }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(QFile::exists(cliPath()), qPrintable(cliPath()));
    }

    void cleanup() { camsim.reset(); }

    // Between two rounds one camera is switched off, one readdressed, one
    // given new firmware, and one loses the next round's queries: the
    // watch reports the first three, once each, and nothing about the
    // fourth. SIGTERM then ends it with exit 0.
    void reportsWhatChangedBetweenRounds()
    {
        QVERIFY(startCameras({cam(MacA, QStringLiteral("192.0.2.81"), QStringLiteral("fw=1.0.0")),
                              cam(MacB, QStringLiteral("192.0.2.82")), cam(MacC, QStringLiteral("192.0.2.83")),
                              cam(MacE, QStringLiteral("192.0.2.85"))}));
        WatchProcess watch;
        QVERIFY(watch.start({QStringLiteral("--adapter"), QStringLiteral("lan0"), QStringLiteral("--seconds"),
                             QStringLiteral("1"), QStringLiteral("--interval"), QStringLiteral("4")}));
        QTRY_COMPARE_WITH_TIMEOUT(watch.count(QStringLiteral("appeared")), 4, 15000);
        for (const QString &mac : {MacA, MacB, MacC, MacE})
            QCOMPARE(watch.kinds(mac), QStringList{QStringLiteral("appeared")});

        // The first round has ended (its events are out): the next starts
        // about three seconds later, time enough for camsim to restart.
        camsim.reset();
        QVERIFY(startCameras({cam(MacA, QStringLiteral("192.0.2.81"), QStringLiteral("fw=1.1.0")),
                              cam(MacB, QStringLiteral("192.0.2.92")),
                              cam(MacC, QStringLiteral("192.0.2.83"), QStringLiteral("lose=2"))}));
        QTRY_COMPARE_WITH_TIMEOUT(watch.count(QStringLiteral("disappeared")), 1, 20000);
        QCOMPARE(watch.kinds(MacE), (QStringList{QStringLiteral("appeared"), QStringLiteral("disappeared")}));
        QCOMPARE(watch.kinds(MacA), (QStringList{QStringLiteral("appeared"), QStringLiteral("changed")}));
        const QJsonObject changes = watch.about(MacA).last().value(QStringLiteral("changes")).toObject();
        QCOMPARE(changes.keys(), QStringList{QStringLiteral("fwVersion")});
        QCOMPARE(changes.value(QStringLiteral("fwVersion")).toObject().value(QStringLiteral("from")).toString(),
                 QStringLiteral("1.0.0"));
        QCOMPARE(changes.value(QStringLiteral("fwVersion")).toObject().value(QStringLiteral("to")).toString(),
                 QStringLiteral("1.1.0"));
        QCOMPARE(watch.kinds(MacB), (QStringList{QStringLiteral("appeared"), QStringLiteral("moved")}));
        QCOMPARE(watch.about(MacB).last().value(QStringLiteral("from")).toString(), QStringLiteral("192.0.2.82"));
        QCOMPARE(watch.about(MacB).last().value(QStringLiteral("to")).toString(), QStringLiteral("192.0.2.92"));

        // The camera that lost one round's queries really missed it, and
        // answered the rounds after: two more rounds and still no event.
        int lost = 0;
        for (const QJsonObject &query : camsim->events(QStringLiteral("query")))
            lost += query.value(QStringLiteral("lost")).toInt();
        QCOMPARE(lost, 2);
        const int seen = queries();
        QTRY_VERIFY_WITH_TIMEOUT(queries() >= seen + 4, 15000);
        QTest::qWait(2000);
        QCOMPARE(watch.kinds(MacC), QStringList{QStringLiteral("appeared")});
        QCOMPARE(watch.events().size(), 7);

        QCOMPARE(watch.endWith(SIGTERM, 5000), 0);
        QVERIFY2(!watch.errorOutput().contains(QLatin1String("rror")), qPrintable(watch.errorOutput()));
        for (const QJsonObject &event : watch.events())
            QVERIFY(event.value(QStringLiteral("time")).toString().endsWith(QLatin1Char('Z')));
    }

    // A signal in the middle of a long search ends the watch at once, with
    // exit 0 and no event from the search it cut short.
    void signalEndsWatchMidSearch_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signalEndsWatchMidSearch()
    {
        QFETCH(int, signalNumber);
        QVERIFY(startCameras({cam(MacA, QStringLiteral("192.0.2.81"))}));
        WatchProcess watch;
        QVERIFY(watch.start({QStringLiteral("--adapter"), QStringLiteral("lan0"), QStringLiteral("--seconds"),
                             QStringLiteral("30")}));
        QTRY_VERIFY_WITH_TIMEOUT(queries() >= 2, 10000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(watch.endWith(signalNumber, 5000), 0);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(watch.events().isEmpty());
    }

    // With a list saved earlier, the first round reports what is new since
    // then and what changed; what the list had and the LAN no longer has is
    // reported gone after two rounds. Both saved formats.
    void baselineReportsSinceTheLastVisit_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("json") << QStringLiteral("json");
        QTest::newRow("csv") << QStringLiteral("csv");
    }

    void baselineReportsSinceTheLastVisit()
    {
        QFETCH(QString, format);
        QVERIFY(startCameras({cam(MacA, QStringLiteral("192.0.2.81"), QStringLiteral("fw=1.0.0")),
                              cam(MacB, QStringLiteral("192.0.2.82")), cam(MacC, QStringLiteral("192.0.2.83"))}));
        QProcess search;
        search.start(cliPath(), {QStringLiteral("search"), QStringLiteral("--adapter"), QStringLiteral("lan0"),
                                 QStringLiteral("--seconds"), QStringLiteral("1"), QStringLiteral("--format"), format});
        QVERIFY(search.waitForFinished(30000));
        QCOMPARE(search.exitCode(), 0);
        QTemporaryDir dir;
        QFile saved(dir.filePath(QStringLiteral("last-visit.") + format));
        QVERIFY(saved.open(QIODevice::WriteOnly));
        saved.write(search.readAllStandardOutput());
        saved.close();

        camsim.reset();
        QVERIFY(startCameras({cam(MacA, QStringLiteral("192.0.2.81"), QStringLiteral("fw=2.0.0")),
                              cam(MacC, QStringLiteral("192.0.2.83")), cam(MacG, QStringLiteral("192.0.2.87"))}));
        WatchProcess watch;
        QVERIFY(watch.start({QStringLiteral("--adapter"), QStringLiteral("lan0"), QStringLiteral("--seconds"),
                             QStringLiteral("1"), QStringLiteral("--interval"), QStringLiteral("2"),
                             QStringLiteral("--baseline"), saved.fileName()}));
        QTRY_COMPARE_WITH_TIMEOUT(watch.count(QStringLiteral("disappeared")), 1, 20000);
        QCOMPARE(watch.kinds(MacG), QStringList{QStringLiteral("appeared")});
        QCOMPARE(watch.kinds(MacA), QStringList{QStringLiteral("changed")});
        QCOMPARE(watch.kinds(MacB), QStringList{QStringLiteral("disappeared")});
        QCOMPARE(watch.about(MacB).first().value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.82"));
        QVERIFY2(watch.kinds(MacC).isEmpty(), watch.dump(MacC).constData());
        QCOMPARE(watch.endWith(SIGTERM, 5000), 0);
    }

    void usageAndBaselineErrors()
    {
        const auto run = [](const QStringList &args) {
            QProcess process;
            process.start(cliPath(), QStringList{QStringLiteral("watch")} + args);
            if (!process.waitForFinished(30000))
                return std::make_pair(-1, QByteArray());
            return std::make_pair(process.exitCode(), process.readAllStandardError() + process.readAllStandardOutput());
        };
        for (const QString &interval : {QStringLiteral("0"), QStringLiteral("86401"), QStringLiteral("ten"), QString()}) {
            const auto r = run({QStringLiteral("--interval"), interval});
            QCOMPARE(r.first, 2);
            QVERIFY2(r.second.contains("--interval"), r.second.constData());
        }
        QCOMPARE(run({QStringLiteral("extra")}).first, 2);
        QTemporaryDir dir;
        const auto missing = run({QStringLiteral("--baseline"), dir.filePath(QStringLiteral("none.json"))});
        QCOMPARE(missing.first, 1);
        QFile garbage(dir.filePath(QStringLiteral("garbage.json")));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("[{\"mac\": 3");
        garbage.close();
        const auto broken = run({QStringLiteral("--baseline"), garbage.fileName()});
        QCOMPARE(broken.first, 1);
        QVERIFY(!broken.second.isEmpty());
        const auto help = run({QStringLiteral("--help")});
        QCOMPARE(help.first, 0);
        QVERIFY(help.second.contains("Example:\n  pathmere-cli watch"));
    }
};

QTEST_GUILESS_MAIN(TestCliWatch)
#include "tst_cliwatch.moc"
