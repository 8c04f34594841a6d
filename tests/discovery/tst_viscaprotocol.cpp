// VISCA-over-IP datagrams, reply classification and the command table: the
// byte layouts that the sockets, the camera simulator and these tests share.

#include "viscacommandtable.h"
#include "viscaprotocol.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class TestViscaProtocol : public QObject
{
    Q_OBJECT

private slots:
    void sentMessages_data();
    void sentMessages();
    void encodeRefusesEmptyAndOversizePayloads();
    void decodeLengthChecks_data();
    void decodeLengthChecks();
    void decodeReadsBigEndianHeader();
    void replyTable_data();
    void replyTable();
    void cameraRepliesRoundTrip();
    void sequenceNumbering();
    void lookupAndSettle();
};

void TestViscaProtocol::sentMessages_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<quint32>("sequence");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("datagram");

    QTest::newRow("first power inquiry")
        << ViscaProtocol::powerInquiryPayload() << 0u << "81090400ff" << 9
        << hex("01 10 00 05 00 00 00 00 81 09 04 00 FF");
    QTest::newRow("power on after one inquiry")
        << ViscaProtocol::powerOnPayload() << 1u << "8101040002ff" << 1
        << hex("01 00 00 06 00 00 00 01 81 01 04 00 02 FF");
    QTest::newRow("power standby, large sequence")
        << ViscaProtocol::powerStandbyPayload() << 0x01020304u << "8101040003ff" << 1
        << hex("01 00 00 06 01 02 03 04 81 01 04 00 03 FF");
}

void TestViscaProtocol::sentMessages()
{
    QFETCH(QByteArray, payload);
    QFETCH(quint32, sequence);
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QByteArray, datagram);

    QCOMPARE(ViscaProtocol::commandText(payload), text);
    QCOMPARE(int(ViscaProtocol::kindOf(payload)), kind);
    const QByteArray encoded = ViscaProtocol::encodeDatagram(ViscaProtocol::payloadTypeFor(quint8(kind)),
                                                             sequence, payload);
    QCOMPARE(encoded.toHex(' '), datagram.toHex(' '));
}

void TestViscaProtocol::encodeRefusesEmptyAndOversizePayloads()
{
    QVERIFY(ViscaProtocol::encodeDatagram(ViscaProtocol::TypeCommand, 0, QByteArray()).isEmpty());
    QVERIFY(ViscaProtocol::encodeDatagram(ViscaProtocol::TypeCommand, 0, QByteArray(17, '\x81')).isEmpty());
    const QByteArray full = ViscaProtocol::encodeDatagram(ViscaProtocol::TypeCommand, 0, QByteArray(16, '\x81'));
    QCOMPARE(full.size(), 24);
    QCOMPARE(int(ViscaProtocol::kindOf(hex("81"))), 0);
    QCOMPARE(int(ViscaProtocol::kindOf(hex("81 0a ff"))), 0);
    QCOMPARE(ViscaProtocol::payloadTypeFor(0), quint16(0));
}

void TestViscaProtocol::decodeLengthChecks_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("short header") << hex("01 11 00 03 00 00 00") << false;
    QTest::newRow("exactly 8 bytes") << hex("01 11 00 00 00 00 00 00") << false;
    QTest::newRow("length field says 5, 6 follow") << hex("01 11 00 05 00 00 00 00 90 50 02 FF 00 00") << false;
    QTest::newRow("length field says 4, 3 follow") << hex("01 11 00 04 00 00 00 00 90 41 FF") << false;
    QTest::newRow("length field huge") << hex("01 11 FF FF 00 00 00 00 90 41 FF") << false;
    QTest::newRow("acknowledge") << hex("01 11 00 03 00 00 00 00 90 41 FF") << true;
    QTest::newRow("16-byte payload") << (hex("01 11 00 10 00 00 00 00") + QByteArray(16, '\x90')) << true;
    // Longer than the 16-byte message buffer: dropped, never copied.
    QTest::newRow("17-byte payload") << (hex("01 11 00 11 00 00 00 00") + QByteArray(17, '\x90')) << false;
    QTest::newRow("1400-byte payload")
        << (hex("01 11 05 78 00 00 00 00") + QByteArray(1400, '\xff')) << false;
}

