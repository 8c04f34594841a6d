// The utility search in the test LAN, driven through SearchManager the way
// the main window drives it: two adapters, cameras behind each.
#include "discoveryservice.h"
#include "camsimsides.h"
#include "devicerecord.h"
#include "recordinglogger.h"
#include "searchmanager.h"
#include "testlan.h"
#include "utilityprotocol.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

struct Expected
{
    QString mac, model, name, fw, ip, mask, gateway, dns1, dns2, ipv6, serial;
    bool dhcp = false;

    QString spec() const
    {
        return QStringLiteral("mac=%1,model=%2,name=%3,fw=%4,ip=%5,mask=%6,gateway=%7,dns1=%8,dns2=%9,")
                   .arg(mac, model, name, fw, ip, mask, gateway, dns1, dns2)
            + QStringLiteral("ipv6=%1,serial=%2,dhcp=%3").arg(ipv6, serial, dhcp ? QStringLiteral("1") : QStringLiteral("0"));
    }
};

// Cameras of one subnet, varied enough that a field mix-up shows.
QList<Expected> camerasFor(const QString &net, int count)
{
    QList<Expected> list;
    for (int i = 0; i < count; ++i) {
        Expected e;
        e.mac = QStringLiteral("02:50:4d:%1:%2:%3")
                    .arg(net.startsWith(QLatin1String("192")) ? QStringLiteral("c0") : QStringLiteral("c6"))
                    .arg(i, 2, 10, QLatin1Char('0')).arg(0x10 + i, 2, 16, QLatin1Char('0'));
        e.model = i % 2 ? QStringLiteral("PTZ-%1X").arg(20 + i) : QStringLiteral("BOX-%1").arg(i);
        e.name = QStringLiteral("Room %1 %2").arg(net.section(QLatin1Char('.'), 0, 0)).arg(i);
        e.fw = QStringLiteral("3.%1.%2").arg(i).arg(7 * i);
        e.ip = QStringLiteral("%1.%2").arg(net).arg(40 + i);
        e.mask = QStringLiteral("255.255.255.0");
        e.gateway = net + QStringLiteral(".1");
        e.dns1 = net + QStringLiteral(".53");
        e.dns2 = QStringLiteral("203.0.113.%1").arg(53 + i);
        e.ipv6 = QStringLiteral("2001:db8:%1::%2").arg(i + 1).arg(i + 9);
        e.serial = QStringLiteral("SN-%1-%2").arg(net.section(QLatin1Char('.'), 0, 0)).arg(1000 + i);
        e.dhcp = (i == 1);
        list.append(e);
    }
    return list;
}

QStringList camsimArgs(const QList<Expected> &cameras, const QStringList &extra)
{
    QStringList args = extra;
    for (const Expected &e : cameras)
        args << QStringLiteral("--camera") << e.spec();
    return args;
}

const DeviceRecord *findMac(const QList<DeviceRecord> &list, const QString &mac)
{
    for (const DeviceRecord &r : list) {
        if (r.mac == mac)
            return &r;
    }
    return nullptr;
}

} // namespace

class TestLanSearch : public QObject
{
    Q_OBJECT

private:
    DiscoveryService *discovery = nullptr;
    SearchManager *manager = nullptr;
    CamsimSides side;
    RecordingLogger logger;

    int queriesSeen(int index) const
    {
        return side[index] ? side[index]->count(QStringLiteral("query")) : 0;
    }

    // A search as the window runs it: start, collect, take the list. Waits
    // for the cameras' query events instead of the full five seconds, then
    // leaves the replies time to arrive.
    QList<DeviceRecord> search(const QString &adapterIp, const QList<int> &answeringSides)
    {
        int before[2] = {queriesSeen(0), queriesSeen(1)};
        manager->startSearch(adapterIp);
        (void)QTest::qWaitFor([&] {
            for (int s : answeringSides) {
                if (queriesSeen(s) < before[s] + 2)
                    return false;
            }
            return true;
        }, 5000);
        QTest::qWait(700);
        return manager->getDeviceList();
    }

