// Power-on and the interface monitor in the test LAN, through SearchManager
// as the main window and the web page use it: one adapter, one camera side,
// so every message the program sends reaches the camera exactly once.
#include "discoveryservice.h"
#include "camsimprocess.h"
#include "searchmanager.h"
#include "testlan.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

class TestLanPower : public QObject
{
    Q_OBJECT

private:
    DiscoveryService *discovery = nullptr;
    SearchManager *manager = nullptr;
    CamsimProcess *camsim = nullptr;

    // Each test uses its own camera address: the program numbers VISCA
    // messages per address for its whole life, so a fresh address starts at 0.
    bool startCamera(const QString &ip, const QString &mac, const QString &power)
    {
        camsim = new CamsimProcess(this);
        const bool ok = camsim->start(0, {QStringLiteral("--camera"),
                                          QStringLiteral("ip=%1,mac=%2,power=%3").arg(ip, mac, power)});
        if (!ok)
            qWarning("%s", qPrintable(camsim->errorText()));
        return ok;
    }

    QList<QJsonObject> viscaFor(const QString &mac) const
    {
        QList<QJsonObject> mine;
        const QList<QJsonObject> all = camsim->events(QStringLiteral("visca"));
        for (const QJsonObject &e : all) {
            if (e.value(QStringLiteral("camera")).toString() == mac)
                mine.append(e);
        }
        return mine;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QCOMPARE(TestLan::cameraNamespaces().size(), 1);
        discovery = new DiscoveryService;
        manager = SearchManager::getInstance();
        manager->setSearchTypes(SearchManager::UtilitySearchBit);
    }

    void cleanup()
    {
        delete camsim;
        camsim = nullptr;
    }

    void cleanupTestCase()
    {
        delete discovery;
        discovery = nullptr;
    }

