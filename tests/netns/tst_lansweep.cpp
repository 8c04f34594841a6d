// The unicast sweep in a test LAN with a routed site behind a router
// (netns.sh --routed): cameras of routed subnets are found, a query lost in
// the first pass is made up by the second, broadcast replies on a local link
// are taken, and a route that is missing or breaks ends the sweep with a
// message.
#include "camsimprocess.h"
#include "devicerecord.h"
#include "sweeptargets.h"
#include "testlan.h"
#include "utilitysweep.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

Ipv4RangeSet targets(const QStringList &entries)
{
    Ipv4RangeSet set;
    for (const QString &entry : entries) {
        QString error;
        if (!SweepTargets::parseEntry(entry, &set, &error))
            qFatal("bad target %s: %s", qPrintable(entry), qPrintable(error));
    }
    return set;
}

QString camera(const QString &mac, const QString &ip, const QString &extra = QString())
{
    return QStringLiteral("mac=%1,ip=%2,mask=255.255.255.0,model=SWEEP-CAM,name=Cam %1").arg(mac, ip)
           + (extra.isEmpty() ? QString() : QStringLiteral(",") + extra);
}

} // namespace

class TestLanSweep : public QObject
{
    Q_OBJECT

private:
    CamsimProcess *site = nullptr;

    struct Outcome
    {
        QStringList macs;
        QStringList failures;
        int finishedCount = 0;
        SweepProgress progress;
    };

    // Runs one sweep to its end and collects what it pushed.
    static Outcome sweep(const Ipv4RangeSet &set, int rate = 20000, int replyWindowMs = 500,
                         const std::function<void()> &whileSending = {})
    {
        UtilitySweep sweep;
        sweep.setTargets(set);
        sweep.setRate(rate);
        sweep.setReplyWindowMs(replyWindowMs);
        Outcome outcome;
        connect(&sweep, &UtilitySweep::deviceFound, &sweep,
                [&](const DeviceRecord &record) { outcome.macs << record.mac; });
        connect(&sweep, &UtilitySweep::failed, &sweep, [&](const QString &message) { outcome.failures << message; });
        QSignalSpy finished(&sweep, &UtilitySweep::finished);
        sweep.start();
        if (whileSending)
            whileSending();
        if (!finished.wait(int(sweep.plan().durationMs()) + 10000))
            qWarning("the sweep did not finish");
        QTest::qWait(50);   // nothing may follow finished()
        outcome.finishedCount = finished.count();
        outcome.progress = sweep.progress();
        outcome.macs.sort();
        return outcome;
    }

    bool startSite(const QStringList &cameras)
    {
        delete site;
        site = new CamsimProcess(this);
        QStringList args{QStringLiteral("--quiet")};
        for (const QString &c : cameras)
            args << QStringLiteral("--camera") << c;
        if (!site->start(TestLan::siteSide(), args)) {
            qWarning("%s", qPrintable(site->errorText()));
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::siteSide() >= 0, "the suite needs netns.sh --routed");
    }

    void cleanup()
    {
        if (site)
            site->stop();
    }