    static QList<DeviceRecord> onlySearchType0(const QList<DeviceRecord> &list)
    {
        QList<DeviceRecord> kept;
        for (const DeviceRecord &r : list) {
            if (r.searchType == DeviceRecord::BroadcastSearch)
                kept.append(r);
        }
        return kept;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::cameraNamespaces().size() >= 2, "this suite needs the two-adapter LAN");
        LogSystem::getSysLogSystem()->setLogLevel(LogSystem::LogMajorMsg);
        LogSystem::getSysLogSystem()->setLogger(&logger);
        LogSystem::getSysLogSystem()->startLog();
        discovery = new DiscoveryService;
        manager = SearchManager::getInstance();
        manager->setSearchTypes(SearchManager::UtilitySearchBit);
    }

    void cleanup()
    {
        side.stop();
    }

    void cleanupTestCase()
    {
        delete discovery;
        discovery = nullptr;
        LogSystem::getSysLogSystem()->stopLog();
        LogSystem::getSysLogSystem()->setLogger(nullptr);
    }

    void searchFindsEveryCamera_data()
    {
        QTest::addColumn<QString>("send");
        QTest::addColumn<QString>("reply");
        for (const char *send : {"unicast", "broadcast"}) {
            for (const char *reply : {"short", "long", "both"})
                QTest::addRow("%s-%s", send, reply) << QString::fromLatin1(send) << QString::fromLatin1(reply);
        }
    }

    void searchFindsEveryCamera()
    {
        QFETCH(QString, send);
        QFETCH(QString, reply);
        const QList<Expected> near = camerasFor(QStringLiteral("192.0.2"), 3);
        const QList<Expected> far = camerasFor(QStringLiteral("198.51.100"), 2);
        const QStringList common{QStringLiteral("--send"), send, QStringLiteral("--reply"), reply};
        QVERIFY(side.start(0, camsimArgs(near, common)));
        QVERIFY(side.start(1, camsimArgs(far, common)));

        const QList<DeviceRecord> list = search(QString(), {0, 1});
        QCOMPARE(list.size(), near.size() + far.size());
        // Every camera answered every query it got, and each came once.
        QCOMPARE(side[0]->events(QStringLiteral("query")).first().value(QStringLiteral("replies")).toInt(), near.size());
        for (const Expected &e : near + far) {
            const DeviceRecord *r = findMac(list, e.mac);
            QVERIFY2(r, qPrintable(e.mac));
            QCOMPARE(r->searchType, int(DeviceRecord::BroadcastSearch));
            QCOMPARE(r->model, e.model);
            QCOMPARE(r->name, e.name);
            QCOMPARE(r->fwVersion, e.fw);
            QCOMPARE(r->ip, e.ip);
            QCOMPARE(r->mask, e.mask);
            QCOMPARE(r->gateway, e.gateway);
            QCOMPARE(r->dns1, e.dns1);
            QCOMPARE(r->dns2, e.dns2);
            QCOMPARE(r->ipv6, e.ipv6);
            QCOMPARE(r->dhcp, e.dhcp);
            // Only the long reply carries the serial number; with "both" the
            // long reply to query B fills in the record of the short one.
            QCOMPARE(r->serialNo, reply == QLatin1String("short") ? QString() : e.serial);
        }
    }

    void searchLimitedToOneAdapter_data()
    {
        QTest::addColumn<QString>("send");
        QTest::newRow("unicast") << QStringLiteral("unicast");
        QTest::newRow("broadcast") << QStringLiteral("broadcast");
    }

    void searchLimitedToOneAdapter()
    {
        QFETCH(QString, send);
        const QList<Expected> near = camerasFor(QStringLiteral("192.0.2"), 2);
        const QList<Expected> far = camerasFor(QStringLiteral("198.51.100"), 3);
        QVERIFY(side.start(0, camsimArgs(near, {QStringLiteral("--send"), send})));
        QVERIFY(side.start(1, camsimArgs(far, {QStringLiteral("--send"), send})));
        const QStringList progAddresses = TestLan::programAddresses();

        for (int chosen = 0; chosen < 2; ++chosen) {
            const QList<Expected> &mine = chosen == 0 ? near : far;
            const int other = 1 - chosen;
            const int otherQueries = queriesSeen(other);
            const QList<DeviceRecord> list = search(progAddresses.at(chosen), {chosen});
            QCOMPARE(list.size(), mine.size());
            for (const Expected &e : mine)
                QVERIFY2(findMac(list, e.mac), qPrintable(e.mac));
            // The other side was never asked.
            QCOMPARE(queriesSeen(other), otherQueries);
        }

        // A search on every adapter sees both sides.
        QCOMPARE(search(QString(), {0, 1}).size(), near.size() + far.size());

        // A text that is no single local address (an adapter entry with two
        // addresses joined by "\r\n") opens nothing and finds nothing.
        const int q0 = queriesSeen(0);
        manager->startSearch(progAddresses.join(QStringLiteral("\r\n")));
        QTest::qWait(500);
        QVERIFY(manager->getDeviceList().isEmpty());
        QCOMPARE(queriesSeen(0), q0);
    }

    void settingsChangeMovesCamera_data()
    {
        QTest::addColumn<QString>("send");
        QTest::newRow("unicast") << QStringLiteral("unicast");
        QTest::newRow("broadcast") << QStringLiteral("broadcast");
    }

    void settingsChangeMovesCamera()
    {
        QFETCH(QString, send);
        Expected cam = camerasFor(QStringLiteral("192.0.2"), 1).first();
        cam.ip = QStringLiteral("192.0.2.60");
        QVERIFY(side.start(0, camsimArgs({cam}, {QStringLiteral("--send"), send, QStringLiteral("--reply"), QStringLiteral("long"),
                                               QStringLiteral("--user"), QStringLiteral("operator"),
                                               QStringLiteral("--password"), QStringLiteral("s3cret")})));
        const QList<DeviceRecord> before = search(QString(), {0});
        QCOMPARE(before.size(), 1);
        QCOMPARE(before.first().ip, cam.ip);

        QSignalSpy failSpy(manager, &SearchManager::emitUtilitySettingFail);
        UtilityProtocol::Settings settings;
        settings.dhcp = false;
        settings.ip = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.61"));
        QVERIFY(UtilityProtocol::macFromText(before.first().mac, &settings.mac));
        settings.mask = UtilityProtocol::ipv4FromText(QStringLiteral("255.255.255.0"));
        settings.gateway = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.254"));
        settings.dns1 = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.53"));
        settings.dns2 = UtilityProtocol::ipv4FromText(QStringLiteral("198.51.100.53"));
        settings.name = before.first().name;
        settings.userId = QStringLiteral("operator");
        settings.password = QStringLiteral("s3cret");
        manager->sendSetting(UtilityProtocol::buildSettingsRecord(settings));

        QVERIFY(QTest::qWaitFor([&] { return side[0]->count(QStringLiteral("settings")) > 0; }, 5000));
        const QJsonObject applied = side[0]->events(QStringLiteral("settings")).first();
        QCOMPARE(applied.value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
        QCOMPARE(applied.value(QStringLiteral("oldIp")).toString(), cam.ip);
        QTest::qWait(1000);
        QCOMPARE(failSpy.count(), 0);

        // The next search shows the camera at its new address, and its reply
        // really left from there.
        side[0]->clearEvents();
        const QList<DeviceRecord> after = search(QString(), {0});
        QCOMPARE(after.size(), 1);
        QCOMPARE(after.first().mac, cam.mac);
        QCOMPARE(after.first().ip, QStringLiteral("192.0.2.61"));
        QCOMPARE(after.first().gateway, QStringLiteral("192.0.2.254"));
        QCOMPARE(after.first().dns2, QStringLiteral("198.51.100.53"));
        const QList<QJsonObject> replies = side[0]->events(QStringLiteral("reply"));
        QVERIFY(!replies.isEmpty());
        for (const QJsonObject &r : replies)
            QCOMPARE(r.value(QStringLiteral("from")).toString(), QStringLiteral("192.0.2.61"));
    }

    void wrongCredentialsAreRefused_data()
    {
        QTest::addColumn<QString>("send");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("unicast-password") << QStringLiteral("unicast") << QStringLiteral("admin") << QStringLiteral("wrong");
        QTest::newRow("broadcast-password") << QStringLiteral("broadcast") << QStringLiteral("admin") << QStringLiteral("wrong");
        QTest::newRow("unicast-user") << QStringLiteral("unicast") << QStringLiteral("Admin") << QStringLiteral("admin");
    }

    void wrongCredentialsAreRefused()
    {
        QFETCH(QString, send);
        QFETCH(QString, user);
        QFETCH(QString, password);
        const QList<Expected> cams = camerasFor(QStringLiteral("192.0.2"), 2);
        QVERIFY(side.start(0, camsimArgs(cams, {QStringLiteral("--send"), send})));
        const QList<DeviceRecord> before = search(QString(), {0});
        QCOMPARE(before.size(), 2);
        const DeviceRecord *target = findMac(before, cams.first().mac);
        QVERIFY(target);

        QSignalSpy failSpy(manager, &SearchManager::emitUtilitySettingFail);
        UtilityProtocol::Settings settings;
        settings.ip = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.99"));
        QVERIFY(UtilityProtocol::macFromText(target->mac, &settings.mac));
        settings.mask = UtilityProtocol::ipv4FromText(QStringLiteral("255.255.255.0"));
        settings.name = target->name;
        settings.userId = user;
        settings.password = password;
        manager->sendSetting(UtilityProtocol::buildSettingsRecord(settings));

        QTRY_VERIFY_WITH_TIMEOUT(failSpy.count() >= 1, 5000);
        QCOMPARE(failSpy.first().first().toInt(), 1);
        const QList<QJsonObject> seen = side[0]->events(QStringLiteral("settings"));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().value(QStringLiteral("result")).toString(), QStringLiteral("refused"));

        // Nothing moved: both cameras are where they were.
        const QList<DeviceRecord> after = search(QString(), {0});
        QCOMPARE(onlySearchType0(after).size(), 2);
        for (const Expected &e : cams) {
            const DeviceRecord *r = findMac(after, e.mac);
            QVERIFY(r);
            QCOMPARE(r->ip, e.ip);
        }
    }

    void repeatedApplySendsOneRecordEach()
    {
        const QList<Expected> cams = camerasFor(QStringLiteral("192.0.2"), 1);
        QVERIFY(side.start(0, camsimArgs(cams, {QStringLiteral("--send"), QStringLiteral("unicast")})));
        const QList<DeviceRecord> found = search(QString(), {0});
        const DeviceRecord *target = findMac(found, cams.first().mac);
        QVERIFY(target);

        UtilityProtocol::Settings settings;
        settings.ip = UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.98"));
        QVERIFY(UtilityProtocol::macFromText(target->mac, &settings.mac));
        settings.mask = UtilityProtocol::ipv4FromText(QStringLiteral("255.255.255.0"));
        settings.name = target->name;
        settings.userId = QStringLiteral("admin");
        settings.password = QStringLiteral("wrong");
        const QByteArray record = UtilityProtocol::buildSettingsRecord(settings);

        // Three refused Apply presses without a search in between, the last
        // one while a search runs: the camera sees each record exactly once.
        QSignalSpy failSpy(manager, &SearchManager::emitUtilitySettingFail);
        for (int press = 1; press <= 3; ++press) {
            if (press == 3)
                manager->startSearch(QString());
            manager->sendSetting(record);
            QTRY_COMPARE_WITH_TIMEOUT(failSpy.count(), press, 5000);
            QVERIFY(QTest::qWaitFor([&] { return side[0]->count(QStringLiteral("settings")) >= press; }, 3000));
        }
        QTest::qWait(500);
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 3);
        QCOMPARE(failSpy.count(), 3);
        manager->getDeviceList();
    }

    // The settings record carries the user ID and password. A camera in the
    // subnet of an adapter gets it by unicast, so no other host of the LAN
    // receives it; only a camera in another subnet, which nothing else
    // reaches, gets it by broadcast.
    void settingsGoByUnicastWhereTheCameraIsOnTheLink_data()
    {
        QTest::addColumn<QString>("net");
        QTest::addColumn<bool>("unicast");
        QTest::newRow("same subnet") << QStringLiteral("192.0.2") << true;
        QTest::newRow("other subnet") << QStringLiteral("203.0.113") << false;
    }

    void settingsGoByUnicastWhereTheCameraIsOnTheLink()
    {
        QFETCH(QString, net);
        QFETCH(bool, unicast);
        const QList<Expected> cams = camerasFor(net, 2);
        QVERIFY(side.start(0, camsimArgs(cams, {QStringLiteral("--send"), QStringLiteral("broadcast")})));
        const QList<DeviceRecord> found = search(QString(), {0});
        const DeviceRecord *target = findMac(found, cams.first().mac);
        QVERIFY(target);
        QCOMPARE(target->ip, cams.first().ip);

        QSignalSpy failSpy(manager, &SearchManager::emitUtilitySettingFail);
        UtilityProtocol::Settings settings;
        settings.ip = UtilityProtocol::ipv4FromText(net + QStringLiteral(".97"));
        QVERIFY(UtilityProtocol::macFromText(target->mac, &settings.mac));
        settings.mask = UtilityProtocol::ipv4FromText(QStringLiteral("255.255.255.0"));
        settings.name = target->name;
        settings.userId = QStringLiteral("admin");
        settings.password = QStringLiteral("Pw-c4d19e");
        logger.lines.clear();
        manager->sendSetting(UtilityProtocol::buildSettingsRecord(settings));

        // The camera's refusal comes back either way.
        QTRY_COMPARE_WITH_TIMEOUT(failSpy.count(), 1, 5000);
        QTest::qWait(300);
        const QList<QJsonObject> seen = side[0]->events(QStringLiteral("settings"));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().value(QStringLiteral("to")).toString(),
                 unicast ? cams.first().ip : QStringLiteral("255.255.255.255"));
        QCOMPARE(seen.first().value(QStringLiteral("result")).toString(), QStringLiteral("refused"));
        // The log says which way it went, and never what it carried.
        const QString log = logger.messages().join(QLatin1Char('\n'));
        QVERIFY2(log.contains(unicast ? QStringLiteral("UtilitySearch send setting by unicast to %1.").arg(cams.first().ip)
                                      : QStringLiteral("UtilitySearch send setting by broadcast: %1 is on no adapter's link.")
                                            .arg(cams.first().ip)),
                 qPrintable(log));
        QVERIFY(!log.contains(QLatin1String("Pw-c4d19e")));
    }
};

QTEST_GUILESS_MAIN(TestLanSearch)
#include "tst_lansearch.moc"
