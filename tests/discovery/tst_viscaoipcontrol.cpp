// ViscaOipControl without sockets: messages are registered (and would be sent
// through the sockets opened by openSockets, of which there are none here, so
// nothing leaves the machine), and received datagrams are fed in directly.

#include "../corvane/logtestsupport.h"

#include "discoveryservice.h"
#include "networkinterfacemonitor.h"
#include "viscaoipcontrol.h"
#include "viscaprotocol.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QNetworkInterface>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray reply(quint32 sequence, const char *payload)
{
    return ViscaProtocol::encodeReply(sequence, hex(payload));
}

} // namespace

class TestViscaOipControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sendingWithoutSocketsRegistersOnly();
    void invalidArgumentsUseNoSequence();
    void powerInquiryReplies_data();
    void powerInquiryReplies();
    void commandCompletion();
    void staleAndForeignRepliesIgnored();
    void malformedDatagramsIgnored();
    void duplicateReplyActsOnce();
    void mappedSenderAddress();
    void openSocketsBindsOnly();

private:
    NetworkInterfaceMonitor *monitor = nullptr;
    ViscaOipControl *control = nullptr;
    int nextHost = 10;
};

void TestViscaOipControl::initTestCase()
{
    // The program's control is the discovery service's, while it lives.
    QVERIFY(!ViscaOipControl::getInstance());
    {
        DiscoveryService discovery;
        QVERIFY(ViscaOipControl::getInstance());
        QCOMPARE(ViscaOipControl::getInstance(), discovery.viscaControl());
        QCOMPARE(ViscaOipControl::getInstance()->socketCount(), 0);
    }
    QVERIFY(!ViscaOipControl::getInstance());
    // The cases below need a control that nobody else answers for (the
    // service's coordinator switches on every camera that says "standby").
    monitor = new NetworkInterfaceMonitor(&QNetworkInterface::allAddresses);
    control = new ViscaOipControl(monitor);
    QCOMPARE(control->socketCount(), 0);
}

void TestViscaOipControl::cleanupTestCase()
{
    delete control;
    delete monitor;
}

void TestViscaOipControl::sendingWithoutSocketsRegistersOnly()
{
    const QString ip = QStringLiteral("192.0.2.20");
    QCOMPARE(control->inquirePowerState(ip), -1);
    ViscaCommandEntry entry = control->commandEntry(ip);
    QCOMPARE(entry.command, QStringLiteral("81090400ff"));
    QCOMPARE(int(entry.kind), 9);
    QCOMPARE(entry.sequence, 0);

    QCOMPARE(control->setPowerState(ip, 0), -1);
    entry = control->commandEntry(ip);
    QCOMPARE(entry.command, QStringLiteral("8101040002ff"));
    QCOMPARE(int(entry.kind), 1);
    QCOMPARE(entry.sequence, 1);

    QCOMPARE(control->setPowerState(ip, 1), -1);
    QCOMPARE(control->commandEntry(ip).command, QStringLiteral("8101040003ff"));
    QCOMPARE(control->commandEntry(ip).sequence, 2);
}

void TestViscaOipControl::invalidArgumentsUseNoSequence()
{
    const QString ip = QStringLiteral("192.0.2.21");
    control->inquirePowerState(ip);
    QCOMPARE(control->setPowerState(ip, 2), -1);
    QCOMPARE(control->setPowerState(ip, -1), -1);
    QCOMPARE(control->commandEntry(ip).sequence, 0);

    QCOMPARE(control->inquirePowerState(QStringLiteral("not an address")), -1);
    QVERIFY(!control->commandEntry(QStringLiteral("not an address")).isValid());

    // The table is keyed by the address text a reply's sender will have.
    control->inquirePowerState(QStringLiteral("192.000.002.022"));
    QCOMPARE(control->commandEntry(QStringLiteral("192.0.2.22")).sequence, 0);
}

void TestViscaOipControl::powerInquiryReplies_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("mode");

    QTest::newRow("50 03") << hex("90 50 03 FF") << 3;
    QTest::newRow("50 02") << hex("90 50 02 FF") << 2;
    QTest::newRow("50 04") << hex("90 50 04 FF") << 2;
    QTest::newRow("60 02") << hex("90 60 02 FF") << 2;
    QTest::newRow("60 03") << hex("90 60 03 FF") << 3;
}

void TestViscaOipControl::powerInquiryReplies()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, mode);

    // A fresh camera per row, so every row starts at sequence 0.
    const QString ip = QStringLiteral("198.51.100.%1").arg(nextHost++);
    control->inquirePowerState(ip);
    const qint32 sequence = control->commandEntry(ip).sequence;

    QSignalSpy state(control, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply);
    QSignalSpy completed(control, &ViscaOipControl::viscaCmdCompleted);
    QCOMPARE(sequence, 0);
    control->handleDatagram(reply(quint32(sequence), "90 41 FF"), QHostAddress(ip));
    QCOMPARE(state.count(), 0);
    control->handleDatagram(ViscaProtocol::encodeReply(quint32(sequence), payload), QHostAddress(ip));
    QCOMPARE(state.count(), 1);
    QCOMPARE(state.at(0).at(0).toString(), ip);
    QCOMPARE(state.at(0).at(1).toInt(), mode);
    QCOMPARE(completed.count(), 0);
}

void TestViscaOipControl::commandCompletion()
{
    const QString ip = QStringLiteral("203.0.113.30");
    control->inquirePowerState(ip);
    control->setPowerState(ip, 0);

    QSignalSpy state(control, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply);
    QSignalSpy completed(control, &ViscaOipControl::viscaCmdCompleted);
    control->handleDatagram(reply(1, "90 41 FF"), QHostAddress(ip));
    QCOMPARE(completed.count(), 0);
    control->handleDatagram(reply(1, "90 51 FF"), QHostAddress(ip));
    QCOMPARE(completed.count(), 1);
    QCOMPARE(state.count(), 0);
}

