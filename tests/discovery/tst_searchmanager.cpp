// The search coordinator as the main window drives it, without discovery
// traffic: device-list merging and dropping rules, the pluggable source
// slots, the VISCA answers (fed through ViscaOipControl's signals, no socket
// is opened), Wake-on-LAN to a recorder, the adapter list, and the forwarded
// signals. The cases that need the network run in an empty namespace (see
// isolatedPowerOnTimeout) or in the test-LAN suite.

#include "../corvane/logtestsupport.h"

#include "devicelistmerge.h"
#include "devicerecord.h"
#include "discoveryservice.h"
#include "networkadapterentry.h"
#include "samplecamera.h"
#include "searchmanager.h"
#include "searchsource.h"
#include "utilitysearch.h"
#include "viscaoipcontrol.h"
#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QNetworkInterface>
#include <QSignalSpy>
#include <QtTest>

#include <optional>

namespace {

UtilitySearchCamInfo camInfo(const QString &mac, const QString &model, const QString &name)
{
    UtilitySearchCamInfo info = sampleCamera(mac, model, QStringLiteral("192.0.2.40"), name);
    info.fwVersion = QStringLiteral("1.2.3");
    info.serialNo = QStringLiteral("SN-0001");
    return info;
}

// A record as an SSDP source fills it in, with network settings the list
// never shows for SSDP devices.
DeviceRecord sourceRecord(const QString &mac, const QString &model, const QString &name, const QString &ip)
{
    DeviceRecord record = sampleCamera(mac, model, ip, name);
    record.fwVersion = QStringLiteral("9.9");
    record.serialNo = QStringLiteral("BOX-1");
    return record;
}

class FakeSource : public SearchSource
{
public:
    QStringList bindAddresses;
    int broadcasts = 0;
    int stops = 0;
    QList<DeviceRecord> found;

    void setBindAddress(const QString &adapterIp) override { bindAddresses << adapterIp; }
    int startDelayMs() const override { return SearchManager::SsdpStartDelayMs; }
    void startBroadcast() override { ++broadcasts; }
    QList<DeviceRecord> takeDeviceRecords() override { return found; }
    void stopDiscovery() override { ++stops; }
};

bool hasLocalIpv4()
{
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : all) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return true;
    }
    return false;
}

} // namespace

class TestSearchManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void oneInstanceOwnedByTheService();
    void utilityRecordConversion();
    void utilityRecordsWithoutNameOrModelDropped();
    void sourceRecordsMergeByMac();
    void ssdpSourcesByMask();
    void onvifRowsYieldOnlyToAnotherSourcesMac();
    void onvifSourceIsSearchTypeThree();
    void sourceSwitchedOffMidSearchStops();
    void hasSameMacIsExact();
    void powerOnWithoutIpWakesAtOnce();
    void powerOnRefusesABadMacText();
    void viscaOnAnswer();
    void viscaStandbyAnswerSendsPowerOn();
    void viscaOtherAnswerLogsEmptyStatus();
    void viscaCompletion();
    void forwardedSignals();
    void adapterEntries();
    void hostAdapterList();
    void isolatedPowerOnTimeout();

private:
    QStringList messages() const { return log->messages(); }

    QTemporaryDir home;
    std::optional<LogCapture> log;
    DiscoveryService *discovery = nullptr;
    SearchManager *manager = nullptr;
    QList<QByteArray> wolPasses;
};

void TestSearchManager::initTestCase()
{
    QVERIFY(home.isValid());
    isolateHome(home.path());
    log.emplace(LogSystem::LogDetailMsg);

    QVERIFY(!SearchManager::getInstance());
    discovery = new DiscoveryService;
    manager = SearchManager::getInstance();
    QVERIFY(manager);
    // Nothing in this suite may reach the network.
    manager->wakeOnLanSender()->setPassFunction([this](const QByteArray &packet) { wolPasses << packet; });
}

void TestSearchManager::init()
{
    log->clear();
    wolPasses.clear();
}

void TestSearchManager::cleanupTestCase()
{
    delete discovery;
    QVERIFY(!SearchManager::getInstance());
    log.reset();
}

