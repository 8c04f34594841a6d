// The fleet report on a saved list of 200 cameras: its figures, its three
// outputs, and the HTML as headless Chromium renders it.
#include "devicelistcsv.h"
#include "devicelistreader.h"
#include "fleetreport.h"
#include "fleetreportwriter.h"
#include "headlessbrowser.h"
#include "versionorder.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString HostileName = QStringLiteral("<script>alert(1)</script>%1%2&amp;");
const QString HostileModel = QStringLiteral("SIM-DOME <b>%1</b>");

// 200 cameras: three models, firmware spread over several versions, every
// fourth on DHCP, two address conflicts, ten in a subnet no adapter has.
QList<DeviceRecord> siteOf200()
{
    QList<DeviceRecord> list;
    for (int i = 0; i < 200; ++i) {
        DeviceRecord d;
        d.mac = QStringLiteral("00:1a:2b:3c:%1:%2").arg(i / 256, 2, 16, QLatin1Char('0')).arg(i % 256, 2, 16, QLatin1Char('0'));
        d.name = QStringLiteral("cam-%1").arg(i);
        d.dhcp = i % 4 == 0;
        d.ip = i < 190 ? QStringLiteral("192.0.2.%1").arg(i + 1) : QStringLiteral("198.51.100.%1").arg(i - 189);
        d.mask = QStringLiteral("255.255.255.0");
        if (i < 120) {
            d.model = QStringLiteral("SIM-CAM 100");
            d.fwVersion = i < 70 ? QStringLiteral("2.1.0") : i < 100 ? QStringLiteral("2.0.9")
                        : i < 115 ? QStringLiteral("1.10.2") : QStringLiteral("1.9.8");
        } else if (i < 180) {
            d.model = QStringLiteral("SIM-CAM 200");
            d.fwVersion = i < 160 ? QStringLiteral("V3.0") : QStringLiteral("3.0.1 build 7");
        } else {
            d.model = HostileModel;
            d.fwVersion = i < 190 ? QStringLiteral("1.0") : i < 195 ? QStringLiteral("beta") : QString();
        }
        list.append(d);
    }
    list[6].ip = list[5].ip;        // 192.0.2.6 twice
    list[101].ip = list[100].ip;    // 192.0.2.101 twice
    list[3].name = HostileName;
    list[4].name = QStringLiteral("=HYPERLINK(\"http://example.com\")");
    return list;
}

QList<SettingsCheck::HostAddress> adapters()
{
    // 192.0.2.1/24, and loopback, which no camera's subnet is.
    return {{0xC0000201u, 0xFFFFFF00u}, {0x7F000001u, 0xFF000000u}};
}

// The saved list as the search wrote it, read back as `report --from` will.
FleetReport reportFromSavedList(const QString &folder)
{
    const QString path = folder + QStringLiteral("/site.csv");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(DeviceListCsv::write(siteOf200())) <= 0)
        return {};
    file.close();
    const DeviceListReader::Outcome saved = DeviceListReader::readFile(path);
    if (!saved.ok || saved.devices.size() != 200)
        return {};
    return FleetReport::make(saved.devices, adapters());
}

int pixelsOf(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF);
    }
    return count;
}

} // namespace

class TestFleetReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firmwareOrder();
    void figuresOf200Cameras();
    void withoutAdapters();
    void jsonOutput();
    void csvOutput();
    void htmlIsSelfContainedAndEscaped();
    void htmlInChromium();

private:
    QTemporaryDir dir;
    FleetReport report;
};

void TestFleetReport::initTestCase()
{
    QVERIFY(dir.isValid());
    report = reportFromSavedList(dir.path());
    QCOMPARE(report.cameras, 200);
}

void TestFleetReport::firmwareOrder()
{
    QVERIFY(VersionOrder::compareFirmware(QStringLiteral("1.10"), QStringLiteral("1.9")) > 0);
    QVERIFY(VersionOrder::compareFirmware(QStringLiteral("2.0"), QStringLiteral("1.99.99")) > 0);
    QVERIFY(VersionOrder::compareFirmware(QStringLiteral("3.0.1 build 7"), QStringLiteral("V3.0")) > 0);
    QVERIFY(VersionOrder::compareFirmware(QStringLiteral("beta"), QStringLiteral("0.0.1")) < 0);
    QVector<quint32> a;
    QVector<quint32> b;
    QVERIFY(VersionOrder::firmwareNumbers(QStringLiteral("V2.1.0"), &a));
    QVERIFY(VersionOrder::firmwareNumbers(QStringLiteral("2.1"), &b));
    QCOMPARE(VersionOrder::compare(a, b), 0);
    // A run of ten digits or nine runs have no place in the order.
    QVERIFY(!VersionOrder::firmwareNumbers(QStringLiteral("1.1234567890"), &a));
    QVERIFY(!VersionOrder::firmwareNumbers(QStringLiteral("1.2.3.4.5.6.7.8.9"), &a));
    QVERIFY(!VersionOrder::firmwareNumbers(QString(), &a));
}

