// The Wake-on-LAN packet and its schedule. Passes go to a recorder instead of
// the network; the spacing is measured loosely here (the machine is shared),
// precisely in the network-namespace suite.

#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

struct Pass {
    qint64 atMs;
    QByteArray packet;
};

} // namespace

class TestWakeOnLan : public QObject
{
    Q_OBJECT

private slots:
    void standardPacket();
    void macTextVariants_data();
    void macTextVariants();
    void recognisesMagicPackets();
    void scheduleDelays();
    void timedSequencesKeepSpacingAndOrder();
    void macTextGate_data();
    void macTextGate();
    void queueIsBounded();
};

void TestWakeOnLan::standardPacket()
{
    const QByteArray packet = WakeOnLan::buildMagicPacket(QStringLiteral("00:11:22:33:44:55"));
    QCOMPARE(packet.size(), 102);
    QCOMPARE(packet.left(6), QByteArray(6, '\xff'));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(packet.mid(6 + 6 * i, 6), hex("00 11 22 33 44 55"));
}

void TestWakeOnLan::macTextVariants_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QByteArray>("macBytes");

    QTest::newRow("upper case") << "AA:BB:CC:DD:EE:FF" << hex("AA BB CC DD EE FF");
    QTest::newRow("single digits") << "0:1:2:3:a:b" << hex("00 01 02 03 0A 0B");
    QTest::newRow("truncated to a byte") << "1ff:100:2:3:4:5" << hex("FF 00 02 03 04 05");
    QTest::newRow("empty part kept") << "00::22:33:44:55" << hex("00 00 22 33 44 55");
    QTest::newRow("not hex") << "zz:11:2g:33:44:55" << hex("00 11 02 33 44 55");
    QTest::newRow("dash separated is one part") << "00-11-22-33-44-55" << hex("00");
    QTest::newRow("seven parts") << "00:11:22:33:44:55:66" << hex("00 11 22 33 44 55 66");
    QTest::newRow("empty text") << "" << hex("00");
}

void TestWakeOnLan::macTextVariants()
{
    QFETCH(QString, mac);
    QFETCH(QByteArray, macBytes);

    const QByteArray packet = WakeOnLan::buildMagicPacket(mac);
    QCOMPARE(packet.size(), 6 + 16 * macBytes.size());
    QCOMPARE(packet.left(6), QByteArray(6, '\xff'));
    QCOMPARE(packet.mid(6), macBytes.repeated(16));
}

void TestWakeOnLan::recognisesMagicPackets()
{
    const QString mac = QStringLiteral("00:1a:2b:3c:4d:5e");
    QCOMPARE(WakeOnLan::macOfMagicPacket(WakeOnLan::buildMagicPacket(QStringLiteral("00:1A:2B:3C:4D:5E"))), mac);

    QByteArray broken = WakeOnLan::buildMagicPacket(mac);
    broken[100] = '\x01';
    QVERIFY(WakeOnLan::macOfMagicPacket(broken).isEmpty());
    QVERIFY(WakeOnLan::macOfMagicPacket(WakeOnLan::buildMagicPacket(mac).left(101)).isEmpty());
    QVERIFY(WakeOnLan::macOfMagicPacket(WakeOnLan::buildMagicPacket(QStringLiteral("00:11"))).isEmpty());
    QByteArray noSync = WakeOnLan::buildMagicPacket(mac);
    noSync[0] = '\0';
    QVERIFY(WakeOnLan::macOfMagicPacket(noSync).isEmpty());
}

void TestWakeOnLan::scheduleDelays()
{
    int total = 0;
    for (int i = 0; i < WakeOnLan::TotalPasses; ++i) {
        const int expected = (i % 5 == 4) ? 2300 : 300;
        QCOMPARE(WakeOnLan::delayAfterPass(i), expected);
        total += WakeOnLan::delayAfterPass(i);
    }
    QCOMPARE(WakeOnLan::TotalPasses, 15);
    QCOMPARE(total, 10500);   // 15 x 300 ms + 3 x 2 s
    QCOMPARE(WakeOnLan::delayAfterPass(15), 0);
    QCOMPARE(WakeOnLan::delayAfterPass(-1), 0);
}