void TestSearchManager::oneInstanceOwnedByTheService()
{
    SearchManager *again = SearchManager::getInstance();
    QCOMPARE(again, manager);
    // Every part is the service's, as long as the service lives.
    QCOMPARE(SearchManager::getInstance(), discovery->searchManager());
    QCOMPARE(UtilitySearch::getInstance(), discovery->utilitySearch());
    QCOMPARE(ViscaOipControl::getInstance(), discovery->viscaControl());
    QCOMPARE(manager->searchTypes(), 0);
    QCOMPARE(manager->setSearchTypes(1), 0);
    QCOMPARE(manager->searchTypes(), 1);
}

void TestSearchManager::utilityRecordConversion()
{
    const UtilitySearchCamInfo info = camInfo(QStringLiteral("00:1a:2b:3c:4d:5e"),
                                              QStringLiteral("CAM-10"), QStringLiteral("Front door"));
    QList<DeviceRecord> list;
    DeviceListMerge::append(&list, DeviceRecord::BroadcastSearch, {info});
    QCOMPARE(list.size(), 1);
    const DeviceRecord record = list.first();
    QCOMPARE(record.searchType, 0);
    QCOMPARE(record.mac, info.mac);
    QCOMPARE(record.model, info.model);
    QCOMPARE(record.fwVersion, info.fwVersion);
    QCOMPARE(record.ip, info.ip);
    QCOMPARE(record.mask, info.mask);
    QCOMPARE(record.gateway, info.gateway);
    QCOMPARE(record.name, info.name);
    QCOMPARE(record.dhcp, true);
    QCOMPARE(record.dns1, info.dns1);
    QCOMPARE(record.dns2, info.dns2);
    QCOMPARE(record.ipv6, info.ipv6);
    QCOMPARE(record.serialNo, info.serialNo);
}

void TestSearchManager::utilityRecordsWithoutNameOrModelDropped()
{
    const QList<UtilitySearchCamInfo> infos = {
        camInfo(QStringLiteral("00:00:00:00:00:01"), QStringLiteral("CAM-10"), QStringLiteral("a")),
        camInfo(QStringLiteral("00:00:00:00:00:02"), QStringLiteral("CAM-10"), QString()),
        camInfo(QStringLiteral("00:00:00:00:00:03"), QString(), QStringLiteral("c")),
        // Same MAC again with another model: the utility search keeps both and
        // so does the list (no MAC check for this source).
        camInfo(QStringLiteral("00:00:00:00:00:01"), QStringLiteral("CAM-20"), QStringLiteral("a2")),
        camInfo(QString(), QStringLiteral("CAM-30"), QStringLiteral("no mac")),
    };
    QList<DeviceRecord> list;
    DeviceListMerge::append(&list, DeviceRecord::BroadcastSearch, infos);
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0).name, QStringLiteral("a"));
    QCOMPARE(list.at(1).model, QStringLiteral("CAM-20"));
    QCOMPARE(list.at(2).name, QStringLiteral("no mac"));
    QVERIFY(!messages().contains(QStringLiteral("Find same mac address.")));
}

