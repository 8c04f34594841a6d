// The unicast sweep in a test LAN with a routed site behind a router
// (netns.sh --routed): cameras of routed subnets are found, a query lost in
// the first pass is made up by the second, broadcast replies on a local link
// are taken, a route that is missing or breaks ends the sweep with a
// message, and replies are taken while sending.
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

// The site's 203.0.113.128/25 shares its /24 with the router links, so its
// cameras take the /25's mask.
QString camera(const QString &mac, const QString &ip, const QString &extra = QString())
{
    const QString mask = ip.startsWith(QLatin1String("203.0.113.")) ? QStringLiteral("255.255.255.128")
                                                                     : QStringLiteral("255.255.255.0");
    return QStringLiteral("mac=%1,ip=%2,mask=%3,model=SWEEP-CAM,name=Cam %1").arg(mac, ip, mask)
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
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:01"), QStringLiteral("198.51.100.10")),
                           camera(QStringLiteral("02:50:4d:5e:00:02"), QStringLiteral("198.51.100.200"),
                                  QStringLiteral("reply=long,serial=SN-2")),
                           camera(QStringLiteral("02:50:4d:5e:00:03"), QStringLiteral("203.0.113.133")),
                           camera(QStringLiteral("02:50:4d:5e:00:04"), QStringLiteral("203.0.113.201"))}));
        const Outcome outcome = sweep(targets({QStringLiteral("198.51.100.0/24"), QStringLiteral("203.0.113.128/28")}));
        QVERIFY2(outcome.failures.isEmpty(), qPrintable(outcome.failures.join(QLatin1Char('\n'))));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.macs, (QStringList{QStringLiteral("02:50:4d:5e:00:01"), QStringLiteral("02:50:4d:5e:00:02"),
                                            QStringLiteral("02:50:4d:5e:00:03")}));
        QCOMPARE(outcome.progress.cameras, 3);
        // 254 + 14 addresses, both queries, two passes.
        QCOMPARE(outcome.progress.datagramsSent, quint64((254 + 14) * 4));
        QVERIFY(outcome.progress.finished);
        // Each camera heard its own four queries, and only those.
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.51.100.10")).size(), 4);
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("203.0.113.133")).size(), 4);
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("203.0.113.201")).size(), 0);
        for (const QJsonObject &query : site->events(QStringLiteral("query")))
            QCOMPARE(query.value(QStringLiteral("replies")).toInt(), 1);
    }

    // A camera that loses both queries of the first pass is found by the
    // second; one that loses both passes is not (there are exactly two).
    void secondPassCoversLostQueries()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:11"), QStringLiteral("198.51.100.11"), QStringLiteral("lose=2")),
                           camera(QStringLiteral("02:50:4d:5e:00:12"), QStringLiteral("198.51.100.12"), QStringLiteral("lose=4")),
                           camera(QStringLiteral("02:50:4d:5e:00:13"), QStringLiteral("198.51.100.13"), QStringLiteral("lose=1"))}));
        const Outcome outcome = sweep(targets({QStringLiteral("198.51.100.8-198.51.100.15")}));
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
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:31"), QStringLiteral("198.51.100.31"))}));
        const Outcome outcome = sweep(targets({QStringLiteral("198.51.100.0/24"), QStringLiteral("203.0.113.64/28")}));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.failures.size(), 1);
        QVERIFY2(outcome.failures.first().startsWith(QLatin1String("No route to 203.0.113.65 (")),
                 qPrintable(outcome.failures.first()));
        QCOMPARE(outcome.progress.datagramsSent, quint64(0));
        QVERIFY(outcome.macs.isEmpty());
        QCOMPARE(site->count(QStringLiteral("query")), 0);
    }

    // The route goes away while the sweep sends: said and ended at once, not
    // sent on into nothing until the plan's end.
    void routeBreakingWhileSendingEndsTheSweep()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:41"), QStringLiteral("198.51.100.41"))}));
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = sweep(targets({QStringLiteral("198.51.100.0/24")}), 400, 500, [] {
            QTest::qWait(300);
            QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("198.51.100.0/24")}));
        });
        QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("198.51.100.0/24"),
                                QStringLiteral("via"), QStringLiteral("203.0.113.2"), QStringLiteral("dev"),
                                QStringLiteral("wan0")}));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.failures.size(), 1);
        QVERIFY2(outcome.failures.first().contains(QLatin1String("failed")), qPrintable(outcome.failures.first()));
        QVERIFY(outcome.progress.datagramsSent > 0);
        QVERIFY(outcome.progress.datagramsSent < quint64(254 * 4));
        // The plan takes 2.5 s of sending; it ended well before.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // Replies are taken while the sweep still sends, not left queued until
    // its end; a slot that ends the sweep on a reply taken then ends it at
    // once, with nothing more pushed.
    void repliesTakenWhileSending()
    {
        QVERIFY(startSite({camera(QStringLiteral("02:50:4d:5e:00:51"), QStringLiteral("198.51.100.2")),
                           camera(QStringLiteral("02:50:4d:5e:00:52"), QStringLiteral("198.51.100.3"))}));
        UtilitySweep sweep;
        // 254 addresses at 1000 datagrams a second: about a second of sending.
        sweep.setTargets(targets({QStringLiteral("198.51.100.0/24")}));
        sweep.setRate(1000);
        QStringList found;
        bool foundWhileSending = false;
        connect(&sweep, &UtilitySweep::deviceFound, &sweep, [&](const DeviceRecord &record) {
            found << record.mac;
            foundWhileSending = sweep.progress().sendingEndedMs < 0;
            sweep.stop();
        });
        QSignalSpy finished(&sweep, &UtilitySweep::finished);
        QElapsedTimer clock;
        clock.start();
        sweep.start();
        QVERIFY(finished.wait(5000));
        QTest::qWait(100);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(found.size(), 1);
        QVERIFY(foundWhileSending);
        QVERIFY2(clock.elapsed() < 800, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(sweep.progress().datagramsSent < quint64(254 * 4));
        QVERIFY(!sweep.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestLanSweep)
#include "tst_lansweep.moc"
