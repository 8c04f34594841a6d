// Reading the kernel's socket tables: a line's addresses, ports and uid, the
// other end of a loopback connection, and the sender of a loopback datagram
// (refused when sockets of two users could have sent it).

#include "socketowner.h"
#include "socketprocesses.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <unistd.h>

namespace {

const QByteArray header = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

// A /proc/net/tcp or udp line (IPv4, little-endian words as on x86).
QByteArray line(const char *local, const char *remote, uint uid)
{
    return QByteArray("   7: ") + local + ' ' + remote + " 01 00000000:00000000 00:00000000 00000000 "
        + QByteArray::number(uid) + "        0 123456 1 0000000000000000 100 0 0 10 0\n";
}

} // namespace

class TstSocketOwner : public QObject
{
    Q_OBJECT

private slots:
    void parsesLines();
    void refusesWhatIsNoSocketLine_data();
    void refusesWhatIsNoSocketLine();
    void tcpPeerByExactEnds();
    void udpSenderMustBeOneUser();
    void liveLoopbackSockets();
    void inodeAndDrops();
    void holderOfAPort();
};

void TstSocketOwner::parsesLines()
{
    SocketOwner::Entry entry;
    const QByteArray v4 = line("0100007F:3B90", "0100007F:9C40", 1000);
    QVERIFY(SocketOwner::parseLine(v4.constData(), v4.size(), &entry));
    QCOMPARE(entry.local, QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(entry.localPort, quint16(0x3B90));
    QCOMPARE(entry.remote, QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(entry.remotePort, quint16(40000));
    QCOMPARE(entry.uid, 1000u);

    // tcp6: four words; an IPv4-mapped address reads as the IPv4 one.
    const QByteArray mapped = line("0000000000000000FFFF00000100007F:3B98", "00000000000000000000000001000000:0050",
                                   4242);
    QVERIFY(SocketOwner::parseLine(mapped.constData(), mapped.size(), &entry));
    QCOMPARE(entry.local, QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(entry.remote, QHostAddress(QStringLiteral("::1")));
    QCOMPARE(entry.remotePort, quint16(80));
    QCOMPARE(entry.uid, 4242u);

    const QByteArray bigUid = line("00000000:1F90", "00000000:0000", 4294967294u);
    QVERIFY(SocketOwner::parseLine(bigUid.constData(), bigUid.size(), &entry));
    QCOMPARE(entry.uid, 4294967294u);
    QCOMPARE(entry.local, QHostAddress(QHostAddress::AnyIPv4));
}

void TstSocketOwner::refusesWhatIsNoSocketLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("header") << header;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no slot colon") << line("0100007F:3B90", "0100007F:9C40", 1).replace("7:", "7 ");
    QTest::newRow("short address") << line("100007F:3B90", "0100007F:9C40", 1);
    QTest::newRow("long port") << line("0100007F:13B90", "0100007F:9C40", 1);
    QTest::newRow("no port") << line("0100007F", "0100007F:9C40", 1);
    QTest::newRow("hex uid") << line("0100007F:3B90", "0100007F:9C40", 1).replace(" 1        0", " 1a       0");
    QTest::newRow("uid past 32 bits") << line("0100007F:3B90", "0100007F:9C40", 1).replace(" 1        0", " 4294967296 0");
    QTest::newRow("not hex") << line("0100007G:3B90", "0100007F:9C40", 1);
    QTest::newRow("too few fields") << QByteArray("   7: 0100007F:3B90 0100007F:9C40 01\n");
    QTest::newRow("too long") << line("0100007F:3B90", "0100007F:9C40", 1) + QByteArray(SocketOwner::MaxLineLength, ' ');
}

void TstSocketOwner::refusesWhatIsNoSocketLine()
{
    QFETCH(QByteArray, text);
    SocketOwner::Entry entry;
    entry.uid = 77;
    QVERIFY(!SocketOwner::parseLine(text.constData(), text.size(), &entry));
    QCOMPARE(entry.uid, 77u);
}

void TstSocketOwner::tcpPeerByExactEnds()
{
    const QHostAddress loopback(QStringLiteral("127.0.0.1"));
    // Our accepted socket (local 15248) and the client's (local 40000), and a
    // client of another user on another port.
    const QByteArray table = header + line("0100007F:3B90", "0100007F:9C40", 1000)
        + line("0100007F:9C40", "0100007F:3B90", 1000) + line("0100007F:9C41", "0100007F:3B90", 4242);
    QCOMPARE(SocketOwner::tcpPeerUidIn({table}, loopback, 40000, loopback, 15248), std::optional<uint>(1000));
    QCOMPARE(SocketOwner::tcpPeerUidIn({table}, loopback, 40001, loopback, 15248), std::optional<uint>(4242));
    QVERIFY(!SocketOwner::tcpPeerUidIn({table}, loopback, 40002, loopback, 15248));
    QVERIFY(!SocketOwner::tcpPeerUidIn({table}, QHostAddress(QStringLiteral("127.0.0.2")), 40000, loopback, 15248));
    // A client on an IPv6 socket to the IPv4-mapped address is in tcp6.
    const QByteArray table6 = header + line("0000000000000000FFFF00000100007F:9C42", "0000000000000000FFFF00000100007F:3B90", 4343);
    QCOMPARE(SocketOwner::tcpPeerUidIn({table, table6}, loopback, 40002, loopback, 15248), std::optional<uint>(4343));
}

void TstSocketOwner::udpSenderMustBeOneUser()
{
    const QHostAddress loopback(QStringLiteral("127.0.0.1"));
    const QByteArray own = line("0100007F:C350", "00000000:0000", 1000);
    const QByteArray wildcard = line("00000000:C351", "00000000:0000", 1000);
    const QByteArray otherAddress = line("0200007F:C350", "00000000:0000", 4242);
    const QByteArray shared = line("00000000:C350", "00000000:0000", 4242);
    QCOMPARE(SocketOwner::udpSenderUidIn({header + own}, loopback, 50000), std::optional<uint>(1000));
    QCOMPARE(SocketOwner::udpSenderUidIn({header + wildcard}, loopback, 50001), std::optional<uint>(1000));
    // Bound to 127.0.0.2: that socket could not have sent from 127.0.0.1.
    QCOMPARE(SocketOwner::udpSenderUidIn({header + own + otherAddress}, loopback, 50000), std::optional<uint>(1000));
    // A socket of someone else that could have sent it as well: nobody's.
    QVERIFY(!SocketOwner::udpSenderUidIn({header + own + shared}, loopback, 50000));
    QVERIFY(!SocketOwner::udpSenderUidIn({header + own, header + shared}, loopback, 50000));
    // Closed already: unknown.
    QVERIFY(!SocketOwner::udpSenderUidIn({header + wildcard}, loopback, 50000));
}

// The real tables, with sockets of this process at both ends.
void TstSocketOwner::liveLoopbackSockets()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(client.waitForConnected(3000));
    QVERIFY(server.waitForNewConnection(3000));
    QTcpSocket *accepted = server.nextPendingConnection();
    QVERIFY(accepted);
    QCOMPARE(SocketOwner::tcpPeerUid(accepted->peerAddress(), accepted->peerPort(), accepted->localAddress(),
                                     accepted->localPort()),
             std::optional<uint>(uint(getuid())));

    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
    QCOMPARE(SocketOwner::udpSenderUid(QHostAddress::LocalHost, sender.localPort()), std::optional<uint>(uint(getuid())));
    const quint16 port = sender.localPort();
    sender.close();
    QVERIFY(!SocketOwner::udpSenderUid(QHostAddress::LocalHost, port));
}

// The later columns: inode and (udp tables) the datagrams dropped; a line
// without them is still a socket's.
void TstSocketOwner::inodeAndDrops()
{
    const QByteArray udp = "  863: 00000000:1F40 00000000:0000 07 00000000:00000A00 00:00000000 00000000  1000        0 4242424 2 "
                           "0000000000000000 17\n";
    SocketOwner::Entry entry;
    QVERIFY(SocketOwner::parseLine(udp.constData(), udp.size(), &entry));
    QCOMPARE(entry.localPort, quint16(8000));
    QCOMPARE(entry.inode, quint64(4242424));
    QCOMPARE(entry.drops, qint64(17));
    QCOMPARE(entry.receiveQueue, quint32(0xA00));
    const QByteArray shortLine = "   7: 0100007F:3B90 0100007F:9C40 01 00000000:00000000 00:00000000 00000000 1000\n";
    QVERIFY(SocketOwner::parseLine(shortLine.constData(), shortLine.size(), &entry));
    QCOMPARE(entry.inode, quint64(0));
    QCOMPARE(entry.drops, qint64(-1));
    const QByteArray junkInode = QByteArray(udp).replace("4242424", "42x4");
    QVERIFY(SocketOwner::parseLine(junkInode.constData(), junkInode.size(), &entry));
    QCOMPARE(entry.inode, quint64(0));

    const QList<SocketOwner::Entry> on8000 = SocketOwner::udpSocketsOnPortIn({header + udp + shortLine}, 8000);
    QCOMPARE(on8000.size(), 1);
    QCOMPARE(on8000.first().drops, qint64(17));

    QCOMPARE(SocketProcesses::socketInode("socket:[12345]"), quint64(12345));
    QCOMPARE(SocketProcesses::socketInode("pipe:[12345]"), quint64(0));
    QCOMPARE(SocketProcesses::socketInode("socket:[]"), quint64(0));
    QCOMPARE(SocketProcesses::socketInode("socket:[99999999999999999999999]"), quint64(0));
    QCOMPARE(SocketProcesses::socketInode("socket:[12a]"), quint64(0));
}

// A real socket on a port, found in the table and traced to this process.
void TstSocketOwner::holderOfAPort()
{
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
    QList<SocketOwner::Entry> sockets;
    QVERIFY(SocketOwner::udpSocketsOnPort(socket.localPort(), &sockets));
    QCOMPARE(sockets.size(), 1);
    QVERIFY(sockets.first().inode != 0);
    QCOMPARE(sockets.first().drops, qint64(0));
    QVERIFY(SocketProcesses::ofProcess().contains(sockets.first().inode));
    const SocketProcesses::Result found = SocketProcesses::find({sockets.first().inode});
    const QList<SocketProcesses::Holder> holders = found.holders.value(sockets.first().inode);
    QCOMPARE(holders.size(), 1);
    QCOMPARE(holders.first().pid, QCoreApplication::applicationPid());
    // comm is the program's name cut to 15 characters.
    QCOMPARE(holders.first().name, QCoreApplication::applicationName().left(15));
}

QTEST_GUILESS_MAIN(TstSocketOwner)

#include "tst_socketowner.moc"