void TestSearchManager::sourceRecordsMergeByMac()
{
    QList<DeviceRecord> list;
    DeviceListMerge::append(&list, DeviceRecord::BroadcastSearch, { camInfo(QStringLiteral("00:1a:2b:3c:4d:5e"),
                                                         QStringLiteral("CAM-10"), QStringLiteral("Hall")) });
    DeviceListMerge::append(&list, DeviceRecord::ControlBox, {
        sourceRecord(QStringLiteral("00:1A:2B:3C:4D:5E"), QStringLiteral("Control Box"), QStringLiteral("box"),
                     QStringLiteral("192.0.2.99")),
        sourceRecord(QStringLiteral("00:1A:2B:3C:4D:5F"), QStringLiteral("Control Box"), QStringLiteral("box 2"),
                     QStringLiteral("192.0.2.98")),
        sourceRecord(QStringLiteral("00:1A:2B:3C:4D:60"), QStringLiteral("Control Box"), QString(),
                     QStringLiteral("192.0.2.97")),
    });
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(1).searchType, 2);
    QCOMPARE(list.at(1).mac, QStringLiteral("00:1a:2b:3c:4d:5f"));
    QCOMPARE(list.at(1).name, QStringLiteral("box 2"));
    QCOMPARE(list.at(1).model, QStringLiteral("Control Box"));
    QCOMPARE(list.at(1).ip, QStringLiteral("192.0.2.98"));
    QCOMPARE(list.at(1).fwVersion, QStringLiteral("9.9"));
    QCOMPARE(list.at(1).serialNo, QStringLiteral("BOX-1"));
    QCOMPARE(list.at(1).dhcp, false);
    QVERIFY(list.at(1).mask.isEmpty());
    QVERIFY(list.at(1).gateway.isEmpty());
    QVERIFY(list.at(1).dns1.isEmpty());
    QVERIFY(list.at(1).dns2.isEmpty());
    QVERIFY(list.at(1).ipv6.isEmpty());

    // The three lines name the record already listed.
    const QStringList lines = messages();
    QCOMPARE(lines, QStringList({
        QStringLiteral("Find same mac address."),
        QStringLiteral("old search type=0, current search type=2"),
        QStringLiteral("IP=192.0.2.40, mac=00:1a:2b:3c:4d:5e, model=CAM-10, name=Hall, fwVersion=1.2.3"),
    }));
}

void TestSearchManager::onvifRowsYieldOnlyToAnotherSourcesMac()
{
    QList<DeviceRecord> list;
    DeviceListMerge::append(&list, DeviceRecord::BroadcastSearch, { camInfo(QStringLiteral("02:50:4d:00:00:01"),
                                                         QStringLiteral("CAM-10"), QStringLiteral("Hall")) });
    DeviceRecord both = sourceRecord(QStringLiteral("02:50:4D:00:00:01"), QStringLiteral("CAM-10"),
                                     QStringLiteral("Hall"), QStringLiteral("192.0.2.40"));
    both.endpoint = QStringLiteral("urn:uuid:00000000-0000-4000-8000-000000000001");
    // Two cameras behind one encoder: the neighbour table gives both its MAC.
    DeviceRecord behindA = sourceRecord(QStringLiteral("02:00:00:00:00:0a"), QStringLiteral("X1"),
                                        QStringLiteral("a"), QStringLiteral("192.0.2.50"));
    behindA.endpoint = QStringLiteral("urn:uuid:00000000-0000-4000-8000-00000000000a");
    behindA.serviceUrl = QStringLiteral("http://192.0.2.50/onvif/device_service");
    DeviceRecord behindB = behindA;
    behindB.ip = QStringLiteral("192.0.2.51");
    behindB.name = QStringLiteral("b");
    behindB.endpoint = QStringLiteral("urn:uuid:00000000-0000-4000-8000-00000000000b");
    // Heard, but no neighbour entry: no MAC at all, twice.
    DeviceRecord noMac1 = sourceRecord(QString(), QStringLiteral("X2"), QStringLiteral("c"), QStringLiteral("198.51.100.9"));
    DeviceRecord noMac2 = noMac1;
    noMac2.ip = QStringLiteral("198.51.100.10");
    DeviceListMerge::append(&list, DeviceRecord::ControlBox, {sourceRecord(QString(), QStringLiteral("Control Box"),
                                                                         QStringLiteral("box"), QStringLiteral("192.0.2.99"))});
    QCOMPARE(list.size(), 2);
    DeviceListMerge::append(&list, DeviceRecord::Onvif, {both, behindA, behindB, noMac1, noMac2});

    QStringList ips;
    for (const DeviceRecord &r : qAsConst(list))
        ips << r.ip + QLatin1Char('/') + QString::number(r.searchType);
    QCOMPARE(ips, QStringList({QStringLiteral("192.0.2.40/0"), QStringLiteral("192.0.2.99/2"),
                               QStringLiteral("192.0.2.50/3"), QStringLiteral("192.0.2.51/3"),
                               QStringLiteral("198.51.100.9/3"), QStringLiteral("198.51.100.10/3")}));
    // The maker's row stays the one row of the camera that speaks both.
    QCOMPARE(list.at(0).mask, QStringLiteral("255.255.255.0"));
    QVERIFY(messages().contains(QStringLiteral("old search type=0, current search type=3")));
    // What a write needs to reach and then find the camera again is kept.
    QCOMPARE(list.at(2).endpoint, behindA.endpoint);
    QCOMPARE(list.at(2).serviceUrl, behindA.serviceUrl);
    QCOMPARE(list.at(3).endpoint, behindB.endpoint);
    QVERIFY(list.at(2).gateway.isEmpty());
}

