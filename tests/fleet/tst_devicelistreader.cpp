// A device list exported earlier, read back: every format the search and
// the window write, round trip through the real writers, and the refusals
// of what no writer makes.
#include "devicelistcsv.h"
#include "devicelistformat.h"
#include "devicelistreader.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QList<DeviceRecord> sampleList()
{
    QList<DeviceRecord> list;
    const QStringList names = {
        QStringLiteral("lobby"),
        QStringLiteral("=HYPERLINK(\"http://example.com\",\"x\")"),
        QStringLiteral("+41 entrance"),
        QStringLiteral("-garage"),
        QStringLiteral("@SUM(A1)"),
        QStringLiteral("\ttabbed"),
        QStringLiteral("with, comma \"and quotes\"\r\nand a line"),
        QStringLiteral("'quoted already"),
        QString::fromUtf8("caf\xC3\xA9 \xE6\x9D\xB1"),
        QString(),
    };
    for (int i = 0; i < names.size(); ++i) {
        DeviceRecord d;
        d.searchType = i % 3;
        d.name = names.at(i);
        d.model = i == 3 ? QStringLiteral("=MODEL") : QStringLiteral("SIM-CAM %1").arg(100 + i);
        d.serialNo = QStringLiteral("SN%1").arg(i);
        d.ip = QStringLiteral("192.0.2.%1").arg(i + 1);
        d.mac = QStringLiteral("00:1a:2b:3c:4d:%1").arg(i, 2, 16, QLatin1Char('0'));
        d.fwVersion = i == 4 ? QStringLiteral("-1.0") : QStringLiteral("1.%1.0").arg(i);
        d.dhcp = i % 2;
        d.mask = QStringLiteral("255.255.255.0");
        d.gateway = QStringLiteral("192.0.2.254");
        d.dns1 = QStringLiteral("192.0.2.53");
        d.ipv6 = QStringLiteral("fe80::%1").arg(i);
        list.append(d);
    }
    return list;
}

} // namespace

class TestDeviceListReader : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void neutralizedFileWithoutFormulasKeepsQuotes();
    void lineEndsAndByteOrderMark();
    void rowsSkippedAndNamed();
    void refusals_data();
    void refusals();
    void sizeCaps();
};

void TestDeviceListReader::roundTrip_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("format");
    const QList<DeviceRecord> list = sampleList();
    QTest::newRow("csv (search, window export)") << DeviceListCsv::write(list) << int(DeviceListReader::Format::Csv);
    QTest::newRow("csv-raw") << DeviceListFormat::format(list, DeviceListFormat::Kind::CsvRaw)
                             << int(DeviceListReader::Format::Csv);
    QTest::newRow("json") << DeviceListFormat::format(list, DeviceListFormat::Kind::Json)
                          << int(DeviceListReader::Format::Json);
}

void TestDeviceListReader::roundTrip()
{
    QFETCH(QByteArray, data);
    QFETCH(int, format);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.list"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    const DeviceListReader::Outcome outcome = DeviceListReader::readFile(path);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(int(outcome.format), format);
    QCOMPARE(outcome.skipped, 0);
    const QList<DeviceRecord> list = sampleList();
    QCOMPARE(outcome.devices.size(), list.size());
    for (int i = 0; i < list.size(); ++i)
        QCOMPARE(outcome.devices.at(i), list.at(i));
}

void TestDeviceListReader::neutralizedFileWithoutFormulasKeepsQuotes()
{
    // Neutralized, and only plain texts: "'=x" was a neutralized "=x", but a
    // name that just begins with "'" stays as it is.
    DeviceRecord d = sampleList().first();
    d.name = QStringLiteral("=1+1");
    DeviceRecord e = sampleList().at(1);
    e.name = QStringLiteral("'plain");
    const DeviceListReader::Outcome outcome = DeviceListReader::read(DeviceListCsv::write({d, e}));
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.devices.at(0).name, QStringLiteral("=1+1"));
    QCOMPARE(outcome.devices.at(1).name, QStringLiteral("'plain"));
    // The same texts raw: a formula-like field marks the file raw, and the
    // quote before "=" is the camera's own.
    DeviceRecord f = d;
    f.name = QStringLiteral("'=kept");
    const DeviceListReader::Outcome raw = DeviceListReader::read(DeviceListCsv::write({d, f}, DeviceListCsv::Fields::Raw));
    QCOMPARE(raw.devices.at(1).name, QStringLiteral("'=kept"));
}

