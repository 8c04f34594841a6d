// The kernel's neighbour table as the ONVIF search reads it for MACs.
#include "neighbourtable.h"

#include <QHostAddress>
#include <QTemporaryFile>
#include <QtTest>

namespace {

const char Table[] =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.0.2.2        0x1         0x2         0A:BB:cc:dd:ee:01     *        lan0\n"
    "192.0.2.3        0x1         0x0         00:00:00:00:00:00     *        lan0\n"
    "192.0.2.4        0x1         0x6         02:00:00:00:00:04     *        lan0\n"
    "192.0.2.5        0x1         0x2         02:00:00:00:00        *        lan0\n"
    "192.0.2.6        0x1         zz          02:00:00:00:00:06     *        lan0\n"
    "fe80::1          0x1         0x2         02:00:00:00:00:07     *        lan0\n"
    "198.51.100.2     0x1         0x2         02:00:00:00:00:08     *        lan1\n"
    "garbage\n";

quint32 ip(const char *text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

} // namespace

class TestNeighbourTable : public QObject
{
    Q_OBJECT

private slots:
    void completeEntriesOnly()
    {
        const QHash<quint32, NeighbourTable::Entry> table = NeighbourTable::parse(Table);
        QCOMPARE(table.size(), 3);
        QCOMPARE(table.value(ip("192.0.2.2")).mac, QStringLiteral("0a:bb:cc:dd:ee:01"));
        QCOMPARE(table.value(ip("192.0.2.2")).device, QStringLiteral("lan0"));
        // Incomplete, malformed MAC or flags: not there.
        QVERIFY(!table.contains(ip("192.0.2.3")));
        QVERIFY(!table.contains(ip("192.0.2.5")));
        QVERIFY(!table.contains(ip("192.0.2.6")));
        QCOMPARE(table.value(ip("192.0.2.4")).mac, QStringLiteral("02:00:00:00:00:04"));
        QCOMPARE(table.value(ip("198.51.100.2")).device, QStringLiteral("lan1"));
        // The heading is never an entry, whatever it holds.
        QVERIFY(NeighbourTable::parse("192.0.2.9 0x1 0x2 02:00:00:00:00:09 * lan0\n").isEmpty());
    }

    void readFromAFileCappedInSize()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        QByteArray text = Table;
        // Past the cap nothing more is read: the last entry is lost, not the process.
        text.append(QByteArray(NeighbourTable::MaxBytes, '\n'));
        text.append("203.0.113.9 0x1 0x2 02:00:00:00:00:09 * lan2\n");
        file.write(text);
        file.close();
        const QHash<quint32, NeighbourTable::Entry> table = NeighbourTable::read(file.fileName());
        QCOMPARE(table.size(), 3);
        QVERIFY(!table.contains(ip("203.0.113.9")));
        QVERIFY(NeighbourTable::read(QStringLiteral("/nonexistent/arp")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNeighbourTable)
#include "tst_neighbourtable.moc"