void TestFleetReport::figuresOf200Cameras()
{
    QCOMPARE(report.duplicatesDropped, 0);
    QCOMPARE(report.models.size(), 3);
    const FleetReport::Model &m100 = report.models.at(0);
    const FleetReport::Model &m200 = report.models.at(1);
    const FleetReport::Model &dome = report.models.at(2);
    QCOMPARE(m100.model, QStringLiteral("SIM-CAM 100"));
    QCOMPARE(m100.cameras, 120);
    QCOMPARE(m200.cameras, 60);
    QCOMPARE(dome.cameras, 20);
    QCOMPARE(dome.model, HostileModel);

    // Number by number: 1.10.2 is newer than 1.9.8.
    QCOMPARE(m100.newest, QStringLiteral("2.1.0"));
    QCOMPARE(m100.oldest, QStringLiteral("1.9.8"));
    QStringList versions;
    QList<int> counts;
    for (const FleetReport::Firmware &f : m100.firmware) {
        versions.append(f.version);
        counts.append(f.cameras);
    }
    QCOMPARE(versions, QStringList({"2.1.0", "2.0.9", "1.10.2", "1.9.8"}));
    QCOMPARE(counts, QList<int>({70, 30, 15, 5}));
    QVERIFY(m100.firmware.at(0).newest && !m100.firmware.at(0).oldest);
    QVERIFY(m100.firmware.at(3).oldest);
    QCOMPARE(m100.behind.size(), 50);

    QCOMPARE(m200.newest, QStringLiteral("3.0.1 build 7"));
    QCOMPARE(m200.oldest, QStringLiteral("V3.0"));
    QCOMPARE(m200.behind.size(), 40);

    // Texts without numbers are listed, last, and judged neither way.
    QCOMPARE(dome.newest, QStringLiteral("1.0"));
    QCOMPARE(dome.oldest, QStringLiteral("1.0"));
    QCOMPARE(dome.behind.size(), 0);
    QCOMPARE(dome.firmware.size(), 3);
    QVERIFY(!dome.firmware.at(1).comparable && !dome.firmware.at(2).comparable);

    QCOMPARE(report.dhcp, 50);
    QCOMPARE(report.fixed, 150);
    QCOMPARE(report.modeUnknown, 0);

    QCOMPARE(report.conflicts.size(), 2);
    QCOMPARE(report.conflicts.at(0).ip, QStringLiteral("192.0.2.6"));
    QCOMPARE(report.conflicts.at(0).devices.size(), 2);
    QCOMPARE(report.conflicts.at(1).ip, QStringLiteral("192.0.2.101"));

    QVERIFY(report.subnetsKnown);
    QCOMPARE(report.subnets, QStringList({"192.0.2.0/24"}));
    QCOMPARE(report.outsideSubnets.size(), 10);
    QCOMPARE(report.outsideSubnets.first().ip, QStringLiteral("198.51.100.1"));

    int behind = 0;
    int conflicted = 0;
    int outside = 0;
    for (const FleetReport::Camera &camera : report.devices) {
        behind += camera.behind;
        conflicted += camera.conflict;
        outside += camera.outside;
    }
    QCOMPARE(report.devices.size(), 200);
    QCOMPARE(behind, 90);
    QCOMPARE(conflicted, 4);
    QCOMPARE(outside, 10);
    // The hostile name came back from the saved list unchanged.
    QCOMPARE(report.devices.at(3).device.name, HostileName);
}

void TestFleetReport::withoutAdapters()
{
    QList<DeviceRecord> list = siteOf200();
    list.append(list.first());   // listed twice
    DeviceRecord ssdp = list.at(1);
    ssdp.mac = QStringLiteral("00:1a:2b:3c:ff:01");
    ssdp.searchType = DeviceRecord::DocumentCamera;
    list.append(ssdp);
    const FleetReport plain = FleetReport::make(list, {});
    QCOMPARE(plain.cameras, 201);
    QCOMPARE(plain.duplicatesDropped, 1);
    QCOMPARE(plain.modeUnknown, 1);
    QVERIFY(!plain.subnetsKnown);
    QVERIFY(plain.outsideSubnets.isEmpty());
    QVERIFY(QString::fromUtf8(FleetReportWriter::html(plain, QStringLiteral("x"), QDateTime::currentDateTimeUtc()))
                .contains(QStringLiteral("Not checked: no adapter was given.")));
}

