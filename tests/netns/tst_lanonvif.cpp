// Other makers' cameras in the two-adapter test LAN, driven through the
// ONVIF classes themselves: the WS-Discovery search from one and from both
// adapters, a lost Probe, Hello and Bye during a search, a login against a
// camera whose clock is hours off, and settings written and confirmed, taken
// only after a reboot, "accepted" but not taken, and refused for their
// credentials.
#include "camsimsides.h"
#include "devicerecord.h"
#include "onvifapplyjob.h"
#include "onvifinfojob.h"
#include "onvifsearch.h"
#include "testlan.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int WindowMs = 2500;


} // namespace

class TestLanOnvif : public QObject
{
    Q_OBJECT

private:
    CamsimSides side;

    // One whole search: what deviceFound pushed, and the list at the end.
    QList<DeviceRecord> search(OnvifSearch &onvif, const QString &bindAddress = QString())
    {
        QSignalSpy finished(&onvif, &OnvifSearch::finished);
        onvif.setBindAddress(bindAddress);
        onvif.setWindowMs(WindowMs);
        QList<DeviceRecord> pushed;
        const QMetaObject::Connection connection =
            connect(&onvif, &OnvifSearch::deviceFound, this, [&pushed](const DeviceRecord &r) { pushed.append(r); });
        [&] { QVERIFY(onvif.start()); }();
        [&] { QVERIFY(finished.wait(WindowMs + 3000)); }();
        disconnect(connection);
        [&] { QCOMPARE(pushed, onvif.deviceRecords()); }();
        return pushed;
    }

    static const OnvifSearch::Device *byEndpoint(const OnvifSearch &onvif, const QString &uuid)
    {
        return onvif.device(QStringLiteral("urn:uuid:") + uuid);
    }

    OnvifInfoJob::Result readInfo(const QString &url, const QString &user, const QString &password)
    {
        OnvifInfoJob job(QUrl(url), {user, password});
        QSignalSpy finished(&job, &OnvifInfoJob::finished);
        job.start();
        [&] { QVERIFY(finished.wait(20000)); }();
        return finished.isEmpty() ? OnvifInfoJob::Result() : finished.first().first().value<OnvifInfoJob::Result>();
    }