    // Cameras in two routed subnets answer their own address's probes, by
    // the short and the long reply; one outside the targets hears nothing.
    void findsRoutedCameras()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:01"), QStringLiteral("198.18.3.10")),
                           camera(QStringLiteral("02:50:4d:5e:00:02"), QStringLiteral("198.18.3.200"),
                                  QStringLiteral("reply=long,serial=SN-2")),
                           camera(QStringLiteral("02:50:4d:5e:00:03"), QStringLiteral("198.18.4.5")),
                           camera(QStringLiteral("02:50:4d:5e:00:04"), QStringLiteral("198.18.9.9"))}));
        const Outcome outcome = sweep(targets({QStringLiteral("198.18.3.0/24"), QStringLiteral("198.18.4.0/28")}));
        QVERIFY2(outcome.failures.isEmpty(), qPrintable(outcome.failures.join(QLatin1Char('\n'))));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.macs, (QStringList{QStringLiteral("02:50:4d:5e:00:01"), QStringLiteral("02:50:4d:5e:00:02"),
                                            QStringLiteral("02:50:4d:5e:00:03")}));
        QCOMPARE(outcome.progress.cameras, 3);
        // 254 + 14 addresses, both queries, two passes.
        QCOMPARE(outcome.progress.datagramsSent, quint64((254 + 14) * 4));
        QVERIFY(outcome.progress.finished);
        // Each camera heard its own four queries, and only those.
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.18.3.10")).size(), 4);
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.18.4.5")).size(), 4);
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.18.9.9")).size(), 0);
        for (const QJsonObject &query : site->events(QStringLiteral("query")))
            QCOMPARE(query.value(QStringLiteral("replies")).toInt(), 1);
    }

    // A camera that loses both queries of the first pass is found by the
    // second; one that loses both passes is not (there are exactly two).
    void secondPassCoversLostQueries()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:11"), QStringLiteral("198.18.5.11"), QStringLiteral("lose=2")),
                           camera(QStringLiteral("02:50:4d:5e:00:12"), QStringLiteral("198.18.5.12"), QStringLiteral("lose=4")),
                           camera(QStringLiteral("02:50:4d:5e:00:13"), QStringLiteral("198.18.5.13"), QStringLiteral("lose=1"))}));
        const Outcome outcome = sweep(targets({QStringLiteral("198.18.5.8-198.18.5.15")}));
        QVERIFY2(outcome.failures.isEmpty(), qPrintable(outcome.failures.join(QLatin1Char('\n'))));
        QCOMPARE(outcome.macs, (QStringList{QStringLiteral("02:50:4d:5e:00:11"), QStringLiteral("02:50:4d:5e:00:13")}));
        int lost = 0;
        for (const QJsonObject &query : site->events(QStringLiteral("query")))
            lost += query.value(QStringLiteral("lost")).toInt();
        QCOMPARE(lost, 2 + 4 + 1);
    }

    // On a local link a camera may answer by broadcast, which only the
    // wildcard socket hears; a unicast answer from the same link counts once.
    void takesBroadcastRepliesOnLocalLink()
    {
        CamsimProcess local;
        QVERIFY2(local.start(0, {QStringLiteral("--quiet"), QStringLiteral("--camera"),
                                 camera(QStringLiteral("02:50:4d:5e:00:21"), QStringLiteral("192.0.2.21"),
                                        QStringLiteral("send=broadcast")),
                                 QStringLiteral("--camera"),
                                 camera(QStringLiteral("02:50:4d:5e:00:22"), QStringLiteral("192.0.2.22"))}),
                 qPrintable(local.errorText()));
        const Outcome outcome = sweep(targets({QStringLiteral("192.0.2.16/28")}));
        local.stop();
        QVERIFY2(outcome.failures.isEmpty(), qPrintable(outcome.failures.join(QLatin1Char('\n'))));
        QCOMPARE(outcome.macs, (QStringList{QStringLiteral("02:50:4d:5e:00:21"), QStringLiteral("02:50:4d:5e:00:22")}));
        QCOMPARE(outcome.progress.cameras, 2);
    }

    // No route to a target: said, ended, nothing sent.
    void missingRouteEndsBeforeSending()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:31"), QStringLiteral("198.18.6.31"))}));
        const Outcome outcome = sweep(targets({QStringLiteral("198.18.6.0/24"), QStringLiteral("198.51.100.0/28")}));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.failures.size(), 1);
        QVERIFY2(outcome.failures.first().startsWith(QLatin1String("No route to 198.51.100.1 (")),
                 qPrintable(outcome.failures.first()));
        QCOMPARE(outcome.progress.datagramsSent, quint64(0));
        QVERIFY(outcome.macs.isEmpty());
        QCOMPARE(site->count(QStringLiteral("query")), 0);
    }

    // The route goes away while the sweep sends: said and ended at once, not
    // sent on into nothing until the plan's end.
    void routeBreakingWhileSendingEndsTheSweep()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:41"), QStringLiteral("198.18.7.41"))}));
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = sweep(targets({QStringLiteral("198.18.7.0/24")}), 400, 500, [] {
            QTest::qWait(300);
            QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("198.18.0.0/15")}));
        });
        QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("198.18.0.0/15"),
                                QStringLiteral("via"), QStringLiteral("203.0.113.254"), QStringLiteral("dev"),
                                QStringLiteral("wan0")}));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.failures.size(), 1);
        QVERIFY2(outcome.failures.first().contains(QLatin1String("failed")), qPrintable(outcome.failures.first()));
        QVERIFY(outcome.progress.datagramsSent > 0);
        QVERIFY(outcome.progress.datagramsSent < quint64(254 * 4));
        // The plan takes 2.5 s of sending; it ended well before.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestLanSweep)
#include "tst_lansweep.moc"
