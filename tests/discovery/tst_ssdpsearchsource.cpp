// The life cycle both SSDP sources share, through a source of the test's
// own: which addresses a search opens, that each new device is pushed once
// as it is kept, that finished() comes once when the list is taken or the
// search stopped, that a search's sockets go with it, and that datagrams
// larger than an SSDP message are refused. The only sockets are on loopback.

#include "../corvane/logtestsupport.h"

#include "networkinterfacemonitor.h"
#include "ssdpprotocol.h"
#include "ssdpsearchsource.h"

#include <QPointer>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

DocCamUpnpData answer(const QString &mac, const QString &name, const QString &ip)
{
    DocCamUpnpData data;
    data.device.mac = mac;
    data.device.name = name;
    data.device.model = QStringLiteral("DC-1");
    data.device.ip = ip;
    return data;
}

class RecordingSource : public SsdpSearchSource
{
public:
    explicit RecordingSource(NetworkInterfaceMonitor *monitor)
        : SsdpSearchSource(monitor, [](const DocCamUpnpData &a, const DocCamUpnpData &b) {
            return a.device.mac == b.device.mac;
        })
    {
    }
    ~RecordingSource() override { stopDiscovery(); }

    QStringList calls;
    QList<QPointer<QUdpSocket>> opened;

    void keepAnswer(const DocCamUpnpData &record) { keep(record, QStringLiteral("list full: %1 dropped (%2)")); }
    using SsdpSearchSource::readDatagrams;
    using SsdpSearchSource::searchSockets;

protected:
    void beginSearch() override { calls << QStringLiteral("begin"); }
    void openAddress(const QHostAddress &address) override
    {
        calls << address.toString();
        // One socket per address, on loopback whatever the address: only
        // its life counts here.
        QUdpSocket *socket = addSocket();
        socket->bind(QHostAddress(QHostAddress::LocalHost), 0);
        opened << socket;
    }
    void sendSearch() override { calls << QStringLiteral("send"); }
    void endSearch() override { calls << QStringLiteral("end"); }
};

QList<QHostAddress> twoAdapters()
{
    return {QHostAddress(QStringLiteral("192.0.2.5")), QHostAddress::LocalHost,
            QHostAddress(QStringLiteral("198.51.100.5")), QHostAddress(QStringLiteral("2001:db8::5"))};
}

} // namespace

class TestSsdpSearchSource : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void searchOpensTheChosenAddresses();
    void newDevicesArePushedOnce();
    void finishedOnceWhenStopped();
    void socketsGoWithTheSearch();
    void fullListRefusesMore();
    void oversizedDatagramsRefused();

private:
    LogCapture log{LogSystem::LogDetailMsg};
    NetworkInterfaceMonitor monitor{&twoAdapters};
};

void TestSsdpSearchSource::init()
{
    log.clear();
}

void TestSsdpSearchSource::searchOpensTheChosenAddresses()
{
    RecordingSource source(&monitor);
    QCOMPARE(source.startDelayMs(), SsdpSearchSource::StartDelayMs);

    // Every local IPv4 address; loopback and IPv6 never.
    source.setBindAddress(QString());
    source.startBroadcast();
    QCOMPARE(source.calls, QStringList({"begin", "192.0.2.5", "198.51.100.5", "send"}));
    // A second start while one runs opens nothing more.
    source.startBroadcast();
    QCOMPARE(source.calls.size(), 4);
    source.takeDeviceRecords();
    QCOMPARE(source.calls.last(), QStringLiteral("end"));

    source.calls.clear();
    source.setBindAddress(QStringLiteral("198.51.100.5"));
    source.startBroadcast();
    QCOMPARE(source.calls, QStringList({"begin", "198.51.100.5", "send"}));
    source.stopDiscovery();

    // An adapter entry of several addresses is no single address.
    source.calls.clear();
    source.setBindAddress(QStringLiteral("192.0.2.5\r\n198.51.100.5"));
    source.startBroadcast();
    QCOMPARE(source.calls, QStringList({"begin", "send"}));
    source.stopDiscovery();
}

void TestSsdpSearchSource::newDevicesArePushedOnce()
{
    RecordingSource source(&monitor);
    QSignalSpy found(&source, &SearchSource::deviceFound);
    QSignalSpy finished(&source, &SearchSource::finished);

    // Nothing is kept, nor pushed, before a search begins.
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:09"), QStringLiteral("early"), QStringLiteral("192.0.2.9")));
    QCOMPARE(found.count(), 0);

    source.startBroadcast();
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("desk"), QStringLiteral("192.0.2.11")));
    QCOMPARE(found.count(), 1);
    QCOMPARE(found.at(0).at(0).value<DeviceRecord>().name, QStringLiteral("desk"));
    QCOMPARE(found.at(0).at(0).value<DeviceRecord>().ip, QStringLiteral("192.0.2.11"));
    // The same device again (renamed): listed once, pushed once.
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("desk 2"), QStringLiteral("192.0.2.11")));
    QCOMPARE(found.count(), 1);
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:02"), QStringLiteral("lab"), QStringLiteral("192.0.2.12")));
    QCOMPARE(found.count(), 2);
    QCOMPARE(finished.count(), 0);

    const QList<DeviceRecord> list = source.takeDeviceRecords();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).name, QStringLiteral("desk 2"));
    QCOMPARE(list.at(1).mac, QStringLiteral("02:00:00:00:00:02"));

    // A late answer is neither kept nor pushed; taking again ends nothing.
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:03"), QStringLiteral("late"), QStringLiteral("192.0.2.13")));
    QCOMPARE(found.count(), 2);
    QCOMPARE(source.takeDeviceRecords().size(), 2);
    QCOMPARE(finished.count(), 1);

    // The next search starts empty and pushes its devices again.
    source.startBroadcast();
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("desk"), QStringLiteral("192.0.2.11")));
    QCOMPARE(found.count(), 3);
    QCOMPARE(source.takeDeviceRecords().size(), 1);
    QCOMPARE(finished.count(), 2);
}

