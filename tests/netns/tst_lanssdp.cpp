// The three sources together in the test LAN, through SearchManager with
// mask 7: utility cameras, document cameras (M-SEARCH, answer, HTTP
// description) and control boxes (announcement, message), two adapters.
// Peers that lie about their LOCATION, serve too much or never answer cost
// a log line each and nothing else.
#include "discoveryservice.h"
#include "../corvane/logtestsupport.h"

#include "camsimsides.h"
#include "devicerecord.h"
#include "searchmanager.h"
#include "testlan.h"

#include <QtTest>

#include <optional>

namespace {

const DeviceRecord *findMac(const QList<DeviceRecord> &list, const QString &mac)
{
    for (const DeviceRecord &r : list) {
        if (r.mac == mac)
            return &r;
    }
    return nullptr;
}

int countMac(const QList<DeviceRecord> &list, const QString &mac)
{
    int n = 0;
    for (const DeviceRecord &r : list)
        n += r.mac == mac ? 1 : 0;
    return n;
}

} // namespace

class TestLanSsdp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;
    std::optional<LogCapture> log;
    DiscoveryService *discovery = nullptr;
    SearchManager *manager = nullptr;
    CamsimSides side;

    int events(const QString &name) const { return side.count(name); }

    int linesStartingWith(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : log->messages())
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::cameraNamespaces().size() >= 2, "this suite needs the two-adapter LAN");
        QVERIFY(home.isValid());
        isolateHome(home.path());
        log.emplace(LogSystem::LogDetailMsg);
        discovery = new DiscoveryService;
        manager = SearchManager::getInstance();
        manager->setSearchTypes(SearchManager::UtilitySearchBit | SearchManager::DocumentCameraBit
                                | SearchManager::ControlBoxBit);
    }

    void init() { log->clear(); }

    void cleanup()
    {
        side.stop();
    }

    void cleanupTestCase()
    {
        delete discovery;
        discovery = nullptr;
        log.reset();
    }

    void allSourcesTogether()
    {
        QVERIFY(side.startCameras(0, {
            QStringLiteral("mac=02:50:4d:c0:00:01,ip=192.0.2.40,model=PTZ-1,name=Hall"),
            QStringLiteral("kind=doccam,mac=02:50:4d:d0:00:01,ip=192.0.2.60,name=Lab Q42D,model=DC-42,serial=DSN-1,"
                           "fw=2.1.0,major=3"),
            // The utility camera's MAC in upper case: the coordinator drops it.
            QStringLiteral("kind=box,mac=02:50:4d:c0:00:01,ip=192.0.2.70,boxtype=PowerBox"),
            QStringLiteral("kind=box,mac=02:50:4d:b0:00:02,ip=192.0.2.71"),
        }));
        QVERIFY(side.startCameras(1, {
            QStringLiteral("mac=02:50:4d:c6:00:01,ip=198.51.100.40,model=PTZ-2,name=Aula"),
            // The same document camera as on the first adapter: one record.
            QStringLiteral("kind=doccam,mac=02:50:4d:d0:00:01,ip=198.51.100.60,name=Lab Q42D,model=DC-42"),
            QStringLiteral("kind=doccam,mac=02:50:4d:d6:00:02,ip=198.51.100.61,name=Q86D Aula,model=DC-86,"
                           "macfield=02504DD60002"),
            QStringLiteral("kind=box,mac=02:50:4d:b6:00:03,ip=198.51.100.71,boxport=1688,boxtype="),
        }));

        manager->startSearch(QString());
        QVERIFY(QTest::qWaitFor([&] {
            return events(QStringLiteral("description")) >= 3 && events(QStringLiteral("box-announcement")) >= 4;
        }, 4500));
        QTest::qWait(700);
        const QList<DeviceRecord> list = manager->getDeviceList();

        // Four sockets, two per address and port, four announcements.
        QCOMPARE(linesStartingWith(QStringLiteral("Box bind ssdpSocket sucess:")), 4);
        for (const QString &address : TestLan::programAddresses()) {
            QVERIFY(log->messages().contains(QStringLiteral("Box bind ssdpSocket sucess:%1, port:1988").arg(address)));
            QVERIFY(log->messages().contains(QStringLiteral("Box bind ssdpSocket sucess:%1, port:1688").arg(address)));
            QVERIFY(log->messages().contains(QStringLiteral("DocCam bind ssdpSocket sucess:%1").arg(address)));
        }
        QCOMPARE(linesStartingWith(QStringLiteral("Box ssdpSocket join Multicast Group success.")), 2);
        QCOMPARE(linesStartingWith(QStringLiteral("Box newssdpSocket join Multicast Group success.")), 2);
        QCOMPARE(events(QStringLiteral("box-announcement")), 4);
        QCOMPARE(side[0]->count(QStringLiteral("ssdp-search")), 1);
        QCOMPARE(side[1]->count(QStringLiteral("ssdp-search")), 1);

        // Source order: utility search, document cameras, control boxes.
        for (int i = 1; i < list.size(); ++i)
            QVERIFY(list.at(i - 1).searchType <= list.at(i).searchType);
        QCOMPARE(list.size(), 6);

        const DeviceRecord *docCam = findMac(list, QStringLiteral("02:50:4d:d0:00:01"));
        QVERIFY(docCam);
        QCOMPARE(countMac(list, docCam->mac), 1);
        QCOMPARE(docCam->searchType, int(DeviceRecord::DocumentCamera));
        QCOMPARE(docCam->name, QStringLiteral("Lab Q42D"));
        QCOMPARE(docCam->model, QStringLiteral("DC-42"));
        QVERIFY(docCam->ip == QLatin1String("192.0.2.60") || docCam->ip == QLatin1String("198.51.100.60"));
        QVERIFY(docCam->mask.isEmpty() && !docCam->dhcp);

        // A MAC field without "-": kept as text, bytes 0, logged.
        const DeviceRecord *plainMac = findMac(list, QStringLiteral("02504dd60002"));
        QVERIFY(plainMac);
        QCOMPARE(plainMac->model, QStringLiteral("DC-86"));
        QVERIFY(log->messages().contains(QStringLiteral("mac address parsing error form ip:198.51.100.61")));

        const DeviceRecord *box = findMac(list, QStringLiteral("02:50:4d:b0:00:02"));
        QVERIFY(box);
        QCOMPARE(box->searchType, int(DeviceRecord::ControlBox));
        QCOMPARE(box->name, QStringLiteral("Box"));
        QCOMPARE(box->model, QStringLiteral("Control Box"));
        QCOMPARE(box->ip, QStringLiteral("192.0.2.71"));
        const DeviceRecord *altPortBox = findMac(list, QStringLiteral("02:50:4d:b6:00:03"));
        QVERIFY(altPortBox);
        QCOMPARE(altPortBox->model, QStringLiteral("Control Box"));
        QCOMPARE(altPortBox->ip, QStringLiteral("198.51.100.71"));

        // The box with the utility camera's MAC is gone, and said so.
        const DeviceRecord *utility = findMac(list, QStringLiteral("02:50:4d:c0:00:01"));
        QVERIFY(utility);
        QCOMPARE(utility->searchType, int(DeviceRecord::BroadcastSearch));
        QCOMPARE(countMac(list, utility->mac), 1);
        const QStringList lines = log->messages();
        const int same = lines.indexOf(QStringLiteral("Find same mac address."));
        QVERIFY(same >= 0);
        QCOMPARE(lines.value(same + 1), QStringLiteral("old search type=0, current search type=2"));
        QCOMPARE(lines.value(same + 2),
                 QStringLiteral("IP=192.0.2.40, mac=02:50:4d:c0:00:01, model=PTZ-1, name=Hall, fwVersion=1.0.0"));
        QVERIFY(findMac(list, QStringLiteral("02:50:4d:c6:00:01")));
    }

    void hostilePeersCostALogLineEach()
    {
        QVERIFY(side.startCameras(0, {
            QStringLiteral("mac=02:50:4d:c0:00:11,ip=192.0.2.40,model=PTZ-1,name=Hall"),
            QStringLiteral("kind=doccam,mac=02:50:4d:d0:00:11,ip=192.0.2.60,name=Q42D good,model=DC-42"),
            QStringLiteral("kind=doccam,mac=02:50:4d:d0:00:12,ip=192.0.2.61,name=Q42D elsewhere,model=DC-42,"
                           "location=http://192.0.2.60:49152/description.xml"),
            QStringLiteral("kind=doccam,mac=02:50:4d:d0:00:13,ip=192.0.2.62,name=Q42D huge,model=DC-42,http=huge"),
            QStringLiteral("kind=doccam,mac=02:50:4d:d0:00:14,ip=192.0.2.63,name=Q42D stall,model=DC-42,http=stall"),
            QStringLiteral("kind=box,mac=02:50:4d:b0:00:11,ip=192.0.2.71"),
        }));
        QVERIFY(side.startCameras(1, {QStringLiteral("mac=02:50:4d:c6:00:11,ip=198.51.100.40,model=PTZ-2,name=Aula")}));

        QElapsedTimer clock;
        clock.start();
        manager->startSearch(QString());
        // The stalled fetch is cut off inside the five-second search window.
        QTRY_VERIFY_WITH_TIMEOUT(linesStartingWith(QStringLiteral("Description from 192.0.2.63 not fetched within")) == 1,
                                 5000);
        QVERIFY(clock.elapsed() < 5000);
        const QList<DeviceRecord> list = manager->getDeviceList();

        const QStringList lines = log->messages();
        QVERIFY(lines.contains(QStringLiteral(
            "Description not fetched: LOCATION http://192.0.2.60:49152/description.xml is not an http address of the "
            "answering host 192.0.2.61.")));
        QVERIFY(lines.contains(QStringLiteral("Description from 192.0.2.62 refused: larger than 65536 bytes.")));
        // The oversized body was cut off, not read to its end.
        double written = -1;
        double size = 0;
        QTRY_VERIFY([&] {
            for (const QJsonObject &event : side[0]->events(QStringLiteral("description-closed"))) {
                if (event.value(QStringLiteral("mac")).toString() == QLatin1String("02:50:4d:d0:00:13")) {
                    written = event.value(QStringLiteral("written")).toDouble();
                    size = event.value(QStringLiteral("size")).toDouble();
                }
            }
            return written >= 0;
        }());
        QVERIFY2(written < size / 2, qPrintable(QStringLiteral("%1 of %2").arg(written).arg(size)));
        // Only the good camera's own server and the two others were asked;
        // the one that named another host was not fetched at all.
        QCOMPARE(side[0]->count(QStringLiteral("description")), 3);

        QCOMPARE(list.size(), 4);
        QVERIFY(findMac(list, QStringLiteral("02:50:4d:c0:00:11")));
        QVERIFY(findMac(list, QStringLiteral("02:50:4d:c6:00:11")));
        QVERIFY(findMac(list, QStringLiteral("02:50:4d:d0:00:11")));
        QVERIFY(findMac(list, QStringLiteral("02:50:4d:b0:00:11")));
    }
};

QTEST_GUILESS_MAIN(TestLanSsdp)
#include "tst_lanssdp.moc"