void TestSearchManager::onvifSourceIsSearchTypeThree()
{
    QCOMPARE(int(SearchManager::OnvifBit), 1 << DeviceRecord::Onvif);
    FakeSource onvif;
    onvif.found = { sourceRecord(QStringLiteral("02:00:00:00:00:0c"), QStringLiteral("X3"), QStringLiteral("n"),
                                 QStringLiteral("203.0.113.4")) };
    manager->setSearchSource(DeviceRecord::Onvif, &onvif);
    manager->setSearchTypes(SearchManager::OnvifBit);
    QSignalSpy found(manager, &SearchManager::deviceFound);
    emit onvif.deviceFound(onvif.found.first());
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().first().value<DeviceRecord>().searchType, int(DeviceRecord::Onvif));
    const QList<DeviceRecord> list = manager->getDeviceList();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().searchType, int(DeviceRecord::Onvif));
    // Off, the source's pushes are not the window's.
    manager->setSearchTypes(SearchManager::DocumentCameraBit);
    emit onvif.deviceFound(onvif.found.first());
    QCOMPARE(found.size(), 1);
    // The service registers the real one, which lists nothing before it ran.
    manager->setSearchSource(DeviceRecord::Onvif, discovery->onvifSource());
    QVERIFY(discovery->onvifSource()->takeDeviceRecords().isEmpty());
    manager->setSearchTypes(1);
}

void TestSearchManager::sourceSwitchedOffMidSearchStops()
{
    FakeSource onvif;
    manager->setSearchSource(DeviceRecord::Onvif, &onvif);
    manager->setSearchTypes(SearchManager::OnvifBit);
    manager->startSearch(QString());
    QTRY_COMPARE(onvif.broadcasts, 1);
    QCOMPARE(onvif.stops, 0);
    manager->setSearchTypes(SearchManager::OnvifBit | SearchManager::DocumentCameraBit);
    QCOMPARE(onvif.stops, 0);
    manager->setSearchTypes(SearchManager::DocumentCameraBit);
    QCOMPARE(onvif.stops, 1);
    manager->setSearchTypes(0);
    QCOMPARE(onvif.stops, 1);
    manager->setSearchSource(DeviceRecord::Onvif, discovery->onvifSource());
    manager->setSearchTypes(1);
}