    void powerOnStandbyCamera()
    {
        const QString ip = QStringLiteral("192.0.2.71");
        const QString mac = QStringLiteral("02:50:4d:00:07:01");
        QVERIFY(startCamera(ip, mac, QStringLiteral("standby")));
        QSignalSpy status(manager, &SearchManager::emitViscaStatus);

        QCOMPARE(manager->setPowerOn(ip, mac), 0);
        QTRY_VERIFY_WITH_TIMEOUT(status.count() >= 1, 5000);
        QCOMPARE(status.first().first().toInt(), 5);
        // Late copies or a second command would show up here.
        QTest::qWait(800);
        QCOMPARE(status.count(), 1);

        const QList<QJsonObject> seen = viscaFor(mac);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(0).value(QStringLiteral("type")).toString(), QStringLiteral("0110"));
        QCOMPARE(seen.at(0).value(QStringLiteral("seq")).toInt(), 0);
        QCOMPARE(seen.at(0).value(QStringLiteral("payload")).toString(), QStringLiteral("81090400ff"));
        QCOMPARE(seen.at(0).value(QStringLiteral("to")).toString(), ip);
        QCOMPARE(seen.at(1).value(QStringLiteral("type")).toString(), QStringLiteral("0100"));
        QCOMPARE(seen.at(1).value(QStringLiteral("seq")).toInt(), 1);
        QCOMPARE(seen.at(1).value(QStringLiteral("payload")).toString(), QStringLiteral("8101040002ff"));
        // Acknowledge, then completion, both with the command's sequence.
        const QJsonArray answers = seen.at(1).value(QStringLiteral("answer")).toArray();
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers.at(0).toString(), QStringLiteral("9041ff"));
        QCOMPARE(answers.at(1).toString(), QStringLiteral("9051ff"));
        QCOMPARE(camsim->count(QStringLiteral("power")), 1);
        QCOMPARE(camsim->count(QStringLiteral("wol")), 0);
        QVERIFY(!manager->isWaitingForPowerState());
    }

    void powerOnCameraAlreadyOn()
    {
        const QString ip = QStringLiteral("192.0.2.72");
        const QString mac = QStringLiteral("02:50:4d:00:07:02");
        // This camera comes from a configuration file, the other way to set
        // camsim up.
        QTemporaryFile config;
        QVERIFY(config.open());
        config.write(QStringLiteral(R"({"defaults": {"power": "on"}, "cameras": [{"ip": "%1", "mac": "%2"}]})")
                         .arg(ip, mac).toUtf8());
        config.flush();
        camsim = new CamsimProcess(this);
        QVERIFY2(camsim->start(0, {QStringLiteral("--config"), config.fileName()}), qPrintable(camsim->errorText()));
        QSignalSpy status(manager, &SearchManager::emitViscaStatus);

        QCOMPARE(manager->setPowerOn(ip, mac), 0);
        QTRY_VERIFY_WITH_TIMEOUT(status.count() >= 1, 5000);
        QTest::qWait(800);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.first().first().toInt(), 0);
        // Only the inquiry: an "on" camera gets no command.
        const QList<QJsonObject> seen = viscaFor(mac);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().value(QStringLiteral("seq")).toInt(), 0);
        QCOMPARE(seen.first().value(QStringLiteral("payload")).toString(), QStringLiteral("81090400ff"));
        QCOMPARE(camsim->count(QStringLiteral("power")), 0);
    }

    void silentCameraGetsWakeOnLan()
    {
        const QString ip = QStringLiteral("192.0.2.73");
        const QString mac = QStringLiteral("02:50:4d:00:07:03");
        QVERIFY(startCamera(ip, mac, QStringLiteral("silent")));
        QSignalSpy status(manager, &SearchManager::emitViscaStatus);

        // The GUI thread must keep running while the passes go out.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(20);
        connect(&tick, &QTimer::timeout, this, [&] {
            longestGap = qMax(longestGap, sinceTick.restart());
        });

        QCOMPARE(manager->setPowerOn(ip, mac), 0);
        sinceTick.start();
        tick.start();
        // Only this camera's packets count: a wake-up of an earlier test that
        // failed could still be running.
        auto wakesForMe = [&] {
            QList<QJsonObject> mine;
            const QList<QJsonObject> all = camsim->events(QStringLiteral("wol"));
            for (const QJsonObject &w : all) {
                if (w.value(QStringLiteral("mac")).toString() == mac)
                    mine.append(w);
            }
            return mine;
        };
        QVERIFY(QTest::qWaitFor([&] { return wakesForMe().size() >= 15; }, 30000));
        QTest::qWait(3000);   // nothing may follow the fifteenth pass
        tick.stop();

        const QList<QJsonObject> inquiry = viscaFor(mac);
        QCOMPARE(inquiry.size(), 1);
        QCOMPARE(inquiry.first().value(QStringLiteral("answer")).toArray().size(), 0);
        const QList<QJsonObject> wol = wakesForMe();
        QCOMPARE(wol.size(), 15);
        for (const QJsonObject &w : wol) {
            QCOMPARE(w.value(QStringLiteral("mac")).toString(), mac);
            QCOMPARE(w.value(QStringLiteral("bytes")).toInt(), 102);
            QCOMPARE(w.value(QStringLiteral("to")).toString(), QStringLiteral("192.0.2.255"));
        }
        QCOMPARE(status.count(), 0);

        // Timing from the camera's clock: 10 s of silence, then 3 bursts of 5
        // passes, 300 ms after each pass and another 2 s after each burst.
        const double inquiryAt = inquiry.first().value(QStringLiteral("t")).toDouble();
        const double firstWake = wol.first().value(QStringLiteral("t")).toDouble() - inquiryAt;
        QVERIFY2(firstWake >= 9900 && firstWake <= 11500, qPrintable(QString::number(firstWake)));
        for (int pass = 0; pass + 1 < wol.size(); ++pass) {
            const double gap = wol.at(pass + 1).value(QStringLiteral("t")).toDouble()
                - wol.at(pass).value(QStringLiteral("t")).toDouble();
            const double expected = (pass % 5 == 4) ? 2300.0 : 300.0;
            QVERIFY2(gap >= expected - 40 && gap <= expected + 400,
                     qPrintable(QStringLiteral("gap after pass %1: %2 ms, expected %3").arg(pass).arg(gap).arg(expected)));
        }
        QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("event loop stalled for %1 ms").arg(longestGap)));
    }

    void monitorReportsAddedAddressOnce()
    {
        QSignalSpy changed(discovery, &DiscoveryService::emitNetInterfaceChanged);
        manager->setMonitoring(true);
        QTest::qWait(1500);
        QCOMPARE(changed.count(), 0);

        const QString cidr = QStringLiteral("192.0.2.200/24");
        const QString iface = TestLan::programInterface(0);
        QString out;
        QVERIFY2(TestLan::runIp({QStringLiteral("addr"), QStringLiteral("add"), cidr, QStringLiteral("dev"), iface}, &out),
                 qPrintable(out));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 4000);
        QTest::qWait(2500);   // later polls find nothing new
        QCOMPARE(changed.count(), 1);

        manager->setMonitoring(false);
        QVERIFY(TestLan::runIp({QStringLiteral("addr"), QStringLiteral("del"), cidr, QStringLiteral("dev"), iface}));
        QTest::qWait(1500);
        QCOMPARE(changed.count(), 1);   // polling is off
    }
};

QTEST_GUILESS_MAIN(TestLanPower)
#include "tst_lanpower.moc"