void TestSsdpSearchSource::finishedOnceWhenStopped()
{
    RecordingSource source(&monitor);
    QSignalSpy finished(&source, &SearchSource::finished);
    source.stopDiscovery();
    QCOMPARE(finished.count(), 0);

    source.startBroadcast();
    source.keepAnswer(answer(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("desk"), QStringLiteral("192.0.2.11")));
    source.stopDiscovery();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(source.calls.last(), QStringLiteral("end"));
    source.stopDiscovery();
    QCOMPARE(finished.count(), 1);
    // A stopped search leaves no list behind.
    QVERIFY(source.takeDeviceRecords().isEmpty());
    QCOMPARE(finished.count(), 1);
}

void TestSsdpSearchSource::socketsGoWithTheSearch()
{
    RecordingSource source(&monitor);
    source.startBroadcast();
    QCOMPARE(source.searchSockets().size(), 2);
    QCOMPARE(source.opened.size(), 2);
    for (const QPointer<QUdpSocket> &socket : qAsConst(source.opened))
        QCOMPARE(socket->state(), QAbstractSocket::BoundState);
    source.takeDeviceRecords();
    QVERIFY(source.searchSockets().isEmpty());
    for (const QPointer<QUdpSocket> &socket : qAsConst(source.opened))
        QVERIFY(!socket || socket->state() == QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(std::all_of(source.opened.cbegin(), source.opened.cend(),
                            [](const QPointer<QUdpSocket> &socket) { return socket.isNull(); }));
}

void TestSsdpSearchSource::fullListRefusesMore()
{
    RecordingSource source(&monitor);
    QSignalSpy found(&source, &SearchSource::deviceFound);
    source.startBroadcast();
    for (int i = 0; i < SsdpSearchSource::MaxFoundDevices + 3; ++i) {
        const QString mac = QStringLiteral("02:00:00:00:%1:%2").arg(i / 256, 2, 16, QLatin1Char('0')).arg(i % 256, 2, 16, QLatin1Char('0'));
        source.keepAnswer(answer(mac, QStringLiteral("n%1").arg(i), QStringLiteral("192.0.2.%1").arg(i % 250 + 1)));
    }
    QCOMPARE(found.count(), SsdpSearchSource::MaxFoundDevices);
    QCOMPARE(source.takeDeviceRecords().size(), SsdpSearchSource::MaxFoundDevices);
    const QStringList lines = log.messages().filter(QStringLiteral("list full"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.first(), QStringLiteral("list full: 192.0.2.%1 dropped (%2)")
                                .arg(SsdpSearchSource::MaxFoundDevices % 250 + 1)
                                .arg(SsdpSearchSource::MaxFoundDevices));
}

void TestSsdpSearchSource::oversizedDatagramsRefused()
{
    RecordingSource source(&monitor);
    source.startBroadcast();
    QUdpSocket *receiver = source.opened.first();
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QByteArray huge(SsdpProtocol::MaxDatagramSize + 1, 'x');
    const QByteArray limit(SsdpProtocol::MaxDatagramSize, 'y');
    const QByteArray small("HTTP/1.1 200 OK\r\n\r\n");
    for (const QByteArray &datagram : {huge, small, limit, huge})
        QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, receiver->localPort()), qint64(datagram.size()));
    QTRY_VERIFY(receiver->hasPendingDatagrams());
    QTest::qWait(100);

    QList<QByteArray> handled;
    QList<QHostAddress> from;
    source.readDatagrams(receiver, "SSDP", [&](const QByteArray &data, const QHostAddress &sender) {
        handled << data;
        from << sender;
    });
    QCOMPARE(handled, QList<QByteArray>({small, limit}));
    QCOMPARE(from.first(), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(!receiver->hasPendingDatagrams());
    const QString refusal = QStringLiteral("SSDP datagram from 127.0.0.1 refused: %1 bytes, more than %2.")
                                .arg(SsdpProtocol::MaxDatagramSize + 1)
                                .arg(SsdpProtocol::MaxDatagramSize);
    QCOMPARE(log.messages().count(refusal), 2);
    // No socket: nothing to read.
    source.readDatagrams(nullptr, "SSDP", [&](const QByteArray &, const QHostAddress &) { handled << QByteArray(); });
    QCOMPARE(handled.size(), 2);
    source.stopDiscovery();
}

QTEST_GUILESS_MAIN(TestSsdpSearchSource)
#include "tst_ssdpsearchsource.moc"