void TestDeviceListReader::lineEndsAndByteOrderMark()
{
    const QByteArray lf = "mac,model,ip,name\n00:1A:2B:3C:4D:01,SIM-CAM 100,192.0.2.1,a\n00:1a:2b:3c:4d:02,SIM-CAM 100,192.0.2.2,\"b\nc\"\n";
    DeviceListReader::Outcome outcome = DeviceListReader::read("\xEF\xBB\xBF" + lf);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(outcome.devices.size(), 2);
    QCOMPARE(outcome.devices.at(0).mac, QStringLiteral("00:1a:2b:3c:4d:01"));
    QCOMPARE(outcome.devices.at(1).name, QStringLiteral("b\nc"));
    // Columns the file lacks keep the record's defaults.
    QCOMPARE(outcome.devices.at(0).searchType, 0);
    QCOMPARE(outcome.devices.at(0).dhcp, false);
    // Without a line end after the last row.
    outcome = DeviceListReader::read("mac,model\r\n00:1a:2b:3c:4d:01,M");
    QCOMPARE(outcome.devices.size(), 1);
    outcome = DeviceListReader::read("  \n[]");
    QVERIFY(outcome.ok);
    QCOMPARE(int(outcome.format), int(DeviceListReader::Format::Json));
    QCOMPARE(outcome.devices.size(), 0);
}

void TestDeviceListReader::rowsSkippedAndNamed()
{
    QByteArray csv = "mac,model,dhcp,searchType\r\n"
                     "00:1a:2b:3c:4d:01,M,true,0\r\n"       // kept
                     "00:1a:2b:3c:4d,M,true,0\r\n"          // short MAC
                     "00:1a:2b:3c:4d:03,,true,0\r\n"        // no model
                     "00:1a:2b:3c:4d:04,M,yes,0\r\n"        // dhcp not true/false
                     "00:1a:2b:3c:4d:05,M,true,7\r\n"       // no such source
                     "00:1a:2b:3c:4d:06,M,true\r\n"         // a field short
                     "00:1a:2b:3c:4d:07,M,false,1\r\n"      // kept
                     "00:1a:2b:3c:4d:08,M,true,0,9\r\n"     // a field more
                     "zz,M,true,0\r\n";                      // beyond the named ones
    DeviceListReader::Outcome outcome = DeviceListReader::read(csv);
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.devices.size(), 2);
    QCOMPARE(outcome.devices.at(1).searchType, 1);
    QCOMPARE(outcome.skipped, 7);
    QCOMPARE(outcome.warnings.size(), DeviceListReader::MaxNamedProblems + 1);
    QVERIFY2(outcome.warnings.at(0).startsWith(QStringLiteral("Line 3 skipped: no MAC address")), qPrintable(outcome.warnings.at(0)));
    QVERIFY2(outcome.warnings.at(4).contains(QStringLiteral("3 fields where the header has 4")), qPrintable(outcome.warnings.at(4)));
    QCOMPARE(outcome.warnings.last(), QStringLiteral("2 more skipped."));

    const QByteArray json = R"([{"mac":"00:1a:2b:3c:4d:01","model":"M","dhcp":true},
                                 {"mac":"00:1a:2b:3c:4d:02","model":"M","dhcp":"true"},
                                 {"mac":"00:1a:2b:3c:4d:03","model":"M","searchType":1.5},
                                 {"mac":"00:1a:2b:3c:4d:04","model":7},
                                 "not an object",
                                 {"mac":"00:1a:2b:3c:4d:06","model":"M","searchType":2,"extra":[1,2]}])";
    outcome = DeviceListReader::read(json);
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.devices.size(), 2);
    QCOMPARE(outcome.devices.at(0).dhcp, true);
    QCOMPARE(outcome.devices.at(1).searchType, 2);
    QCOMPARE(outcome.skipped, 4);
    QVERIFY(outcome.warnings.at(0).contains(QStringLiteral("Entry 2 skipped: \"dhcp\" has the wrong type")));
    QVERIFY(outcome.warnings.at(3).contains(QStringLiteral("Entry 5 skipped: not an object")));
}

