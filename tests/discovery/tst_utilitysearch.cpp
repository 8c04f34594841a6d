#include "discoveryservice.h"
#include "utilityprotocol.h"
#include "utilitysearch.h"

#include "../corvane/logtestsupport.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

#include <cstring>
#include <ctime>

// UtilitySearch without sockets: what it does with datagrams once they are
// read, and which broadcast datagrams it keeps. The one case with socket
// traffic re-runs this program in a network namespace of its own with
// nothing but one unconnected adapter in it; the camera side lives there too.
class TestUtilitySearch : public QObject
{
    Q_OBJECT

private:
    RecordingLogger logger;
    DiscoveryService *discovery = nullptr;
    UtilitySearch *search = nullptr;

    int countLines(const QString &message) const { return logger.messages().count(message); }

    static UtilitySearchCamInfo camera(const QString &ip)
    {
        UtilitySearchCamInfo info;
        info.mac = QStringLiteral("02:00:5e:00:00:01");
        info.model = QStringLiteral("CAM-100");
        info.name = QStringLiteral("Hall");
        info.ip = ip;
        info.dhcp = true;
        info.ipv6 = QStringLiteral("fe80::1");
        return info;
    }

    static QNetworkDatagram arrived(const QString &destination, uint interfaceIndex)
    {
        QNetworkDatagram datagram(UtilityProtocol::encodeReply(camera(QStringLiteral("192.0.2.10")),
                                                                 UtilityProtocol::ReplyForm::Short));
        datagram.setSender(QHostAddress(QStringLiteral("192.0.2.10")), 8000);
        datagram.setDestination(QHostAddress(destination), 8000);
        datagram.setInterfaceIndex(interfaceIndex);
        return datagram;
    }

private slots:
    void initTestCase()
    {
        LogSystem *logSystem = LogSystem::getSysLogSystem();
        logSystem->setLogLevel(LogSystem::LogDetailMsg);
        logSystem->setLogger(&logger);
        logSystem->startLog();
        discovery = new DiscoveryService;
        search = UtilitySearch::getInstance();
    }

    void cleanupTestCase()
    {
        const QPointer<UtilitySearch> watch(search);
        delete discovery;
        QVERIFY(!watch);
        QVERIFY(!UtilitySearch::getInstance());
        LogSystem::getSysLogSystem()->stopLog();
        LogSystem::getSysLogSystem()->setLogger(nullptr);
    }

    void init() { logger.lines.clear(); }

    void oneInstanceOwnedByTheService()
    {
        UtilitySearch *again = UtilitySearch::getInstance();
        QCOMPARE(again, search);
        QCOMPARE(discovery->utilitySearch(), search);
    }

    void searchFromNoMatchingAddressSendsNothing()
    {
        search->handleDatagram(UtilityProtocol::encodeReply(camera(QStringLiteral("192.0.2.10")),
                                                            UtilityProtocol::ReplyForm::Short));
        // An adapter's several addresses joined by "\r\n" equal no single address.
        search->startSearch(QStringLiteral("192.0.2.250\r\n192.0.2.251"));
        QVERIFY(search->sockets.isEmpty());
        QVERIFY(!search->broadcastReceiver);
        QVERIFY(search->takeDeviceList().isEmpty());
        QVERIFY(!logger.messages().join(QLatin1Char('\n')).contains(QStringLiteral("bind udp")));
    }

    void repliesMergeAndAnAddressChangeIsLoggedOnce()
    {
        search->startSearch(QStringLiteral("no address"));
        UtilitySearchCamInfo first = camera(QStringLiteral("192.0.2.10"));
        search->handleDatagram(UtilityProtocol::encodeReply(first, UtilityProtocol::ReplyForm::Short));

        UtilitySearchCamInfo longForm = first;
        longForm.model = first.model.toLower();
        longForm.serialNo = QStringLiteral("SN-7");
        search->handleDatagram(UtilityProtocol::encodeReply(longForm, UtilityProtocol::ReplyForm::Long));

        UtilitySearchCamInfo moved = first;
        moved.ip = QStringLiteral("192.0.2.20");
        moved.dhcp = false;
        const QByteArray movedReply = UtilityProtocol::encodeReply(moved, UtilityProtocol::ReplyForm::Short);
        search->handleDatagram(movedReply);
        search->handleDatagram(movedReply);

        QCOMPARE(countLines(QStringLiteral("IP Change - Updating IP=[192.0.2.20]")), 1);
        const QList<UtilitySearchCamInfo> found = search->takeDeviceList();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.at(0).ip, QStringLiteral("192.0.2.20"));
        QCOMPARE(found.at(0).serialNo, QStringLiteral("SN-7"));
        QVERIFY(found.at(0).dhcp);
        QCOMPARE(found.at(0).model, first.model);

