// New settings for cameras from the records to the confirming search, as
// every front end runs them, against simulated cameras in the test LAN: a
// camera that takes its settings, one that answers "Invalid ID", a batch in
// which not every camera shows what it was sent, and a front end that paces
// the job itself.
#include "applysettingsjob.h"
#include "camsimsides.h"
#include "discoveryservice.h"
#include "searchmanager.h"
#include "testlan.h"
#include "utilityprotocol.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <optional>

namespace {

CameraSettings staticSettings(const QString &ip, const QString &name)
{
    CameraSettings settings;
    settings.dhcp = false;
    settings.ip = UtilityProtocol::ipv4FromText(ip);
    settings.mask = UtilityProtocol::ipv4FromText(QStringLiteral("255.255.255.0"));
    settings.gateway = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.254"));
    settings.dns1 = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.53"));
    settings.dns2 = UtilityProtocol::ipv4FromText(QStringLiteral("198.51.100.53"));
    settings.name = name;
    return settings;
}

QString camera(const QString &ip, const QString &mac, const QString &extra = QString())
{
    return QStringLiteral("ip=%1,mac=%2,model=CAM-1,name=Desk%3").arg(ip, mac, extra);
}

// A job and the spies on its signals.
struct WatchedJob
{
    WatchedJob(SearchManager *manager, const QList<ApplySettingsJob::Change> &changes, const Credentials &credentials,
               const ApplySettingsJob::Options &options)
        : job(manager, changes, credentials, options)
        , finished(&job, &ApplySettingsJob::finished)
        , searching(&job, &ApplySettingsJob::confirmingSearchStarted)
        , failed(&job, &ApplySettingsJob::settingFailed)
    {
    }
    int result() const { return finished.isEmpty() ? -1 : finished.first().first().toInt(); }

    ApplySettingsJob job;
    QSignalSpy finished;
    QSignalSpy searching;
    QSignalSpy failed;
};

} // namespace

class TestApplySettingsJob : public QObject
{
    Q_OBJECT

private:
    std::optional<DiscoveryService> discovery;
    SearchManager *manager = nullptr;
    CamsimSides side;

    // The cameras' events since they were found.
    QList<QJsonObject> events(const QString &name) const { return side[0]->events(name); }
    // The cameras' answers to a search: both queries, then time for the
    // replies. False when the queries never came.
    bool waitForAnswers() const
    {
        const bool asked = QTest::qWaitFor([&] { return side[0]->count(QStringLiteral("query")) >= 2; }, 5000);
        QTest::qWait(700);
        return asked;
    }

    // Starts the cameras and finds them as the window does: the records the
    // job starts from. False unless every camera was found.
    bool startAndFind(const QStringList &cameras, QList<DeviceRecord> *found)
    {
        if (!side.startCameras(0, cameras))
            return false;
        manager->startSearch(QString());
        (void)waitForAnswers();
        *found = manager->getDeviceList();
        side[0]->clearEvents();
        return found->size() == cameras.size();
    }

    static ApplySettingsJob::Options quick()
    {
        ApplySettingsJob::Options options;
        options.refusalWaitMs = 1000;
        options.searchMs = 2500;
        return options;
    }