void TestDeviceListReader::refusals_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << QByteArray() << "The list is empty";
    QTest::newRow("no header") << QByteArray("00:1a:2b:3c:4d:01,M\r\n") << "not a device list's header";
    QTest::newRow("header twice") << QByteArray("mac,model,mac\r\n") << "names \"mac\" twice";
    QTest::newRow("open quote") << QByteArray("mac,model\r\n00:1a:2b:3c:4d:01,\"M\r\n") << "A quote opened on line 2 is never closed";
    QTest::newRow("after quote") << QByteArray("mac,model\r\n00:1a:2b:3c:4d:01,\"M\"x\r\n") << "Line 2 has text after a closing quote";
    QTest::newRow("json syntax") << QByteArray("[{\"mac\":}]") << "cannot be read at byte";
    QTest::newRow("json object") << QByteArray("  [1] trailing") << "cannot be read";
    QTest::newRow("binary") << QByteArray("mac,model\r\n\x00\x01\x02\xff", 15) << "zero byte";
}

void TestDeviceListReader::refusals()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);
    const DeviceListReader::Outcome outcome = DeviceListReader::read(data);
    QVERIFY(!outcome.ok);
    QVERIFY(outcome.devices.isEmpty());
    QVERIFY2(outcome.error.contains(error), qPrintable(outcome.error));
    QVERIFY(outcome.error.endsWith(QLatin1Char('.')));
}

void TestDeviceListReader::sizeCaps()
{
    // A file one byte over the cap is refused without being parsed.
    QTemporaryDir dir;
    QFile big(dir.filePath(QStringLiteral("big.csv")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(DeviceListReader::MaxFileBytes + 1));
    big.close();
    DeviceListReader::Outcome outcome = DeviceListReader::readFile(big.fileName());
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.error.contains(QStringLiteral("larger than 16 MiB")), qPrintable(outcome.error));
    QVERIFY(!DeviceListReader::readFile(dir.filePath(QStringLiteral("missing.csv"))).error.isEmpty());

    // Too many columns, an overlong field, too many rows.
    QByteArray wide = "mac,model";
    for (int i = 0; i < DeviceListReader::MaxColumns; ++i)
        wide += ",x";
    outcome = DeviceListReader::read(wide + "\r\n");
    QVERIFY2(outcome.error.contains(QStringLiteral("more than 64 columns")), qPrintable(outcome.error));
    outcome = DeviceListReader::read("mac,model\r\n00:1a:2b:3c:4d:01," + QByteArray(DeviceListReader::MaxFieldChars + 2, 'M') + "\r\n");
    QVERIFY2(outcome.error.contains(QStringLiteral("longer than 1024")), qPrintable(outcome.error));
    outcome = DeviceListReader::read("[{\"mac\":\"00:1a:2b:3c:4d:01\",\"model\":\"" + QByteArray(DeviceListReader::MaxFieldChars + 1, 'M') + "\"}]");
    QCOMPARE(outcome.skipped, 1);
    QByteArray rows = "mac,model\n";
    for (int i = 0; i <= DeviceListReader::MaxDevices; ++i)
        rows += "00:1a:2b:3c:4d:01,M\n";
    outcome = DeviceListReader::read(rows);
    QVERIFY2(outcome.error.contains(QStringLiteral("more than 100000 devices")), qPrintable(outcome.error));
}

QTEST_GUILESS_MAIN(TestDeviceListReader)
#include "tst_devicelistreader.moc"