void TestViscaOipControl::staleAndForeignRepliesIgnored()
{
    const QString ip = QStringLiteral("203.0.113.31");
    control->inquirePowerState(ip);
    control->setPowerState(ip, 0);

    QSignalSpy state(control, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply);
    QSignalSpy completed(control, &ViscaOipControl::viscaCmdCompleted);
    // The answer to the replaced inquiry (sequence 0) arrives late.
    control->handleDatagram(reply(0, "90 50 03 FF"), QHostAddress(ip));
    // A completion from another camera, and one with a future sequence.
    control->handleDatagram(reply(1, "90 51 FF"), QHostAddress(QStringLiteral("203.0.113.32")));
    control->handleDatagram(reply(2, "90 51 FF"), QHostAddress(ip));
    QCOMPARE(state.count(), 0);
    QCOMPARE(completed.count(), 0);
}

void TestViscaOipControl::malformedDatagramsIgnored()
{
    const QString ip = QStringLiteral("203.0.113.33");
    control->setPowerState(ip, 0);

    QSignalSpy completed(control, &ViscaOipControl::viscaCmdCompleted);
    const QHostAddress sender(ip);
    control->handleDatagram(hex("01 11 00 00 00 00 00 00"), sender);                // 8 bytes
    control->handleDatagram(hex("01 11 00 05 00 00 00 00 90 51 FF 00 00 FF"), sender); // says 5, has 6
    control->handleDatagram(ViscaProtocol::encodeDatagram(ViscaProtocol::TypeCommand, 0, hex("90 51 FF")), sender);
    control->handleDatagram(ViscaProtocol::encodeDatagram(0x0200, 0, hex("90 51 FF")), sender);
    control->handleDatagram(hex("01 11 00 11 00 00 00 00 90 51") + QByteArray(15, '\xff'), sender); // 17 bytes
    control->handleDatagram(reply(0, "91 51 FF"), sender);
    control->handleDatagram(reply(0, "90 51 FE"), sender);
    QCOMPARE(completed.count(), 0);

    control->handleDatagram(reply(0, "90 51 FF"), sender);
    QCOMPARE(completed.count(), 1);
}

void TestViscaOipControl::duplicateReplyActsOnce()
{
    // With two local addresses a message goes out twice and a camera may
    // answer both copies; the second answer must not act again.
    const QString ip = QStringLiteral("203.0.113.34");
    control->inquirePowerState(ip);
    QSignalSpy state(control, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply);
    control->handleDatagram(reply(0, "90 50 03 FF"), QHostAddress(ip));
    control->handleDatagram(reply(0, "90 50 03 FF"), QHostAddress(ip));
    QCOMPARE(state.count(), 1);

    control->setPowerState(ip, 0);
    QSignalSpy completed(control, &ViscaOipControl::viscaCmdCompleted);
    control->handleDatagram(reply(1, "90 41 FF"), QHostAddress(ip));
    control->handleDatagram(reply(1, "90 41 FF"), QHostAddress(ip));
    control->handleDatagram(reply(1, "90 51 FF"), QHostAddress(ip));
    control->handleDatagram(reply(1, "90 51 FF"), QHostAddress(ip));
    QCOMPARE(completed.count(), 1);
}

void TestViscaOipControl::mappedSenderAddress()
{
    const QString ip = QStringLiteral("203.0.113.35");
    control->inquirePowerState(ip);
    QSignalSpy state(control, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply);
    control->handleDatagram(reply(0, "90 50 02 FF"), QHostAddress(QStringLiteral("::ffff:203.0.113.35")));
    QCOMPARE(state.count(), 1);
    QCOMPARE(state.at(0).at(0).toString(), ip);
}

void TestViscaOipControl::openSocketsBindsOnly()
{
    // Binding sends nothing; the sockets are closed again before anything
    // could be written through them.
    const QList<QHostAddress> local = control->localAddresses();
    if (local.isEmpty())
        QSKIP("no local IPv4 address to bind");
    auto closeAll = qScopeGuard([this]() { control->openSockets(QStringLiteral("203.0.113.254")); });

    RecordingLogger logger;
    LogSystem *log = LogSystem::getSysLogSystem();
    log->setLogLevel(LogSystem::LogMajorMsg);
    log->setLogger(&logger);
    log->startLog();
    auto stopLog = qScopeGuard([log]() { log->stopLog(); log->setLogger(nullptr); });

    QCOMPARE(control->openSockets(QStringLiteral("203.0.113.254")), 0);   // matches no address
    QCOMPARE(control->socketCount(), 0);
    QCOMPARE(control->openSockets(local.first().toString()), 0);
    QCOMPARE(control->socketCount(), 1);
    QCOMPARE(logger.messages(), QStringList({ QStringLiteral("bind udp success port:52381") }));

    // The port is taken by someone else: -1, and the sockets bound before stay.
    logger.lines.clear();
    QUdpSocket blocker;
    control->openSockets(QStringLiteral("203.0.113.254"));
    if (!blocker.bind(local.last(), ViscaProtocol::Port, QAbstractSocket::DontShareAddress))
        QSKIP("port 52381 is in use on this host");
    QCOMPARE(control->openSockets(QString()), -1);
    QCOMPARE(control->socketCount(), local.size() - 1);
    QCOMPARE(logger.messages().last(), QStringLiteral("bind udp fail port:52381"));
    QCOMPARE(logger.messages().count(QStringLiteral("bind udp success port:52381")), local.size() - 1);
}

QTEST_GUILESS_MAIN(TestViscaOipControl)
#include "tst_viscaoipcontrol.moc"
