// Batched reading of a UDP socket on the loopback interface: arrival order,
// true lengths and arrival addresses, ending the reading from a slot, and the
// datagram-by-datagram fallback when no descriptor is left to duplicate, and
// reading only when asked while polled.

#include "batchdatagramreceiver.h"

#include <QNetworkInterface>
#include <QUdpSocket>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Received
{
    QByteArray payload;
    quint32 senderIpv4;
    quint16 senderPort;
    bool hasDestination;
    quint32 destination;
    int interfaceIndex;
};

// Collects what the receiver hands over, copying the bytes it lends.
struct Collector
{
    QList<Received> datagrams;
    QList<int> batchSizes;

    void take(const BatchDatagramReceiver::Datagram *batch, int count)
    {
        batchSizes.append(count);
        for (int i = 0; i < count; ++i) {
            const BatchDatagramReceiver::Datagram &d = batch[i];
            datagrams.append({QByteArray(d.data, d.size), d.senderIpv4, d.senderPort, d.hasDestination,
                              d.destination, d.interfaceIndex});
        }
    }
};

QByteArray payloadFor(int i)
{
    // Sizes vary from a few bytes to the largest IPv4 UDP payload (65507).
    const QByteArray tag = QByteArray::number(i);
    const int size = i == 7 ? 65507 - tag.size() : 3 + (i * 37) % 300;
    return QByteArray(size, char('a' + i % 26)).append(tag);
}

} // namespace

class TstBatchDatagramReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void batchesKeepOrderLengthsAndArrival();
    void closeFromSlotEndsReading();
    void deleteLaterFromSlotEndsReading();
    void stopLeavesDatagramsQueued();
    void fallbackWithoutSpareDescriptor();
    void polledReadsOnlyWhenAsked();

private:
    QList<QByteArray> sendAll(int count);
    void verifyArrival(const Collector &collector, const QList<QByteArray> &sent, int from) const;

    QUdpSocket *socket = nullptr;
    QUdpSocket *sender = nullptr;
    const QHostAddress loopback{QHostAddress::LocalHost};
};

void TstBatchDatagramReceiver::init()
{
    socket = new QUdpSocket(this);
    QVERIFY(socket->bind(loopback, 0));
    BatchDatagramReceiver::enlargeReceiveBuffer(socket, 4 * 1024 * 1024);
    sender = new QUdpSocket(this);
    QVERIFY(sender->bind(loopback, 0));
}

void TstBatchDatagramReceiver::cleanup()
{
    delete socket;
    socket = nullptr;
    delete sender;
    sender = nullptr;
}

QList<QByteArray> TstBatchDatagramReceiver::sendAll(int count)
{
    QList<QByteArray> sent;
    for (int i = 0; i < count; ++i) {
        const QByteArray payload = payloadFor(i);
        if (sender->writeDatagram(payload, loopback, socket->localPort()) != payload.size())
            return {};
        sent.append(payload);
    }
    return sent;
}

void TstBatchDatagramReceiver::verifyArrival(const Collector &collector, const QList<QByteArray> &sent, int from) const
{
    const int loIndex = QNetworkInterface::interfaceIndexFromName(QStringLiteral("lo"));
    QCOMPARE(collector.datagrams.size(), sent.size() - from);
    for (int i = 0; i < collector.datagrams.size(); ++i) {
        const Received &got = collector.datagrams.at(i);
        QCOMPARE(got.payload, sent.at(from + i));
        QCOMPARE(got.senderIpv4, loopback.toIPv4Address());
        QCOMPARE(got.senderPort, sender->localPort());
        QVERIFY(got.hasDestination);
        QCOMPARE(got.destination, loopback.toIPv4Address());
        QCOMPARE(got.interfaceIndex, loIndex);
    }
}

void TstBatchDatagramReceiver::batchesKeepOrderLengthsAndArrival()
{
    BatchDatagramReceiver receiver(socket);
    QVERIFY(receiver.isBatched());
    Collector collector;
    connect(&receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [&collector](const BatchDatagramReceiver::Datagram *batch, int count) { collector.take(batch, count); });

    const QList<QByteArray> sent = sendAll(40);
    QCOMPARE(sent.size(), 40);
    QTRY_COMPARE(collector.datagrams.size(), sent.size());
    verifyArrival(collector, sent, 0);
    // Everything was queued before the first wake-up: a full batch first.
    QVERIFY(collector.batchSizes.size() >= 3);
    QCOMPARE(collector.batchSizes.first(), 16);

    // Later datagrams are notified anew.
    collector = Collector();
    QCOMPARE(sender->writeDatagram("late", loopback, socket->localPort()), qint64(4));
    QTRY_COMPARE(collector.datagrams.size(), 1);
    QCOMPARE(collector.datagrams.first().payload, QByteArray("late"));
}

void TstBatchDatagramReceiver::closeFromSlotEndsReading()
{
    BatchDatagramReceiver receiver(socket);
    Collector collector;
    connect(&receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [&](const BatchDatagramReceiver::Datagram *batch, int count) {
                collector.take(batch, count);
                receiver.close();
            });
    QCOMPARE(sendAll(40).size(), 40);
    QTRY_VERIFY(!collector.batchSizes.isEmpty());
    QTest::qWait(100);
    QCOMPARE(collector.batchSizes, QList<int>{16});
    QVERIFY(!receiver.isBatched());
    // The datagrams not read stay with the socket itself.
    QVERIFY(socket->hasPendingDatagrams());
}