    static const Credentials admin;

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        discovery.emplace();
        manager = discovery->searchManager();
        manager->setSearchTypes(SearchManager::UtilitySearchBit);
    }

    void cleanup()
    {
        side.stop();
    }

    void cleanupTestCase() { discovery.reset(); }

    void cameraShowsItsSettings()
    {
        const QString mac = QStringLiteral("02:50:4d:00:0a:01");
        QList<DeviceRecord> before;
        QVERIFY(startAndFind({camera(QStringLiteral("192.0.2.110"), mac)}, &before));

        const CameraSettings wanted = staticSettings(QStringLiteral("192.0.2.111"), QStringLiteral("Desk"));
        WatchedJob w(manager, {{before.first(), wanted}}, admin, quick());
        QElapsedTimer clock;
        clock.start();
        w.job.start();
        QVERIFY(w.job.isRunning());
        QCOMPARE(w.job.status(0), ApplySettingsJob::Pending);

        // The confirming search waits until a refusal could have come.
        QVERIFY(w.searching.wait(3000));
        QVERIFY2(clock.elapsed() >= 950, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.finished.count(), 0);
        QVERIFY(w.finished.wait(5000));
        QCOMPARE(w.result(), int(ApplySettingsJob::Confirmed));
        QCOMPARE(w.failed.count(), 0);
        QVERIFY(!w.job.wasRefused());
        QVERIFY(!w.job.isRunning());

        const QList<QJsonObject> applied = events(QStringLiteral("settings"));
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied.first().value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
        // What the confirming search found, not the list before it.
        QCOMPARE(w.job.status(0), ApplySettingsJob::Shown);
        QCOMPARE(w.job.foundAfter().size(), 1);
        const DeviceRecord *now = w.job.foundTarget(0);
        QVERIFY(now);
        QCOMPARE(now->mac, mac);
        QCOMPARE(now->ip, QStringLiteral("192.0.2.111"));
        QCOMPARE(now->gateway, QStringLiteral("192.0.2.254"));
        QVERIFY(!w.job.foundTarget(1));
        QVERIFY(!w.job.foundTarget(-1));
    }

    void invalidIdEndsTheJob()
    {
        const QString mac = QStringLiteral("02:50:4d:00:0a:02");
        QList<DeviceRecord> before;
        QVERIFY(startAndFind({camera(QStringLiteral("192.0.2.112"), mac)}, &before));

        ApplySettingsJob::Options options = quick();
        options.refusalWaitMs = 4000;
        WatchedJob w(manager, {{before.first(), staticSettings(QStringLiteral("192.0.2.113"), QStringLiteral("x"))}},
                 Credentials{QStringLiteral("admin"), QStringLiteral("wrong")}, options);
        QElapsedTimer clock;
        clock.start();
        w.job.start();
        // Ends with the refusal, long before the refusal wait is over.
        QVERIFY(w.finished.wait(3000));
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.result(), int(ApplySettingsJob::Refused));
        QCOMPARE(w.failed.count(), 1);
        QCOMPARE(w.failed.first().first().toInt(), int(UtilitySearch::SettingUnauthorized));
        QVERIFY(w.job.wasRefused());
        QCOMPARE(w.searching.count(), 0);
        QCOMPARE(events(QStringLiteral("settings")).first().value(QStringLiteral("result")).toString(),
                 QStringLiteral("refused"));
        // Nothing more happens once it ended.
        QTest::qWait(options.refusalWaitMs + 500);
        QCOMPARE(w.finished.count(), 1);
        QCOMPARE(w.searching.count(), 0);
    }

    void batchWhereNotEveryCameraShowsItsSettings()
    {
        const QString taking = QStringLiteral("02:50:4d:00:0a:03");
        const QString refusing = QStringLiteral("02:50:4d:00:0a:04");
        QList<DeviceRecord> before;
        QVERIFY(startAndFind({camera(QStringLiteral("192.0.2.114"), taking),
                              camera(QStringLiteral("192.0.2.115"), refusing, QStringLiteral(",user=operator"))}, &before));
        const DeviceRecord *first = ApplySettingsJob::findCamera(before, taking);
        const DeviceRecord *second = ApplySettingsJob::findCamera(before, refusing);
        QVERIFY(first && second);
        // A camera that is gone by now.
        DeviceRecord gone = *first;
        gone.mac = QStringLiteral("02:50:4d:00:0a:05");
        gone.ip = QStringLiteral("192.0.2.116");

        ApplySettingsJob::Options options = quick();
        options.endsOnRefusal = false;
        const QList<ApplySettingsJob::Change> changes = {
            {*first, staticSettings(QStringLiteral("192.0.2.117"), QStringLiteral("one"))},
            {*second, staticSettings(QStringLiteral("192.0.2.118"), QStringLiteral("two"))},
            {gone, staticSettings(QStringLiteral("192.0.2.119"), QStringLiteral("three"))},
        };
        WatchedJob w(manager, changes, admin, options);
        w.job.start();
        QVERIFY(w.finished.wait(8000));
        QCOMPARE(w.result(), int(ApplySettingsJob::NotConfirmed));
        // The refusal was noted, and the search still ran for the others.
        QVERIFY(w.job.wasRefused());
        QCOMPARE(w.searching.count(), 1);
        QCOMPARE(w.job.status(0), ApplySettingsJob::Shown);
        QCOMPARE(w.job.status(1), ApplySettingsJob::ShowsOther);
        QCOMPARE(w.job.status(2), ApplySettingsJob::Silent);
        QCOMPARE(w.job.foundTarget(1)->ip, QStringLiteral("192.0.2.115"));
        QCOMPARE(w.job.foundAfter().size(), 2);
    }

    void frontEndPacesTheJob()
    {
        const QString mac = QStringLiteral("02:50:4d:00:0a:06");
        QList<DeviceRecord> before;
        QVERIFY(startAndFind({camera(QStringLiteral("192.0.2.120"), mac, QStringLiteral(",dhcp=0"))}, &before));

        ApplySettingsJob::Options options;
        options.refusalWaitMs = -1;
        options.searchMs = -1;
        WatchedJob w(manager, {{before.first(), staticSettings(QStringLiteral("192.0.2.121"), QStringLiteral("Desk"))}},
                 admin, options);
        w.job.start();
        // Ending a search that has not begun does nothing.
        w.job.conclude();
        QTest::qWait(1500);
        QCOMPARE(w.searching.count(), 0);
        QCOMPARE(w.finished.count(), 0);
        QVERIFY(w.job.isRunning());

        w.job.confirm();
        QCOMPARE(w.searching.count(), 1);
        QVERIFY(waitForAnswers());
        QCOMPARE(w.finished.count(), 0);
        w.job.conclude();
        QCOMPARE(w.finished.count(), 1);
        QCOMPARE(w.result(), int(ApplySettingsJob::Confirmed));
        QCOMPARE(w.job.foundTarget(0)->ip, QStringLiteral("192.0.2.121"));
        // Late calls change nothing.
        w.job.confirm();
        w.job.conclude();
        QCOMPARE(w.finished.count(), 1);
        QCOMPARE(w.searching.count(), 1);
    }
};

const Credentials TestApplySettingsJob::admin{QStringLiteral("admin"), QStringLiteral("admin")};

QTEST_GUILESS_MAIN(TestApplySettingsJob)
#include "tst_applysettingsjob.moc"