void TestSearchManager::ssdpSourcesByMask()
{
    FakeSource docCams;
    FakeSource boxes;
    docCams.found = { sourceRecord(QStringLiteral("AA:00:00:00:00:01"), QStringLiteral("DC-1"),
                                   QStringLiteral("desk"), QStringLiteral("198.51.100.5")),
                      sourceRecord(QStringLiteral("AA:00:00:00:00:02"), QString(),
                                   QStringLiteral("no model"), QStringLiteral("198.51.100.6")) };
    boxes.found = { sourceRecord(QStringLiteral("aa:00:00:00:00:01"), QStringLiteral("Control Box"),
                                 QStringLiteral("box"), QStringLiteral("198.51.100.7")),
                    sourceRecord(QStringLiteral("AA:00:00:00:00:03"), QStringLiteral("Control Box"),
                                 QStringLiteral("box 3"), QStringLiteral("198.51.100.8")) };
    manager->setSearchSource(DeviceRecord::DocumentCamera, &docCams);
    manager->setSearchSource(DeviceRecord::ControlBox, &boxes);
    manager->setSearchSource(0, &docCams);   // the utility search is no pluggable source

    // Bit 0 stays off here: it would broadcast the utility queries.
    manager->setSearchTypes(2);
    QCOMPARE(manager->startSearch(QStringLiteral("198.51.100.1")), 0);
    QCOMPARE(docCams.bindAddresses, QStringList({ QStringLiteral("198.51.100.1") }));
    QVERIFY(boxes.bindAddresses.isEmpty());
    QCOMPARE(docCams.broadcasts, 0);   // 500 ms later
    QTRY_COMPARE(docCams.broadcasts, 1);
    QList<DeviceRecord> list = manager->getDeviceList();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.at(0).searchType, 1);
    QCOMPARE(list.at(0).mac, QStringLiteral("aa:00:00:00:00:01"));

    manager->setSearchTypes(6);
    manager->startSearch(QString());
    QCOMPARE(boxes.bindAddresses, QStringList({ QString() }));
    QTRY_COMPARE(boxes.broadcasts, 1);
    QCOMPARE(docCams.broadcasts, 2);
    list = manager->getDeviceList();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).name, QStringLiteral("desk"));
    QCOMPARE(list.at(1).name, QStringLiteral("box 3"));
    QCOMPARE(list.at(1).searchType, 2);
    QVERIFY(messages().contains(QStringLiteral("old search type=1, current search type=2")));

    // A source removed before its delayed start is not called.
    manager->startSearch(QString());
    manager->setSearchSource(DeviceRecord::ControlBox, nullptr);
    QTRY_COMPARE(docCams.broadcasts, 3);
    QCOMPARE(boxes.broadcasts, 1);
    manager->setSearchSource(DeviceRecord::DocumentCamera, nullptr);
    QVERIFY(manager->getDeviceList().isEmpty());
    manager->setSearchTypes(1);
}

void TestSearchManager::hasSameMacIsExact()
{
    FakeSource docCams;
    docCams.found = { sourceRecord(QStringLiteral("aa:00:00:00:00:01"), QStringLiteral("DC-1"),
                                   QStringLiteral("desk"), QStringLiteral("198.51.100.5")) };
    manager->setSearchSource(DeviceRecord::DocumentCamera, &docCams);
    manager->setSearchTypes(2);
    QCOMPARE(manager->getDeviceList().size(), 1);
    manager->setSearchSource(DeviceRecord::DocumentCamera, nullptr);
    manager->setSearchTypes(1);

    DeviceRecord probe;
    probe.mac = QStringLiteral("AA:00:00:00:00:01");
    QVERIFY(!manager->hasSameMac(probe));
    probe.mac = QStringLiteral("aa:00:00:00:00:01");
    probe.searchType = 2;
    QVERIFY(manager->hasSameMac(probe));
    QCOMPARE(messages().count(QStringLiteral("Find same mac address.")), 1);
    QVERIFY(messages().contains(QStringLiteral("old search type=1, current search type=2")));
}

void TestSearchManager::powerOnWithoutIpWakesAtOnce()
{
    ViscaOipControl *visca = ViscaOipControl::getInstance();
    const int sockets = visca->socketCount();
    QCOMPARE(manager->setPowerOn(QString(), QStringLiteral("00:11:22:33:44:55")), 0);
    QVERIFY(!manager->isWaitingForPowerState());
    QCOMPARE(visca->socketCount(), sockets);
    
    QCOMPARE(wolPasses.size(), 1);
    QCOMPARE(wolPasses.first(), WakeOnLan::buildMagicPacket(QStringLiteral("00:11:22:33:44:55")));
    QCOMPARE(messages(), QStringList({ QStringLiteral("Send wake on lan,mac=00:11:22:33:44:55") }));
    QVERIFY(manager->wakeOnLanSender()->isBusy());
    QTRY_COMPARE_WITH_TIMEOUT(manager->wakeOnLanSender()->isBusy(), false, 20000);
    QCOMPARE(wolPasses.size(), 15);
}