void TestFleetReport::jsonOutput()
{
    const QDateTime made(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    const QJsonObject o = QJsonDocument::fromJson(FleetReportWriter::json(report, QStringLiteral("site.csv"), made)).object();
    QCOMPARE(o.value("cameras").toInt(), 200);
    QCOMPARE(o.value("made").toString(), QStringLiteral("2024-05-06T07:08:09Z"));
    QCOMPARE(o.value("dhcp").toInt(), 50);
    QCOMPARE(o.value("static").toInt(), 150);
    const QJsonArray models = o.value("models").toArray();
    QCOMPARE(models.size(), 3);
    QCOMPARE(models.at(0).toObject().value("newest").toString(), QStringLiteral("2.1.0"));
    QCOMPARE(models.at(0).toObject().value("behindNewest").toArray().size(), 50);
    QCOMPARE(models.at(0).toObject().value("firmware").toArray().at(2).toObject().value("cameras").toInt(), 15);
    QCOMPARE(o.value("conflicts").toArray().size(), 2);
    QCOMPARE(o.value("outsideSubnets").toArray().size(), 10);
    QCOMPARE(o.value("subnets").toArray().first().toString(), QStringLiteral("192.0.2.0/24"));
}

void TestFleetReport::csvOutput()
{
    const QByteArray csv = FleetReportWriter::csv(report);
    // Read back with the device list's reader: it is that CSV's dialect.
    const DeviceListReader::Outcome outcome = DeviceListReader::read(csv);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(outcome.devices.size(), 200);
    const QList<QByteArray> lines = csv.split('\n');
    QCOMPARE(lines.first(), QByteArray("model,name,ip,mac,fwVersion,newestFwVersion,behindNewest,mode,conflict,outsideSubnets\r"));
    QCOMPARE(csv.count(",true,static,") + csv.count(",true,DHCP,"), 90);
    // Neutralized: the formula is text.
    QVERIFY(csv.contains(",\"'=HYPERLINK(\"\"http://example.com\"\")\","));
    QVERIFY(!csv.contains(",=HYPERLINK"));
}

void TestFleetReport::htmlIsSelfContainedAndEscaped()
{
    const QString html = QString::fromUtf8(FleetReportWriter::html(report, QStringLiteral("saved list <site.csv>"),
                                                                   QDateTime::currentDateTimeUtc()));
    QVERIFY(html.startsWith(QStringLiteral("<!DOCTYPE html>")));
    QVERIFY(html.contains(QStringLiteral("default-src 'none'")));
    // Nothing that loads anything.
    for (const char *loader : {"<script", "<link", "<img", "<iframe", "src=", "href=", "url(", "@import"})
        QVERIFY2(!html.contains(QLatin1String(loader), Qt::CaseInsensitive), loader);
    // Every camera text escaped, and taken literally (no "%1" filled in).
    QVERIFY(html.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;%1%2&amp;amp;")));
    QVERIFY(html.contains(QStringLiteral("saved list &lt;site.csv&gt;")));
    QVERIFY(!html.contains(QStringLiteral("<b>")));
    // In the chart, the model table, the model's 20 camera rows and the 10
    // of them outside the adapters' subnets.
    QCOMPARE(html.count(QStringLiteral("SIM-DOME &lt;b&gt;%1&lt;/b&gt;")), 1 + 1 + 20 + 10);
    QVERIFY(html.contains(QStringLiteral("<svg")));
    QCOMPARE(html.count(QStringLiteral("<rect")), 4 + 2 + 3);
    // The 90 cameras behind marked, and the legend that explains the mark.
    QCOMPARE(html.count(QStringLiteral("&#9650; behind</span>")), 90 + 1);
}

void TestFleetReport::htmlInChromium()
{
    QVERIFY2(HeadlessBrowser::isInstalled(), "chromium is not installed (scripts/packages.txt lists it)");
    const QString page = dir.filePath(QStringLiteral("report.html"));
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(FleetReportWriter::html(report, QStringLiteral("saved list site.csv"), QDateTime::currentDateTimeUtc()));
    file.close();
    const QString png = dir.filePath(QStringLiteral("report.png"));
    const QSize size(1000, 1400);
    QString error;
    QVERIFY2(HeadlessBrowser::screenshot(page, png, size, &error), qPrintable(error));
    const QImage shot = QImage(png).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), size);
    // Not blank: the page's white and text, and the chart's bars in their
    // colours, large enough to be bars rather than the legend's squares.
    QVERIFY(pixelsOf(shot, 0xFFFFFF) < size.width() * size.height());
    const int newestBars = pixelsOf(shot, 0x2F855A);
    const int olderBars = pixelsOf(shot, 0x2B6CB0);
    QVERIFY2(newestBars > 3000 && olderBars > 3000,
             qPrintable(QStringLiteral("bar pixels: newest %1, older %2").arg(newestBars).arg(olderBars)));
}

QTEST_GUILESS_MAIN(TestFleetReport)
#include "tst_fleetreport.moc"