        // Taking the list again gives the same records.
        QCOMPARE(search->takeDeviceList(), found);
    }

    // A burst of replies, unicast to the bound socket and broadcast to the
    // wildcard receiver, read in batches: every reply lands once, in the order
    // it was sent on its way, and the sockets fall quiet afterwards.
    void burstIsReadInBatches()
    {
        if (!qEnvironmentVariableIsSet("PATHMERE_UTILITY_NETNS")) {
            if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--net"), QStringLiteral("true")}) != 0)
                QSKIP("cannot create a network namespace");
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PATHMERE_UTILITY_NETNS"), QStringLiteral("1"));
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QStringLiteral("unshare"), {QStringLiteral("--net"), QCoreApplication::applicationFilePath(),
                                                    QStringLiteral("burstIsReadInBatches")});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
            return;
        }

        // Inside the namespace: one adapter (a veth pair, nobody behind it) with
        // a documentation address.
        const QString ip = QStringLiteral("ip");
        QCOMPARE(QProcess::execute(ip, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")}), 0);
        QCOMPARE(QProcess::execute(ip, {QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("pm0"), QStringLiteral("type"),
                                        QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("pm1")}), 0);
        QCOMPARE(QProcess::execute(ip, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("pm1"), QStringLiteral("up")}), 0);
        QCOMPARE(QProcess::execute(ip, {QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("192.0.2.1/24"), QStringLiteral("dev"), QStringLiteral("pm0")}), 0);
        QCOMPARE(QProcess::execute(ip, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("pm0"), QStringLiteral("up")}), 0);

        const QHostAddress local(QStringLiteral("192.0.2.1"));
        search->localAddresses = {local};
        search->startSearch(local.toString());
        QCOMPARE(search->sockets.size(), 1);
        QVERIFY(search->broadcastReceiver);

        QUdpSocket cameras;
        QVERIFY(cameras.bind(local, 0));
        const int perWay = 1500;
        QList<UtilitySearchCamInfo> sent;
        for (int i = 0; i < 2 * perWay; ++i) {
            UtilitySearchCamInfo info = camera(QStringLiteral("192.0.2.%1").arg(10 + i % 200));
            info.mac = UtilityProtocol::macToText({0x02, 0x50, 0x4d, quint8(i >> 16), quint8(i >> 8), quint8(i)});
            info.name = QStringLiteral("CAM-%1").arg(i);
            info.serialNo = QStringLiteral("SN%1").arg(i);
            const QByteArray reply = UtilityProtocol::encodeReply(info, UtilityProtocol::ReplyForm::Long);
            UtilitySearchCamInfo expected;
            QVERIFY(UtilityProtocol::parseReply(reply, &expected));
            sent.append(expected);
            const bool unicast = i < perWay;
            const QHostAddress to = unicast ? local : QHostAddress(QHostAddress::Broadcast);
            QCOMPARE(cameras.writeDatagram(reply, to, UtilityProtocol::Port), qint64(reply.size()));
            // A camera answering both queries the same way: a genuine repeat.
            if (unicast && i % 3 == 0)
                QCOMPARE(cameras.writeDatagram(reply, to, UtilityProtocol::Port), qint64(reply.size()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(search->deviceList.size(), 2 * perWay, 20000);

        // Nothing left to read: the event loop must sleep, not spin.
        timespec before = {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
        QTest::qWait(500);
        timespec after = {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
        const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
        QVERIFY2(cpuMs < 250, qPrintable(QStringLiteral("%1 ms of CPU while idle").arg(cpuMs)));

        const QList<UtilitySearchCamInfo> found = search->takeDeviceList();
        QCOMPARE(found.size(), 2 * perWay);
        QHash<QString, int> position;
        for (int i = 0; i < found.size(); ++i)
            position.insert(found.at(i).mac, i);
        for (int i = 0; i < sent.size(); ++i) {
            const int at = position.value(sent.at(i).mac, -1);
            QVERIFY(at >= 0);
            QVERIFY(found.at(at) == sent.at(i));
            // Each way keeps its order.
            if (i != 0 && i != perWay)
                QVERIFY(at > position.value(sent.at(i - 1).mac));
        }
        QCOMPARE(countLines(QStringLiteral("IP Change - Updating IP=[192.0.2.10]")), 0);
        search->localAddresses.clear();
    }

    // Junk of any size on port 8000 leaves nothing behind, a refusal is
    // remembered by a short key, and the filter gives back what a flood
    // made it take when the next search starts.
    void hostileDatagramsKeepNothing()
    {
        search->startSearch(QStringLiteral("198.51.100.250"));
        QByteArray junk(60000, 'j');
        QByteArray refusal(60000, 'r');
        refusal.replace(30000, 10, "Invalid ID");
        QSignalSpy refused(search, &UtilitySearch::emitUtilityRecvSettingFail);
        for (int i = 0; i < 200; ++i) {
            std::memcpy(junk.data(), &i, sizeof i);
            std::memcpy(refusal.data(), &i, sizeof i);
            for (const QByteArray *payload : {&junk, &refusal}) {
                BatchDatagramReceiver::Datagram datagram;
                datagram.data = payload->constData();
                datagram.size = payload->size();
                datagram.senderIpv4 = 0xc6336401 + quint32(i);   // 198.51.100.1 on
                datagram.senderPort = UtilityProtocol::Port;
                search->takeDatagram(datagram, 1, false, i);
            }
        }
        QCOMPARE(refused.size(), 200);
        QCOMPARE(search->replyFilter.size(), 200);
        // Two lines for the flood, not one per refusal: the first, and the
        // count of the rest when the search ends.
        QCOMPARE(countLines(QStringLiteral("ID or Password fail.")), 1);
        QVERIFY2(search->replyFilter.keyCapacity() < 64 * 1024,
                 qPrintable(QString::number(search->replyFilter.keyCapacity())));

        // Forged valid replies, distinct per sender, fill the filter; the
        // next search starts from a small table again.
        const QByteArray reply = UtilityProtocol::encodeReply(camera(QStringLiteral("198.51.100.9")),
                                                              UtilityProtocol::ReplyForm::Long);
        for (int i = 0; i < 40000; ++i) {
            BatchDatagramReceiver::Datagram datagram;
            datagram.data = reply.constData();
            datagram.size = reply.size();
            datagram.senderIpv4 = 0xc6336401 + quint32(i);
            datagram.senderPort = UtilityProtocol::Port;
            search->takeDatagram(datagram, 1, false, 0);
        }
        QVERIFY(search->replyFilter.keyCapacity() > 4u << 20);
        search->startSearch(QStringLiteral("198.51.100.250"));
        QCOMPARE(countLines(QStringLiteral("\"ID or Password fail.\" repeated 199 more times.")), 1);
        QCOMPARE(search->replyFilter.keyCapacity(), size_t(0));
        search->takeDeviceList();
    }

    // Replies no camera sends (junk names, impossible MACs) are refused
    // before the filter or the list sees them, with one log line a second
    // and the count of the rest when the search ends.
    void impossibleRepliesAreRefused()
    {
        search->startSearch(QStringLiteral("198.51.100.250"));
        const QByteArray good = UtilityProtocol::encodeReply(camera(QStringLiteral("198.51.100.9")),
                                                             UtilityProtocol::ReplyForm::Long);
        QList<QByteArray> bad;
        for (const QByteArray &name : {QByteArray("\xef\xbf\xbd\xfe\xff"), QByteArray("Hall\x1b]0;x\x07")}) {
            UtilitySearchCamInfo info = camera(QStringLiteral("198.51.100.10"));
            info.mac = QStringLiteral("02:66:00:00:00:01");
            QByteArray reply = UtilityProtocol::encodeReply(info, UtilityProtocol::ReplyForm::Short);
            reply.replace(73, name.size() + 1, name + '\0');
            bad.append(reply);
        }
        for (const QString &mac : {QStringLiteral("00:00:00:00:00:00"), QStringLiteral("ff:ff:ff:ff:ff:ff"),
                                   QStringLiteral("01:00:5e:7f:ff:fa")}) {
            UtilitySearchCamInfo info = camera(QStringLiteral("198.51.100.11"));
            info.mac = mac;
            bad.append(UtilityProtocol::encodeReply(info, UtilityProtocol::ReplyForm::Short));
        }
        for (int round = 0; round < 40; ++round) {
            for (int i = 0; i < bad.size(); ++i) {
                BatchDatagramReceiver::Datagram datagram;
                datagram.data = bad.at(i).constData();
                datagram.size = bad.at(i).size();
                datagram.senderIpv4 = 0xc6336401 + quint32(round * 8 + i);
                datagram.senderPort = UtilityProtocol::Port;
                search->takeDatagram(datagram, 1, false, round);
            }
        }
        search->handleDatagram(bad.first());
        search->handleDatagram(good);
        QCOMPARE(search->replyFilter.size(), 0);
        const QList<UtilitySearchCamInfo> found = search->takeDeviceList();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().mac, QStringLiteral("02:00:5e:00:00:01"));
        int refusedLines = 0;
        for (const QString &line : logger.messages())
            refusedLines += line.startsWith(QLatin1String("Refused reply from ")) ? 1 : 0;
        QCOMPARE(refusedLines, 1);
        // The count of the rest comes when the search's context ends.
        search->startSearch(QStringLiteral("198.51.100.250"));
        search->takeDeviceList();
        QCOMPARE(countLines(QStringLiteral("\"Refused reply\" repeated %1 more times.").arg(40 * bad.size())), 1);
    }

    void refusalRaisesFailCaseOne()
    {
        QSignalSpy failures(search, &UtilitySearch::emitUtilityRecvSettingFail);

        QByteArray refusal(100, ' ');
        refusal.replace(10, 10, "Invalid ID");
        search->handleDatagram(refusal);
        QCOMPARE(failures.count(), 1);
        QCOMPARE(failures.at(0).at(0).toInt(), 1);
        QCOMPARE(countLines(QStringLiteral("ID or Password fail.")), 1);

        QByteArray lowerCase(100, ' ');
        lowerCase.replace(10, 10, "invalid id");
        search->handleDatagram(lowerCase);
        search->handleDatagram(QByteArray("Invalid ID").leftJustified(240, ' '));
        search->handleDatagram(QByteArray());
        QCOMPARE(failures.count(), 1);
        QCOMPARE(countLines(QStringLiteral("ID or Password fail.")), 1);
    }

    void broadcastReceiverKeepsOnlyTheSearchAdapters_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<uint>("interfaceIndex");
        QTest::addColumn<bool>("kept");
        QTest::newRow("limited broadcast on the search adapter") << "255.255.255.255" << 5u << true;
        QTest::newRow("directed broadcast on the search adapter") << "192.0.2.255" << 5u << true;
        QTest::newRow("limited broadcast on another adapter") << "255.255.255.255" << 6u << false;
        QTest::newRow("arrival adapter unknown") << "255.255.255.255" << 0u << false;
        QTest::newRow("unicast to the search address") << "192.0.2.1" << 6u << true;
        QTest::newRow("unicast to an address outside the search") << "198.51.100.1" << 5u << false;
    }

    void broadcastReceiverKeepsOnlyTheSearchAdapters()
    {
        QFETCH(QString, destination);
        QFETCH(uint, interfaceIndex);
        QFETCH(bool, kept);

        // A search limited to 192.0.2.1 on interface 5; the host also has
        // 198.51.100.1 on interface 6.
        const QList<QHostAddress> savedAddresses = search->localAddresses;
        search->localAddresses = {QHostAddress(QStringLiteral("192.0.2.1")), QHostAddress(QStringLiteral("198.51.100.1"))};
        search->boundAddresses.insert(QHostAddress(QStringLiteral("192.0.2.1")).toIPv4Address(), 5);
        search->searchInterfaces.insert(5);

        QCOMPARE(search->keepsBroadcastDatagram(arrived(destination, interfaceIndex)), kept);

        search->boundAddresses.clear();
        search->searchInterfaces.clear();
        search->localAddresses = savedAddresses;
    }
};

QTEST_GUILESS_MAIN(TestUtilitySearch)
#include "tst_utilitysearch.moc"