void TestSearchManager::powerOnRefusesABadMacText()
{
    const QString huge(1 << 20, QLatin1Char('f'));
    QCOMPARE(manager->setPowerOn(QString(), huge), -1);
    QCOMPARE(manager->setPowerOn(QStringLiteral("192.0.2.60"), QStringLiteral("00-00-5e-00-53-01")), -1);
    QVERIFY(!manager->isWaitingForPowerState());
    QVERIFY(wolPasses.isEmpty());
    QVERIFY(!manager->wakeOnLanSender()->isBusy());
    const QStringList logged = messages();
    QCOMPARE(logged.size(), 2);
    for (const QString &line : logged)
        QVERIFY2(line.size() < 200 && line.startsWith(QStringLiteral("Power on refused")), qPrintable(line.left(200)));
}

void TestSearchManager::viscaOnAnswer()
{
    ViscaOipControl *visca = ViscaOipControl::getInstance();
    QSignalSpy status(manager, &SearchManager::emitViscaStatus);
    emit visca->viscaOipControlInquiryPowerStatusReply(QStringLiteral("203.0.113.50"), ViscaProtocol::PowerOn);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 0);
    QVERIFY(!visca->commandEntry(QStringLiteral("203.0.113.50")).isValid());   // no command
    QCOMPARE(messages(), QStringList({ QStringLiteral("Get VISCA: IP=[203.0.113.50], status=[DEVICE_STATUS_ON]") }));
    }

void TestSearchManager::viscaStandbyAnswerSendsPowerOn()
{
    ViscaOipControl *visca = ViscaOipControl::getInstance();
    QCOMPARE(visca->socketCount(), 0);   // so the command below stays in the table
    QSignalSpy status(manager, &SearchManager::emitViscaStatus);
    emit visca->viscaOipControlInquiryPowerStatusReply(QStringLiteral("203.0.113.51"), ViscaProtocol::PowerStandby);
    QCOMPARE(status.count(), 0);
    const ViscaCommandEntry entry = visca->commandEntry(QStringLiteral("203.0.113.51"));
    QCOMPARE(entry.command, QStringLiteral("8101040002ff"));
    QCOMPARE(int(entry.kind), 1);
    QCOMPARE(messages(), QStringList({ QStringLiteral("Get VISCA: IP=[203.0.113.51], status=[DEVICE_STATUS_STANDBY]") }));
    }

void TestSearchManager::viscaOtherAnswerLogsEmptyStatus()
{
    ViscaOipControl *visca = ViscaOipControl::getInstance();
    QSignalSpy status(manager, &SearchManager::emitViscaStatus);
    // Also an address with a printf directive in it must come out literally.
    emit visca->viscaOipControlInquiryPowerStatusReply(QStringLiteral("%s%n"), ViscaProtocol::PowerMode(4));
    QCOMPARE(status.count(), 0);
    QVERIFY(!visca->commandEntry(QStringLiteral("%s%n")).isValid());
    QCOMPARE(messages(), QStringList({ QStringLiteral("Get VISCA: IP=[%s%n], status=[]") }));
    }

void TestSearchManager::viscaCompletion()
{
    ViscaOipControl *visca = ViscaOipControl::getInstance();
    QSignalSpy status(manager, &SearchManager::emitViscaStatus);
    emit visca->viscaCmdCompleted();
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 5);
    QCOMPARE(messages(), QStringList({ QStringLiteral("Recive visca cmd completed.") }));
    }

void TestSearchManager::forwardedSignals()
{
    UtilitySearch *search = UtilitySearch::getInstance();
    QSignalSpy fail(manager, &SearchManager::emitUtilitySettingFail);
    emit search->emitUtilityRecvSettingFail(UtilitySearch::SettingUnauthorized);
    QCOMPARE(fail.count(), 1);
    QCOMPARE(fail.at(0).at(0).toInt(), 1);

    // An adapter change goes from the monitor through the service.
    NetworkInterfaceMonitor *monitor = NetworkInterfaceMonitor::getInstance();
    QSignalSpy changed(discovery, &DiscoveryService::emitNetInterfaceChanged);
    emit monitor->networkInterfaceHasChanged();
    QCOMPARE(changed.count(), 1);
    }