void TestViscaProtocol::decodeLengthChecks()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);

    ViscaProtocol::Datagram decoded;
    decoded.sequence = 77;
    QCOMPARE(ViscaProtocol::decodeDatagram(datagram, &decoded), accepted);
    if (accepted) {
        QCOMPARE(decoded.payload, datagram.mid(8));
        QVERIFY(decoded.payload.size() <= ViscaProtocol::MaxPayloadSize);
    } else {
        QCOMPARE(decoded.sequence, 77u);
        QVERIFY(decoded.payload.isEmpty());
    }
}

void TestViscaProtocol::decodeReadsBigEndianHeader()
{
    ViscaProtocol::Datagram decoded;
    QVERIFY(ViscaProtocol::decodeDatagram(hex("01 11 00 04 DE AD BE EF 90 50 03 FF"), &decoded));
    QCOMPARE(decoded.payloadType, quint16(0x0111));
    QCOMPARE(decoded.sequence, 0xDEADBEEFu);
    QCOMPARE(decoded.payload, hex("90 50 03 FF"));

    QVERIFY(ViscaProtocol::decodeDatagram(hex("01 10 00 05 00 00 00 07 81 09 04 00 FF"), &decoded));
    QCOMPARE(decoded.payloadType, quint16(ViscaProtocol::TypeInquiry));
    QCOMPARE(decoded.sequence, 7u);
}

void TestViscaProtocol::replyTable_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("mode");

    const QString inquiry = QStringLiteral("81090400ff");
    const QString powerOn = QStringLiteral("8101040002ff");
    const int none = ViscaProtocol::ReplyIgnored;
    const int done = ViscaProtocol::ReplyCompleted;
    const int state = ViscaProtocol::ReplyPowerState;

    // Completion or inquiry answer (0x5).
    QTest::newRow("5x to command") << hex("90 51 FF") << 1 << powerOn << done << 0;
    QTest::newRow("5x to command, any text") << hex("90 52 FF") << 1 << QString("whatever") << done << 0;
    QTest::newRow("5x standby to inquiry") << hex("90 50 03 FF") << 9 << inquiry << state << 3;
    QTest::newRow("5x on to inquiry") << hex("90 50 02 FF") << 9 << inquiry << state << 2;
    QTest::newRow("5x other value to inquiry") << hex("90 50 04 FF") << 9 << inquiry << state << 2;
    QTest::newRow("5x without value to inquiry") << hex("90 51 FF") << 9 << inquiry << state << 2;
    QTest::newRow("5x to other inquiry") << hex("90 50 03 FF") << 9 << QString("81090600ff") << none << 0;
    QTest::newRow("5x with no entry") << hex("90 50 03 FF") << 0 << QString() << none << 0;
    // Error (0x6).
    QTest::newRow("6x 02 to inquiry") << hex("90 60 02 FF") << 9 << inquiry << state << 2;
    QTest::newRow("6x 03 to inquiry") << hex("90 60 03 FF") << 9 << inquiry << state << 3;
    QTest::newRow("6x to command") << hex("90 61 41 FF") << 1 << powerOn << none << 0;
    QTest::newRow("6x to other inquiry") << hex("90 60 03 FF") << 9 << QString("81090600ff") << none << 0;
    // Acknowledge (0x4) and everything else.
    QTest::newRow("ack to command") << hex("90 41 FF") << 1 << powerOn << none << 0;
    QTest::newRow("ack to inquiry") << hex("90 41 FF") << 9 << inquiry << none << 0;
    QTest::newRow("7x to inquiry") << hex("90 70 03 FF") << 9 << inquiry << none << 0;
    QTest::newRow("0x to command") << hex("90 01 FF") << 1 << powerOn << none << 0;
    // Frame checks.
    QTest::newRow("not from camera 1") << hex("A0 51 FF") << 1 << powerOn << none << 0;
    QTest::newRow("no terminator") << hex("90 51 00") << 1 << powerOn << none << 0;
    QTest::newRow("terminator only") << hex("FF") << 1 << powerOn << none << 0;
    QTest::newRow("empty") << QByteArray() << 9 << inquiry << none << 0;
    QTest::newRow("oversize") << (hex("90 51") + QByteArray(15, '\xff')) << 1 << powerOn << none << 0;
}