void TstBatchDatagramReceiver::deleteLaterFromSlotEndsReading()
{
    QPointer<BatchDatagramReceiver> receiver = new BatchDatagramReceiver(socket, socket);
    Collector collector;
    bool deletedInSlot = false;
    connect(receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [&](const BatchDatagramReceiver::Datagram *batch, int count) {
                collector.take(batch, count);
                receiver->close();
                receiver->deleteLater();
                // An event loop run from a slot brings the deletion early.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                QCoreApplication::processEvents();
                deletedInSlot = receiver.isNull();
            });
    QCOMPARE(sendAll(40).size(), 40);
    QTRY_VERIFY(!receiver);
    QVERIFY(deletedInSlot);
    QTest::qWait(50);
    QCOMPARE(collector.batchSizes, QList<int>{16});
}

void TstBatchDatagramReceiver::stopLeavesDatagramsQueued()
{
    BatchDatagramReceiver receiver(socket);
    Collector collector;
    connect(&receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [&collector](const BatchDatagramReceiver::Datagram *batch, int count) { collector.take(batch, count); });
    receiver.stop();
    QCOMPARE(sendAll(5).size(), 5);
    QTest::qWait(150);
    QVERIFY(collector.datagrams.isEmpty());
    QVERIFY(socket->hasPendingDatagrams());
    QCOMPARE(socket->state(), QAbstractSocket::BoundState);
}

void TstBatchDatagramReceiver::fallbackWithoutSpareDescriptor()
{
    // Take every free descriptor below the socket's and let the process open
    // none above it: the duplicate cannot be made.
    const int fd = int(socket->socketDescriptor());
    QVERIFY(fd >= 0);
    QList<int> fillers;
    for (;;) {
        const int filler = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(filler >= 0);
        if (filler > fd) {
            ::close(filler);
            break;
        }
        fillers.append(filler);
    }
    rlimit saved = {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(fd) + 1;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    auto *receiver = new BatchDatagramReceiver(socket, socket);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    for (const int filler : qAsConst(fillers))
        ::close(filler);
    QVERIFY(!receiver->isBatched());

    Collector collector;
    connect(receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [&collector](const BatchDatagramReceiver::Datagram *batch, int count) { collector.take(batch, count); });
    const QList<QByteArray> sent = sendAll(20);
    QCOMPARE(sent.size(), 20);
    QTRY_COMPARE(collector.datagrams.size(), sent.size());
    verifyArrival(collector, sent, 0);
    for (const int size : qAsConst(collector.batchSizes))
        QCOMPARE(size, 1);

    receiver->stop();
    QCOMPARE(sender->writeDatagram("after stop", loopback, socket->localPort()), qint64(10));
    QTest::qWait(100);
    QCOMPARE(collector.datagrams.size(), sent.size());
}

void TstBatchDatagramReceiver::polledReadsOnlyWhenAsked()
{
    BatchDatagramReceiver receiver(socket);
    QVERIFY(receiver.isBatched());
    Collector collector;
    // Polled from the slot of the first batch: a receiver whose queue holds a
    // burst pauses after that batch, and the pause ending must not bring the
    // notification back.
    connect(&receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [&](const BatchDatagramReceiver::Datagram *batch, int count) {
                collector.take(batch, count);
                receiver.setPolled(true);
            });
    QCOMPARE(sender->writeDatagram("first", loopback, socket->localPort()), qint64(5));
    QTRY_COMPARE(collector.datagrams.size(), 1);
    collector = Collector();

    const QList<QByteArray> sent = sendAll(40);
    QCOMPARE(sent.size(), 40);
    QTest::qWait(150);
    QVERIFY(collector.datagrams.isEmpty());
    QCOMPARE(receiver.readPending(), 40);
    verifyArrival(collector, sent, 0);
    QCOMPARE(collector.batchSizes.first(), 16);
    QCOMPARE(receiver.readPending(), 0);

    // Back to notification: what waited is read without being asked.
    collector = Collector();
    QCOMPARE(sender->writeDatagram("waiting", loopback, socket->localPort()), qint64(7));
    QTest::qWait(100);
    QVERIFY(collector.datagrams.isEmpty());
    receiver.setPolled(false);
    QTRY_COMPARE(collector.datagrams.size(), 1);
    QCOMPARE(collector.datagrams.first().payload, QByteArray("waiting"));

    // A stopped receiver reads nothing, even when asked.
    receiver.stop();
    QCOMPARE(sender->writeDatagram("after stop", loopback, socket->localPort()), qint64(10));
    QTest::qWait(50);
    QCOMPARE(receiver.readPending(), 0);
    QCOMPARE(collector.datagrams.size(), 1);
    QVERIFY(socket->hasPendingDatagrams());
}

QTEST_GUILESS_MAIN(TstBatchDatagramReceiver)
#include "tst_batchdatagramreceiver.moc"