void TestSearchManager::adapterEntries()
{
    NetworkAdapterEntry entry;
    QVERIFY(NetworkAdapterEntry::fromAddresses(QStringLiteral("eth0"),
                                               { QStringLiteral("192.0.2.5"), QStringLiteral("198.51.100.5") },
                                               &entry));
    QCOMPARE(entry.description, QStringLiteral("eth0"));
    QCOMPARE(entry.address, QStringLiteral("192.0.2.5\r\n198.51.100.5"));

    NetworkAdapterEntry untouched;
    QVERIFY(!NetworkAdapterEntry::fromAddresses(QStringLiteral("eth1"), { QStringLiteral("0.0.0.0") }, &untouched));
    QVERIFY(!NetworkAdapterEntry::fromAddresses(QStringLiteral("eth2"), {}, &untouched));
    QVERIFY(untouched.description.isEmpty());
    // Only an adapter whose joined text is exactly "0.0.0.0" counts as without address.
    QVERIFY(NetworkAdapterEntry::fromAddresses(QStringLiteral("eth3"),
                                               { QStringLiteral("0.0.0.0"), QStringLiteral("192.0.2.9") }, &entry));
    QCOMPARE(entry.address, QStringLiteral("0.0.0.0\r\n192.0.2.9"));
}

void TestSearchManager::hostAdapterList()
{
    const QList<NetworkAdapterEntry> adapters = manager->getNetworkAdapters();
    int expected = 0;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (iface.flags() & QNetworkInterface::IsLoopBack)
            continue;
        bool hasIpv4 = false;
        for (const QNetworkAddressEntry &entry : iface.addressEntries())
            hasIpv4 = hasIpv4 || entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
        expected += hasIpv4 ? 1 : 0;
    }
    QCOMPARE(adapters.size(), expected);
    for (const NetworkAdapterEntry &adapter : adapters) {
        QVERIFY(!adapter.description.isEmpty());
        const QStringList parts = adapter.address.split(QStringLiteral("\r\n"));
        for (const QString &part : parts) {
            const QHostAddress address(part);
            QCOMPARE(address.protocol(), QAbstractSocket::IPv4Protocol);
            QVERIFY(!address.isLoopback());
        }
    }
}

void TestSearchManager::isolatedPowerOnTimeout()
{
    // Sends a VISCA inquiry, so it runs only where nothing can leave: a
    // network namespace without any IPv4 address (CTest runs this case under
    // "unshare --net"; in the host namespace it is skipped).
    if (hasLocalIpv4())
        QSKIP("needs a network namespace without IPv4 addresses");

    ViscaOipControl *visca = ViscaOipControl::getInstance();
    QSignalSpy status(manager, &SearchManager::emitViscaStatus);
    QCOMPARE(manager->setPowerOn(QStringLiteral("192.0.2.60"), QStringLiteral("00:00:5e:00:53:01")), 0);
    QVERIFY(manager->isWaitingForPowerState());
    QCOMPARE(visca->commandEntry(QStringLiteral("192.0.2.60")).command, QStringLiteral("81090400ff"));
    QCOMPARE(manager->pendingWakeMac(), QStringLiteral("00:00:5e:00:53:01"));

    // A second request while waiting replaces the MAC and restarts the timer.
    QTest::qWait(1000);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(manager->setPowerOn(QStringLiteral("192.0.2.61"), QStringLiteral("00:00:5e:00:53:02")), 0);
    QVERIFY(wolPasses.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!wolPasses.isEmpty(), 15000);
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= 9900 && waited < 13000, qPrintable(QString::number(waited)));
    QCOMPARE(wolPasses.first(), WakeOnLan::buildMagicPacket(QStringLiteral("00:00:5e:00:53:02")));
    QVERIFY(messages().contains(QStringLiteral("Send visca control timeout.")));
    QVERIFY(messages().contains(QStringLiteral("Send wake on lan,mac=00:00:5e:00:53:02")));
    QCOMPARE(status.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(manager->wakeOnLanSender()->isBusy(), false, 20000);
    QCOMPARE(wolPasses.size(), 15);
    }

QTEST_GUILESS_MAIN(TestSearchManager)
#include "tst_searchmanager.moc"