void TestViscaProtocol::replyTable()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, kind);
    QFETCH(QString, command);
    QFETCH(int, action);
    QFETCH(int, mode);

    const ViscaProtocol::ReplyOutcome outcome = ViscaProtocol::classifyReply(payload, quint8(kind), command);
    QCOMPARE(int(outcome.action), action);
    QCOMPARE(outcome.powerMode, mode);
}

void TestViscaProtocol::cameraRepliesRoundTrip()
{
    struct Case {
        QByteArray datagram;
        QByteArray payload;
    };
    const Case cases[] = {
        { ViscaProtocol::encodeAcknowledge(5), hex("90 41 FF") },
        { ViscaProtocol::encodeCompletion(5), hex("90 51 FF") },
        { ViscaProtocol::encodePowerInquiryReply(5, 3), hex("90 50 03 FF") },
        { ViscaProtocol::encodePowerInquiryReply(5, 2), hex("90 50 02 FF") },
        { ViscaProtocol::encodeError(5, 0x41), hex("90 60 41 FF") },
    };
    for (const Case &c : cases) {
        ViscaProtocol::Datagram decoded;
        QVERIFY(ViscaProtocol::decodeDatagram(c.datagram, &decoded));
        QCOMPARE(decoded.payloadType, quint16(ViscaProtocol::TypeReply));
        QCOMPARE(decoded.sequence, 5u);
        QCOMPARE(decoded.payload, c.payload);
    }
    QCOMPARE(ViscaProtocol::encodeCompletion(0x0a0b0c0d).left(8), hex("01 11 00 03 0A 0B 0C 0D"));
}

void TestViscaProtocol::sequenceNumbering()
{
    ViscaCommandTable table;
    const QString a = QStringLiteral("192.0.2.10");
    const QString b = QStringLiteral("192.0.2.11");

    QCOMPARE(table.registerMessage(a, QStringLiteral("81090400ff"), 9), 0);
    QCOMPARE(table.registerMessage(a, QStringLiteral("8101040002ff"), 1), 1);
    QCOMPARE(table.registerMessage(b, QStringLiteral("8101040002ff"), 1), 0);
    QCOMPARE(table.registerMessage(a, QStringLiteral("81090400ff"), 9), 2);
    QCOMPARE(table.size(), 2);

    const ViscaCommandEntry entryA = table.entry(a);
    QCOMPARE(entryA.command, QStringLiteral("81090400ff"));
    QCOMPARE(int(entryA.kind), 9);
    QCOMPARE(entryA.sequence, 2);
    QCOMPARE(table.entry(b).sequence, 0);
    QVERIFY(!table.entry(QStringLiteral("192.0.2.12")).isValid());
}

void TestViscaProtocol::lookupAndSettle()
{
    ViscaCommandTable table;
    const QString ip = QStringLiteral("198.51.100.4");
    table.registerMessage(ip, QStringLiteral("81090400ff"), 9);
    table.registerMessage(ip, QStringLiteral("8101040002ff"), 1);

    // A late reply to the replaced message finds nothing.
    QVERIFY(!table.lookup(ip, 0).isValid());
    QCOMPARE(table.lookup(ip, 0).command, QString());
    QCOMPARE(int(table.lookup(ip, 1).kind), 1);
    QVERIFY(!table.lookup(QStringLiteral("198.51.100.5"), 1).isValid());

    QVERIFY(!table.settle(ip, 0));
    QVERIFY(table.settle(ip, 1));
    QVERIFY(!table.settle(ip, 1));   // a copy of the same reply
    table.registerMessage(ip, QStringLiteral("81090400ff"), 9);
    QVERIFY(table.settle(ip, 2));    // a new message can be answered again
}

QTEST_GUILESS_MAIN(TestViscaProtocol)
#include "tst_viscaprotocol.moc"