void TestWakeOnLan::timedSequencesKeepSpacingAndOrder()
{
    WakeOnLanSender sender;
    QElapsedTimer clock;
    QList<Pass> passes;
    sender.setPassFunction([&](const QByteArray &packet) { passes.append({ clock.elapsed(), packet }); });

    // The GUI thread must keep running while the passes are spaced.
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(50);
    connect(&ticker, &QTimer::timeout, [&ticks]() { ++ticks; });
    ticker.start();

    const QByteArray first = WakeOnLan::buildMagicPacket(QStringLiteral("00:11:22:33:44:55"));
    const QByteArray second = WakeOnLan::buildMagicPacket(QStringLiteral("66:77:88:99:aa:bb"));
    QSignalSpy finished(&sender, &WakeOnLanSender::sequenceFinished);
    clock.start();
    sender.enqueue(first);
    QCOMPARE(passes.size(), 1);           // the first pass goes out at once
    sender.enqueue(second);
    QCOMPARE(passes.size(), 1);           // queued behind the running sequence
    QCOMPARE(sender.queuedSequences(), 1);
    QVERIFY(sender.isBusy());

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 40000);
    QVERIFY(!sender.isBusy());
    QCOMPARE(passes.size(), 30);
    for (int i = 0; i < 30; ++i)
        QCOMPARE(passes.at(i).packet, i < 15 ? first : second);

    for (int i = 1; i < 30; ++i) {
        const qint64 gap = passes.at(i).atMs - passes.at(i - 1).atMs;
        const int expected = WakeOnLan::delayAfterPass((i - 1) % 15);
        QVERIFY2(gap >= expected - 5, qPrintable(QStringLiteral("pass %1 after %2 ms").arg(i).arg(gap)));
        QVERIFY2(gap <= expected + 1000, qPrintable(QStringLiteral("pass %1 after %2 ms").arg(i).arg(gap)));
    }
    // About 21 s of sequences: a blocked thread would show almost no ticks.
    QVERIFY2(ticks > 150, qPrintable(QString::number(ticks)));
}

QTEST_GUILESS_MAIN(TestWakeOnLan)
void TestWakeOnLan::macTextGate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("lower") << "02:aa:bb:cc:dd:ee" << true;
    QTest::newRow("upper") << "02:AA:BB:CC:DD:EE" << true;
    QTest::newRow("single digits") << "0:1:2:3:a:b" << false;
    QTest::newRow("dashes") << "02-aa-bb-cc-dd-ee" << false;
    QTest::newRow("seven groups") << "02:aa:bb:cc:dd:ee:ff" << false;
    QTest::newRow("not hex") << "02:aa:bb:cc:dd:eg" << false;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("02:aa:bb:cc:dd:e\xd9\xa3") << false;
    QTest::newRow("16 MiB") << QString(16 << 20, QLatin1Char('a')) << false;
    QTest::newRow("empty") << "" << false;
}

void TestWakeOnLan::macTextGate()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(WakeOnLan::isMacText(text), accepted);
}

void TestWakeOnLan::queueIsBounded()
{
    WakeOnLanSender sender;
    int passes = 0;
    sender.setPassFunction([&](const QByteArray &) { ++passes; });
    const QByteArray packet = WakeOnLan::buildMagicPacket(QStringLiteral("00:11:22:33:44:55"));
    QVERIFY(sender.enqueue(packet));
    for (int i = 0; i < WakeOnLanSender::MaxQueuedSequences; ++i)
        QVERIFY(sender.enqueue(packet));
    QVERIFY(!sender.enqueue(packet));
    QCOMPARE(sender.queuedSequences(), WakeOnLanSender::MaxQueuedSequences);
    QCOMPARE(passes, 1);
}

#include "tst_wakeonlan.moc"