    OnvifApplyJob::Result apply(const OnvifSearch::Device &device, const QString &password,
                                const OnvifApplyJob::Settings &settings, int deadlineMs = 9000)
    {
        OnvifApplyJob job(QUrl(device.serviceUrl), device.endpoint, {QStringLiteral("admin"), password}, settings);
        job.setConfirmWindowMs(1500);
        job.setConfirmDeadlineMs(deadlineMs);
        job.setRebootConfirmDeadlineMs(deadlineMs);
        QSignalSpy finished(&job, &OnvifApplyJob::finished);
        job.start();
        [&] { QVERIFY(finished.wait(deadlineMs + 20000)); }();
        return finished.isEmpty() ? OnvifApplyJob::Result() : finished.first().first().value<OnvifApplyJob::Result>();
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::cameraNamespaces().size() >= 2, "this suite needs the two-adapter LAN");
        qRegisterMetaType<OnvifInfoJob::Result>();
        qRegisterMetaType<OnvifApplyJob::Result>();
    }

    void cleanup()
    {
        side.stop();
    }

    void foundOnceEachFromOneAdapter()
    {
        QVERIFY(side.startCameras(0, {
            QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:01,ip=192.0.2.30,name=Gate East,model=NVT-100,"
                           "onvif-location=Building 7"),
            QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:02,ip=192.0.2.31,name=Gate West,model=NVT-200"),
            // A maker's camera does not answer WS-Discovery.
            QStringLiteral("mac=02:50:4d:c0:00:01,ip=192.0.2.40"),
        }));
        QVERIFY(side.startCameras(1, {QStringLiteral("kind=onvif,mac=02:50:4d:e6:00:01,ip=198.51.100.30,name=Aula")}));

        OnvifSearch onvif;
        const QList<DeviceRecord> list = search(onvif, TestLan::programAddresses().first());
        QCOMPARE(list.size(), 2);
        // Every probe went out with its repeats, and each camera answered once per Probe.
        QCOMPARE(onvif.probesSent(), 1 + WsDiscoveryProtocol::MulticastUdpRepeat);
        QCOMPARE(side[0]->count(QStringLiteral("onvif-probe")), 1 + WsDiscoveryProtocol::MulticastUdpRepeat);
        QCOMPARE(side[1]->count(QStringLiteral("onvif-probe")), 0);

        const OnvifSearch::Device *east = byEndpoint(onvif, QStringLiteral("6f6e7669-6600-4000-8000-02504de00001"));
        QVERIFY(east);
        QCOMPARE(east->record.searchType, int(DeviceRecord::Onvif));
        QCOMPARE(east->record.name, QStringLiteral("Gate East"));
        QCOMPARE(east->record.model, QStringLiteral("NVT-100"));
        QCOMPARE(east->record.ip, QStringLiteral("192.0.2.30"));
        QCOMPARE(east->target.location, QStringLiteral("Building 7"));
        QCOMPARE(east->serviceUrl, QStringLiteral("http://192.0.2.30:80/onvif/device_service"));
        // On-link: the kernel's neighbour table names the answering interface.
        // Both cameras stand on one interface of one namespace: the first to
        // answer resolves our address, the other then answers without asking,
        // so only the first is sure to have an entry in our table.
        const QString mac = TestLan::cameraMac(0);
        QVERIFY(!mac.isEmpty());
        const OnvifSearch::Device *west = byEndpoint(onvif, QStringLiteral("6f6e7669-6600-4000-8000-02504de00002"));
        QVERIFY(west);
        QVERIFY2(east->record.mac == mac || west->record.mac == mac, qPrintable(east->record.mac + QLatin1Char(' ') + west->record.mac));
        for (const OnvifSearch::Device *camera : {east, west})
            QVERIFY2(camera->record.mac.isEmpty() || camera->record.mac == mac, qPrintable(camera->record.mac));
    }

    void foundOnceEachFromTwoAdapters()
    {
        const QString shared = QStringLiteral("onvif-uuid=0b1d0000-0000-4000-8000-000000000001");
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:11,ip=192.0.2.30,name=Twin,") + shared,
                              QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:12,ip=192.0.2.31,name=Left")}));
        QVERIFY(side.startCameras(1, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:11,ip=198.51.100.30,name=Twin,") + shared,
                              QStringLiteral("kind=onvif,mac=02:50:4d:e6:00:12,ip=198.51.100.31,name=Right")}));

        OnvifSearch onvif;
        const QList<DeviceRecord> list = search(onvif);
        // The same endpoint seen through both adapters is one device.
        QCOMPARE(list.size(), 3);
        QCOMPARE(onvif.probesSent(), 2 * (1 + WsDiscoveryProtocol::MulticastUdpRepeat));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(side[i]->count(QStringLiteral("onvif-probe")), 1 + WsDiscoveryProtocol::MulticastUdpRepeat);
            // Each camera answered the Probe once, its own repeat included.
            QCOMPARE(side[i]->count(QStringLiteral("onvif-answer")), 2 * (1 + WsDiscoveryProtocol::UnicastUdpRepeat));
        }
        QSet<QString> names;
        for (const DeviceRecord &record : list)
            names.insert(record.name);
        QCOMPARE(names, (QSet<QString>{QStringLiteral("Twin"), QStringLiteral("Left"), QStringLiteral("Right")}));
    }

    void lostFirstProbeStillFindsTheCamera()
    {
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:21,ip=192.0.2.32,name=Late,onvif-skip=1"),
                              QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:22,ip=192.0.2.33,name=Deaf,"
                                             "onvif-skip=1000")}));
        OnvifSearch onvif;
        const QList<DeviceRecord> list = search(onvif, TestLan::programAddresses().first());
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().name, QStringLiteral("Late"));
        const QList<QJsonObject> probes = side[0]->events(QStringLiteral("onvif-probe"));
        QVERIFY(probes.size() >= 2);
        QCOMPARE(probes.first().value(QStringLiteral("missed")).toInt(), 2);
        QCOMPARE(probes.at(1).value(QStringLiteral("answers")).toInt(), 1);
    }

    void helloAndByeDuringTheSearch()
    {
        OnvifSearch onvif;
        QSignalSpy found(&onvif, &OnvifSearch::deviceFound);
        QSignalSpy left(&onvif, &OnvifSearch::deviceLeft);
        QSignalSpy finished(&onvif, &OnvifSearch::finished);
        onvif.setWindowMs(8000);
        QVERIFY(onvif.start());
        // A camera that never answers a Probe, switched on during the search.
        QTest::qWait(1200);
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:31,ip=192.0.2.34,name=Newcomer,"
                                             "onvif-skip=1000")}));
        QTRY_COMPARE_WITH_TIMEOUT(found.count(), 1, 3000);
        QCOMPARE(found.first().first().value<DeviceRecord>().name, QStringLiteral("Newcomer"));
        QCOMPARE(side[0]->count(QStringLiteral("onvif-hello")), 1);
        side[0]->stop();
        QTRY_COMPARE_WITH_TIMEOUT(left.count(), 1, 3000);
        QVERIFY(onvif.devices().isEmpty());
        onvif.stop();
        QCOMPARE(finished.count(), 1);
    }

    void loginAgainstAClockFiveHoursAhead()
    {
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:41,ip=192.0.2.35,model=NVT-500,fw=5.1.2,"
                                             "serial=SN-41,gateway=192.0.2.1,dns1=192.0.2.53,user=admin,password=pw41,"
                                             "onvif-clock=+5h")}));
        const QString url = QStringLiteral("http://192.0.2.35/onvif/device_service");
        const OnvifInfoJob::Result info = readInfo(url, QStringLiteral("admin"), QStringLiteral("pw41"));
        QCOMPARE(OnvifInfoJob::statusText(info.status), QStringLiteral("Ok"));
        QVERIFY2(qAbs(info.clockOffsetMs - 5 * 3600 * 1000) < 5000, qPrintable(QString::number(info.clockOffsetMs)));
        const DeviceRecord record = info.record();
        QCOMPARE(record.model, QStringLiteral("NVT-500"));
        QCOMPARE(record.fwVersion, QStringLiteral("5.1.2"));
        QCOMPARE(record.serialNo, QStringLiteral("SN-41"));
        QCOMPARE(record.mac, QStringLiteral("02:50:4d:e0:00:41"));
        QCOMPARE(record.ip, QStringLiteral("192.0.2.35"));
        QCOMPARE(record.mask, QStringLiteral("255.255.255.0"));
        QCOMPARE(record.gateway, QStringLiteral("192.0.2.1"));
        QCOMPARE(record.dns1, QStringLiteral("192.0.2.53"));
        QVERIFY(!record.dhcp);
        // Every call after the clock carried a login the camera took.
        const QList<QJsonObject> calls = side[0]->events(QStringLiteral("onvif-call"));
        QCOMPARE(calls.size(), 5);
        for (const QJsonObject &call : calls)
            QCOMPARE(call.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
    }

    void refusedCredentialsAreUnauthorized()
    {
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:51,ip=192.0.2.36,user=admin,password=right")}));
        const QString url = QStringLiteral("http://192.0.2.36/onvif/device_service");
        const OnvifInfoJob::Result info = readInfo(url, QStringLiteral("admin"), QStringLiteral("wrong"));
        QCOMPARE(OnvifInfoJob::statusText(info.status), QStringLiteral("Unauthorized"));
        QCOMPARE(info.failedCall, OnvifDeviceProtocol::Call::GetDeviceInformation);

        OnvifSearch onvif;
        search(onvif, TestLan::programAddresses().first());
        const OnvifSearch::Device *device = byEndpoint(onvif, QStringLiteral("6f6e7669-6600-4000-8000-02504de00051"));
        QVERIFY(device);
        OnvifApplyJob::Settings settings;
        settings.ip = QStringLiteral("192.0.2.37");
        settings.mask = QStringLiteral("255.255.255.0");
        const OnvifApplyJob::Result result = apply(*device, QStringLiteral("wrong"), settings);
        QCOMPARE(OnvifApplyJob::statusText(result.status), QStringLiteral("Unauthorized"));
        // Nothing was written.
        QCOMPARE(side[0]->events(QStringLiteral("onvif-call"), QStringLiteral("call"), QStringLiteral("SetDNS")).size(), 0);
        QCOMPARE(side[0]->count(QStringLiteral("onvif-address")), 0);
    }

    void writeConfirmedAtTheNewAddress_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("rebooted");
        QTest::newRow("at once") << QString() << false;
        QTest::newRow("after a reboot") << QStringLiteral(",onvif-reboot=1") << true;
    }

    void writeConfirmedAtTheNewAddress()
    {
        QFETCH(QString, options);
        QFETCH(bool, rebooted);
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:61,ip=192.0.2.38,password=pw61,"
                                             "onvif-clock=-3h") + options}));
        OnvifSearch onvif;
        search(onvif, TestLan::programAddresses().first());
        const OnvifSearch::Device *device = byEndpoint(onvif, QStringLiteral("6f6e7669-6600-4000-8000-02504de00061"));
        QVERIFY(device);
        OnvifApplyJob::Settings settings;
        settings.ip = QStringLiteral("192.0.2.39");
        settings.mask = QStringLiteral("255.255.255.0");
        settings.gateway = QStringLiteral("192.0.2.254");
        settings.dns1 = QStringLiteral("192.0.2.53");
        settings.dns2 = QStringLiteral("192.0.2.54");
        const OnvifApplyJob::Result result = apply(*device, QStringLiteral("pw61"), settings);
        QVERIFY2(result.status == OnvifApplyJob::Status::Ok, qPrintable(result.error));
        QCOMPARE(result.confirmedIp, QStringLiteral("192.0.2.39"));
        QCOMPARE(result.rebooted, rebooted);
        QCOMPARE(side[0]->count(QStringLiteral("onvif-reboot")), rebooted ? 1 : 0);
        const QList<QJsonObject> moved = side[0]->events(QStringLiteral("onvif-address"));
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved.first().value(QStringLiteral("oldIp")).toString(), QStringLiteral("192.0.2.38"));

        // The camera shows what was written.
        const OnvifInfoJob::Result info = readInfo(QStringLiteral("http://192.0.2.39/onvif/device_service"),
                                                   QStringLiteral("admin"), QStringLiteral("pw61"));
        QCOMPARE(OnvifInfoJob::statusText(info.status), QStringLiteral("Ok"));
        QCOMPARE(info.record().gateway, QStringLiteral("192.0.2.254"));
        QCOMPARE(info.record().dns1, QStringLiteral("192.0.2.53"));
        QCOMPARE(info.record().dns2, QStringLiteral("192.0.2.54"));
    }

    void writeAcceptedButNotTakenIsNotConfirmed()
    {
        QVERIFY(side.startCameras(0, {QStringLiteral("kind=onvif,mac=02:50:4d:e0:00:71,ip=192.0.2.41,onvif-apply=ignore")}));
        OnvifSearch onvif;
        search(onvif, TestLan::programAddresses().first());
        const OnvifSearch::Device *device = byEndpoint(onvif, QStringLiteral("6f6e7669-6600-4000-8000-02504de00071"));
        QVERIFY(device);
        OnvifApplyJob::Settings settings;
        settings.ip = QStringLiteral("192.0.2.42");
        settings.mask = QStringLiteral("255.255.255.0");
        const OnvifApplyJob::Result result = apply(*device, QStringLiteral("admin"), settings, 5000);
        QCOMPARE(OnvifApplyJob::statusText(result.status), QStringLiteral("NotConfirmed"));
        QVERIFY2(result.error.contains(QLatin1String("192.0.2.41")), qPrintable(result.error));
        // The camera did say the write went well.
        const QList<QJsonObject> writes =
            side[0]->events(QStringLiteral("onvif-call"), QStringLiteral("call"), QStringLiteral("SetNetworkInterfaces"));
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes.first().value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
    }
};

QTEST_GUILESS_MAIN(TestLanOnvif)
#include "tst_lanonvif.moc"
