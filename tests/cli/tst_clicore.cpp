// The pure parts of pathmere-cli: argument checks, output formats, the
// settings merge, the assignment plan, the port table and the ARP probe's
// packets. No socket is opened here.
#include "arpprobe.h"
#include "assignplanner.h"
#include "cliinput.h"
#include "devicelistcsv.h"
#include "devicelistformat.h"
#include "devicemarks.h"
#include "portusage.h"
#include "samplecamera.h"
#include "camerasettings.h"
#include "discoveryservice.h"
#include "searchmanager.h"
#include "settingsrequest.h"
#include "utilitysearch.h"
#include "utilityprotocol.h"
#include "sweepplan.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtTest>

namespace {

quint32 ip(const char *text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

DeviceRecord cam(const char *mac, const char *address, bool dhcp = false)
{
    DeviceRecord r = sampleCamera(QString::fromLatin1(mac), QStringLiteral("SIM-CAM100"), QString::fromLatin1(address),
                                  QStringLiteral("CAM"));
    r.fwVersion.clear();
    r.dns1 = QStringLiteral("192.0.2.1");
    r.dns2 = QStringLiteral("0.0.0.0");
    r.dhcp = dhcp;
    r.ipv6.clear();
    return r;
}

} // namespace

class TestCliCore : public QObject
{
    Q_OBJECT

private slots:
    void inputRefusesWhatItCannotUse()
    {
        QHostAddress a;
        QString error;
        QVERIFY(CliInput::ipv4(QStringLiteral("192.0.2.7"), QStringLiteral("--ip"), &a, &error));
        QCOMPARE(a.toString(), QStringLiteral("192.0.2.7"));
        for (const char *bad : {"192.0.2.256", "192.0.2", "1", "::1", "192.0.2.1 ", "0x1.2.3.4", "", "192.0.2.1/24"}) {
            error.clear();
            QVERIFY2(!CliInput::ipv4(QString::fromLatin1(bad), QStringLiteral("--ip"), &a, &error), bad);
            QVERIFY(error.startsWith(QLatin1String("--ip")));
        }
        // A huge argument is refused and not echoed in full.
        QVERIFY(!CliInput::ipv4(QString(5000, QLatin1Char('9')), QStringLiteral("--ip"), &a, &error));
        QVERIFY(error.size() < 200);

        QString mac;
        QVERIFY(CliInput::mac(QStringLiteral("02:50:4D:0a:0B:ff"), &mac, &error));
        QCOMPARE(mac, QStringLiteral("02:50:4d:0a:0b:ff"));
        QVERIFY(!CliInput::mac(QStringLiteral("02:50:4d:0a:0b"), &mac, &error));
        QVERIFY(!CliInput::mac(QStringLiteral("02:50:4d:0a:0b:fg"), &mac, &error));
        // The common spellings all name the same camera.
        for (const char *form : {"02-50-4D-0a-0b-ff", "02504D0A0BFF", "0250.4d0a.0bff"}) {
            mac.clear();
            QVERIFY2(CliInput::mac(QString::fromLatin1(form), &mac, &error), form);
            QCOMPARE(mac, QStringLiteral("02:50:4d:0a:0b:ff"));
        }
        for (const char *bad : {"02:50-4d:0a:0b:ff", "02504d0a0bf", "02504d0a0bff0", "0250.4d0a:0bff", "02 50 4d 0a 0b ff",
                                "02-50-4d-0a-0b-fg", "2:50:4d:0a:0b:ff"})
            QVERIFY2(!CliInput::mac(QString::fromLatin1(bad), &mac, &error), bad);

        QStringList macs;
        QVERIFY(CliInput::macList(QStringLiteral("02:50:4d:00:00:01,02:50:4D:00:00:01,02:50:4d:00:00:02"), &macs, &error));
        QCOMPARE(macs.size(), 2);
        QStringList many;
        for (int i = 0; i <= CliInput::MaxMacs; ++i)
            many.append(QStringLiteral("02:50:4d:00:%1:%2").arg(i / 256, 2, 16, QLatin1Char('0')).arg(i % 256, 2, 16, QLatin1Char('0')));
        QVERIFY(!CliInput::macList(many.join(QLatin1Char(',')), &macs, &error));

        int n = 0;
        QVERIFY(CliInput::number(QStringLiteral("60"), QStringLiteral("--seconds"), 1, 60, &n, &error));
        QVERIFY(!CliInput::number(QStringLiteral("0"), QStringLiteral("--seconds"), 1, 60, &n, &error));
        QVERIFY(!CliInput::number(QStringLiteral("61"), QStringLiteral("--seconds"), 1, 60, &n, &error));
        QVERIFY(!CliInput::number(QStringLiteral("99999999999999"), QStringLiteral("--seconds"), 1, 60, &n, &error));
        QVERIFY(!CliInput::number(QStringLiteral("5s"), QStringLiteral("--seconds"), 1, 60, &n, &error));

        quint32 first = 0;
        quint32 last = 0;
        QVERIFY(CliInput::range(QStringLiteral("192.0.2.10-192.0.2.10"), &first, &last, &error));
        QCOMPARE(last - first, 0u);
        QVERIFY(CliInput::range(QStringLiteral("198.51.100.0-198.51.103.255"), &first, &last, &error));   // 1024
        QVERIFY(!CliInput::range(QStringLiteral("198.51.100.0-198.51.104.0"), &first, &last, &error));    // 1025
        QVERIFY(!CliInput::range(QStringLiteral("192.0.2.20-192.0.2.10"), &first, &last, &error));
        QVERIFY(!CliInput::range(QStringLiteral("192.0.2.20"), &first, &last, &error));
        QVERIFY(!CliInput::range(QStringLiteral("0.0.0.0-255.255.255.255"), &first, &last, &error));

        int mask = 0;
        QVERIFY(CliInput::sources(QStringLiteral("box,utility"), &mask, &error));
        QCOMPARE(mask, 5);
        QVERIFY(CliInput::sources(QStringLiteral("doccam"), &mask, &error));
        QCOMPARE(mask, 2);
        QVERIFY(!CliInput::sources(QStringLiteral("utility,"), &mask, &error));
        QVERIFY(!CliInput::sources(QStringLiteral("ssdp"), &mask, &error));
        QVERIFY(CliInput::sources(QStringLiteral("onvif,utility"), &mask, &error));
        QCOMPARE(mask, CliInput::UtilityBit | CliInput::OnvifBit);
        QCOMPARE(CliInput::OnvifBit, 1 << DeviceRecord::Onvif);
        QVERIFY(CliInput::sources(QStringLiteral("all"), &mask, &error));
        QCOMPARE(mask, 15);
        QVERIFY(!CliInput::sources(QStringLiteral("all,"), &mask, &error));
        QVERIFY(!CliInput::sources(QStringLiteral("ONVIF"), &mask, &error));

        QVERIFY(CliInput::credential(QStringLiteral("admin"), QStringLiteral("user ID"), &error));
        QVERIFY(!CliInput::credential(QString(), QStringLiteral("user ID"), &error));
        QVERIFY(!CliInput::credential(QString(33, QLatin1Char('a')), QStringLiteral("user ID"), &error));
        QVERIFY(!CliInput::credential(QStringLiteral("adm\u4e00"), QStringLiteral("user ID"), &error));
        QVERIFY(!CliInput::credential(QStringLiteral("a\nb"), QStringLiteral("user ID"), &error));
    }

    void formatsKeepEveryField()
    {
        DeviceRecord r = cam("02:50:4d:00:00:01", "192.0.2.10", true);
        r.name = QStringLiteral("Hall \"B\", left\r\nrow \u00e9");
        r.searchType = DeviceRecord::ControlBox;
        r.ipv6 = QStringLiteral("2001:db8::1");
        const QByteArray csv = DeviceListCsv::write({r});
        QVERIFY(csv.startsWith("searchType,name,model,serialNo,ip,mac,fwVersion,dhcp,mask,gateway,dns1,dns2,ipv6\r\n"));
        QVERIFY(csv.contains("2,\"Hall \"\"B\"\", left\r\nrow \xc3\xa9\",SIM-CAM100,,192.0.2.10,02:50:4d:00:00:01,,true,"));
        QVERIFY(csv.endsWith(",2001:db8::1\r\n"));
        QCOMPARE(DeviceListCsv::write({}).count("\r\n"), 1);

        const QJsonArray array = QJsonDocument::fromJson(DeviceListFormat::json({r})).array();
        QCOMPARE(array.size(), 1);
        const QJsonObject o = array.first().toObject();
        QCOMPARE(o.keys().size(), 13);
        QCOMPARE(o.value(QStringLiteral("searchType")).toInt(-1), 2);
        QVERIFY(o.value(QStringLiteral("dhcp")).isBool());
        QCOMPARE(o.value(QStringLiteral("name")).toString(), r.name);
        QCOMPARE(DeviceListFormat::json({}).trimmed(), QByteArray("[\n]"));

        // A camera's escape sequence never reaches the terminal.
        r.name = QStringLiteral("cam\x1b]0;owned\x07");
        const QByteArray table = DeviceListFormat::table({r, cam("02:50:4d:00:00:02", "192.0.2.11")});
        QVERIFY(!table.contains('\x1b'));
        QVERIFY(!table.contains('\x07'));
        const QList<QByteArray> lines = table.split('\n');
        QCOMPARE(lines.size(), 5);   // header, two rows, the count, the final newline
        QCOMPARE(lines.at(1).indexOf("02:50:4d"), lines.at(0).indexOf("mac"));
        QCOMPARE(lines.at(2).indexOf("02:50:4d"), lines.at(0).indexOf("mac"));
        QCOMPARE(lines.at(3), QByteArray("2 cameras found"));
        QVERIFY(DeviceListFormat::table({}).endsWith("\n0 cameras found\n"));
        QVERIFY(DeviceListFormat::table({r}).endsWith("\n1 camera found\n"));

        // The longest texts a camera can send still fit 100 columns.
        DeviceRecord wide = cam("02:50:4d:00:00:03", "203.0.113.255");
        wide.model = QString(40, QLatin1Char('M'));
        wide.name = QString(32, QChar(0x00e9));
        wide.fwVersion = QString(40, QLatin1Char('9'));
        const QStringList wideLines = QString::fromUtf8(DeviceListFormat::table({wide})).split(QLatin1Char('\n'));
        for (const QString &line : wideLines)
            QVERIFY2(line.size() <= DeviceListFormat::MaxTableWidth, qPrintable(line));
        QVERIFY(wideLines.at(1).contains(QStringLiteral("203.0.113.255")));
        QVERIFY(wideLines.at(1).contains(QStringLiteral("02:50:4d:00:00:03")));
        QVERIFY(wideLines.at(1).contains(QString(19, QChar(0x00e9)) + QChar(0x2026)));

        DeviceListFormat::Kind kind;
        QVERIFY(DeviceListFormat::kindFromText(QStringLiteral("csv"), &kind));
        QVERIFY(kind == DeviceListFormat::Kind::Csv);
        QVERIFY(!DeviceListFormat::kindFromText(QStringLiteral("CSV"), &kind));
    }

    // A name from the LAN that a spreadsheet would run as a formula gets a
    // ' in front in the CSV; csv-raw keeps every text as it came.
    void csvNeutralizesFormulas()
    {
        struct Case {
            QString given;
            QByteArray written;
        };
        const Case cases[] = {
            {QStringLiteral("=HYPERLINK(\"http://x.example\",\"Hall\")"),
             "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"Hall\"\")\""},
            {QStringLiteral("@SUM(A1:A9)"), "'@SUM(A1:A9)"},
            {QStringLiteral("+1+1"), "'+1+1"},
            {QStringLiteral("-2+3"), "'-2+3"},
            {QStringLiteral("\t=1"), "'\t=1"},
            {QStringLiteral("\r=1"), "\"'\r=1\""},
            // Only the first character counts; ordinary names stay as they are.
            {QStringLiteral("Hall =1"), "Hall =1"},
            {QStringLiteral("Cam-2"), "Cam-2"},
            {QString(), ""},
        };
        for (const Case &c : cases) {
            DeviceRecord r = cam("02:50:4d:00:00:01", "192.0.2.10", true);
            r.name = c.given;
            r.fwVersion = c.given;
            const QByteArray row = DeviceListCsv::write({r}).split('\n').value(1);
            QVERIFY2(row.startsWith("0," + c.written + ",SIM-CAM100,"), row.constData());
            QVERIFY2(row.contains(",02:50:4d:00:00:01," + c.written + ",true,"), row.constData());
            QCOMPARE(DeviceListFormat::format({r}, DeviceListFormat::Kind::Csv), DeviceListCsv::write({r}));
        }
        DeviceRecord r = cam("02:50:4d:00:00:01", "192.0.2.10", true);
        r.name = QStringLiteral("=1+2");
        DeviceListFormat::Kind kind = DeviceListFormat::Kind::Table;
        QVERIFY(DeviceListFormat::kindFromText(QStringLiteral("csv-raw"), &kind));
        QCOMPARE(kind, DeviceListFormat::Kind::CsvRaw);
        QVERIFY(DeviceListFormat::format({r}, kind).contains("\r\n0,=1+2,SIM-CAM100,"));
        QVERIFY(!DeviceListFormat::kindFromText(QStringLiteral("CSV-raw"), &kind));
    }

    void settingsMergeAsTheFormDoes()
    {
        const DeviceRecord current = cam("02:50:4d:00:00:01", "192.0.2.10");
        SettingsRequest change;
        change.dhcpGiven = true;
        change.ip = QStringLiteral("192.0.2.20");
        change.gateway = QStringLiteral("192.0.2.254");
        const DeviceRecord desired = change.desired(current);
        QCOMPARE(desired.ip, QStringLiteral("192.0.2.20"));
        QCOMPARE(desired.gateway, QStringLiteral("192.0.2.254"));
        QCOMPARE(desired.mask, current.mask);
        QCOMPARE(desired.name, current.name);
        QVERIFY(!desired.dhcp);

        UtilityProtocol::Settings parsed;
        QByteArray record = SearchManager::settingsRecord(current, CameraSettings::fromRecord(desired),
                                                         {QStringLiteral("admin"), QStringLiteral("pw")});
        QVERIFY(UtilityProtocol::parseSettingsRecord(record, &parsed));
        QCOMPARE(UtilityProtocol::ipv4ToText(parsed.ip), desired.ip);
        QCOMPARE(UtilityProtocol::ipv4ToText(parsed.gateway), desired.gateway);
        QCOMPARE(UtilityProtocol::ipv4ToText(parsed.mask), desired.mask);
        QCOMPARE(UtilityProtocol::macToText(parsed.mac), desired.mac);
        QCOMPARE(parsed.name, desired.name);
        QCOMPARE(parsed.userId, QStringLiteral("admin"));
        QCOMPARE(parsed.password, QStringLiteral("pw"));
        QVERIFY(!parsed.dhcp);

        QVERIFY(CameraSettings::fromRecord(desired).shownBy(desired));
        QVERIFY(!CameraSettings::fromRecord(desired).shownBy(current));
        DeviceRecord otherDns = desired;
        otherDns.dns2 = QStringLiteral("192.0.2.53");
        QVERIFY(!CameraSettings::fromRecord(desired).shownBy(otherDns));

        SettingsRequest toDhcp;
        toDhcp.dhcpGiven = true;
        toDhcp.dhcp = true;
        const DeviceRecord wantsDhcp = toDhcp.desired(current);
        QVERIFY(wantsDhcp.dhcp);
        QCOMPARE(wantsDhcp.ip, current.ip);   // the record still carries the form's address
        DeviceRecord leased = cam("02:50:4d:00:00:01", "192.0.2.99", true);
        QVERIFY(CameraSettings::fromRecord(wantsDhcp).shownBy(leased));
        QVERIFY(!CameraSettings::fromRecord(wantsDhcp).shownBy(current));
        record = SearchManager::settingsRecord(current, CameraSettings::fromRecord(wantsDhcp),
                                              {QStringLiteral("admin"), QStringLiteral("pw")});
        QVERIFY(UtilityProtocol::parseSettingsRecord(record, &parsed));
        QVERIFY(parsed.dhcp);
    }

    void assignPlanKeepsSkipsAndRepeats()
    {
        const QList<DeviceRecord> cameras{cam("02:50:4d:00:00:03", "192.0.2.71"),
                                          cam("02:50:4d:00:00:01", "192.0.2.70"),
                                          cam("02:50:4d:00:00:02", "192.0.2.90"),
                                          cam("02:50:4d:00:00:04", "192.0.2.85", true)};
        QList<DeviceRecord> all = cameras;
        all.append(cam("02:50:4d:00:00:30", "192.0.2.80"));
        QList<QList<quint32>> probed;
        const auto probe = [&](const QList<quint32> &candidates) {
            probed.append(candidates);
            return QSet<quint32>{ip("192.0.2.81")};
        };
        const AssignPlanner::Plan plan = AssignPlanner::plan(cameras, all, ip("192.0.2.80"), ip("192.0.2.90"),
                                                             SettingsRequest(), probe);
        QVERIFY(plan.complete());
        QCOMPARE(plan.entries.size(), 4);
        // MAC order; :02 keeps 90 unchanged; :04 keeps 85 but leaves DHCP.
        QCOMPARE(plan.entries.at(0).current.mac, QStringLiteral("02:50:4d:00:00:01"));
        QCOMPARE(plan.entries.at(0).desired.ip, QStringLiteral("192.0.2.82"));
        QVERIFY(!plan.entries.at(0).keepsAddress);
        QCOMPARE(plan.entries.at(1).desired.ip, QStringLiteral("192.0.2.90"));
        QVERIFY(plan.entries.at(1).unchanged);
        QCOMPARE(plan.entries.at(2).desired.ip, QStringLiteral("192.0.2.83"));
        QCOMPARE(plan.entries.at(3).desired.ip, QStringLiteral("192.0.2.85"));
        QVERIFY(plan.entries.at(3).keepsAddress);
        QVERIFY(!plan.entries.at(3).unchanged);
        QVERIFY(!plan.entries.at(3).desired.dhcp);
        QCOMPARE(plan.skippedHeld, QList<quint32>{ip("192.0.2.80")});
        QCOMPARE(plan.skippedProbe, QList<quint32>{ip("192.0.2.81")});
        // Only as many addresses probed as still needed, then one more.
        QCOMPARE(probed.size(), 2);
        QCOMPARE(probed.at(0), (QList<quint32>{ip("192.0.2.81"), ip("192.0.2.82")}));
        QCOMPARE(probed.at(1), QList<quint32>{ip("192.0.2.83")});

        // Applied, the plan asks for nothing more.
        QList<DeviceRecord> after;
        for (const AssignPlanner::Entry &e : plan.entries)
            after.append(e.desired);
        const AssignPlanner::Plan second = AssignPlanner::plan(after, after, ip("192.0.2.80"), ip("192.0.2.90"),
                                                               SettingsRequest(), probe);
        QVERIFY(second.complete());
        for (const AssignPlanner::Entry &e : second.entries)
            QVERIFY2(e.unchanged, qPrintable(e.current.mac));

        // Given mask/gateway change a keeper too.
        SettingsRequest gateway;
        gateway.gateway = QStringLiteral("192.0.2.254");
        const AssignPlanner::Plan third = AssignPlanner::plan(after, after, ip("192.0.2.80"), ip("192.0.2.90"),
                                                              gateway, {});
        for (const AssignPlanner::Entry &e : third.entries) {
            QVERIFY(e.keepsAddress && !e.unchanged);
            QCOMPARE(e.desired.gateway, QStringLiteral("192.0.2.254"));
        }

        // Two cameras on the same address: the first in MAC order keeps it.
        const AssignPlanner::Plan clash = AssignPlanner::plan(
            {cam("02:50:4d:00:00:09", "192.0.2.80"), cam("02:50:4d:00:00:08", "192.0.2.80")}, {},
            ip("192.0.2.80"), ip("192.0.2.81"), SettingsRequest(), {});
        QCOMPARE(clash.entries.at(0).desired.ip, QStringLiteral("192.0.2.80"));
        QCOMPARE(clash.entries.at(1).desired.ip, QStringLiteral("192.0.2.81"));

        // With the mask known, the subnet's network and broadcast addresses
        // are neither handed out nor kept.
        const AssignPlanner::Plan ends = AssignPlanner::plan(
            {cam("02:50:4d:00:00:31", "192.0.2.255"), cam("02:50:4d:00:00:32", "192.0.2.5")}, {},
            ip("192.0.2.254"), ip("192.0.2.255"), SettingsRequest(), {}, ip("255.255.255.0"));
        QCOMPARE(ends.entries.at(0).desired.ip, QStringLiteral("192.0.2.254"));
        QVERIFY(!ends.entries.at(0).keepsAddress);
        QVERIFY(ends.entries.at(1).desired.ip.isEmpty());
        QCOMPARE(ends.shortBy, 1);
        QCOMPARE(ends.skippedReserved, QList<quint32>{ip("192.0.2.255")});
        const AssignPlanner::Plan start = AssignPlanner::plan({cam("02:50:4d:00:00:33", "198.51.100.9")}, {},
                                                              ip("198.51.100.0"), ip("198.51.100.3"), SettingsRequest(),
                                                              {}, ip("255.255.255.0"));
        QCOMPARE(start.entries.at(0).desired.ip, QStringLiteral("198.51.100.1"));
        QCOMPARE(start.skippedReserved, QList<quint32>{ip("198.51.100.0")});

        // Too small: counted, nobody left half-planned unnoticed.
        const AssignPlanner::Plan small = AssignPlanner::plan(cameras, all, ip("192.0.2.80"), ip("192.0.2.82"),
                                                              SettingsRequest(), probe);
        QVERIFY(!small.complete());
        QCOMPARE(small.shortBy, 3);
    }

    void portTableAndProbePackets()
    {
        const QByteArray table =
            "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
            "  12: 00000000:1F40 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 1 2 0 0\n"
            "  13: 0100007F:0035 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 1 2 0 0\n";
        QVERIFY(PortUsage::tableHasPort(table, 8000));
        QVERIFY(PortUsage::tableHasPort(table, 53));
        QVERIFY(!PortUsage::tableHasPort(table, 52381));
        // The header's "local_address" is no port.
        QVERIFY(!PortUsage::tableHasPort(table.left(table.indexOf('\n') + 1), 0));

        const quint8 own[6] = {0x02, 0x50, 0x4d, 0, 0, 1};
        const quint8 other[6] = {0x02, 0x50, 0x4d, 0, 0, 2};
        const QSet<quint32> candidates{ip("192.0.2.81"), ip("192.0.2.82")};
        const QByteArray probe = ArpProbe::buildProbe(own, ip("192.0.2.81"));
        QCOMPARE(probe.size(), 28);
        QCOMPARE(probe.left(8), QByteArray::fromHex("0001080006040001"));
        QCOMPARE(probe.mid(14, 4), QByteArray(4, '\0'));   // sender address 0.0.0.0
        QCOMPARE(probe.mid(24, 4), QByteArray::fromHex("c0000251"));
        // Our own probe coming back is no conflict; another host's is.
        QCOMPARE(ArpProbe::conflictIn(probe, own, candidates), 0u);
        QCOMPARE(ArpProbe::conflictIn(ArpProbe::buildProbe(other, ip("192.0.2.82")), own, candidates), ip("192.0.2.82"));
        QCOMPARE(ArpProbe::conflictIn(ArpProbe::buildProbe(other, ip("192.0.2.99")), own, candidates), 0u);
        // A reply from the address's holder.
        QByteArray reply = ArpProbe::buildProbe(other, 0);
        reply[7] = 2;
        reply.replace(14, 4, QByteArray::fromHex("c0000251"));
        QCOMPARE(ArpProbe::conflictIn(reply, own, candidates), ip("192.0.2.81"));
        QCOMPARE(ArpProbe::conflictIn(reply.left(27), own, candidates), 0u);
        reply[2] = 0x86;   // not IPv4
        QCOMPARE(ArpProbe::conflictIn(reply, own, candidates), 0u);
    }

    // The search's list of unicast targets: bounded, IPv4 only, and a refused
    // list leaves the previous one in place. Nothing is sent here.
    void unicastTargetsAreBounded()
    {
        DiscoveryService discovery;
        UtilitySearch *search = UtilitySearch::getInstance();
        QList<QHostAddress> targets;
        for (int i = 1; i <= UtilitySearch::MaxUnicastTargets; ++i)
            targets.append(QHostAddress(QStringLiteral("203.0.113.%1").arg(i)));
        QVERIFY(search->setUnicastTargets(targets));
        QCOMPARE(search->unicastTargets(), targets);
        QList<QHostAddress> tooMany = targets;
        tooMany.append(QHostAddress(QStringLiteral("203.0.113.99")));
        QVERIFY(!search->setUnicastTargets(tooMany));
        QVERIFY(!search->setUnicastTargets({QHostAddress(QStringLiteral("2001:db8::1"))}));
        QCOMPARE(search->unicastTargets(), targets);
        QVERIFY(search->setUnicastTargets({}));
        QVERIFY(search->unicastTargets().isEmpty());
    }

    void manPageRenders()
    {
        const QString man = QStandardPaths::findExecutable(QStringLiteral("man"));
        if (man.isEmpty())
            QSKIP("man is not installed");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MANPAGER"), QStringLiteral("cat"));
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        process.setProcessEnvironment(env);
        process.start(man, {QStringLiteral("-l"), QStringLiteral(PATHMERE_CLI_MAN_PAGE)});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray text = process.readAllStandardOutput();
        for (const char *part : {"SYNOPSIS", "PASSWORDS", "EXIT STATUS", "--password-stdin", "PATHMERE_PASSWORD"})
            QVERIFY2(text.contains(part), part);
        QVERIFY(!process.readAllStandardError().contains("warning"));
        const QByteArray seeAlso = text.mid(text.indexOf("SEE ALSO"));
        QVERIFY2(seeAlso.contains("pathmere(1)"), seeAlso.constData());
    }

    // Each command's --help ends with an example of the command, and the
    // man page's synopsis names every option its --help lists.
    void helpHasExamplesAndManSynopsisEveryOption()
    {
        QFile page(QStringLiteral(PATHMERE_CLI_MAN_PAGE));
        QVERIFY(page.open(QIODevice::ReadOnly));
        QString roff = QString::fromUtf8(page.readAll());
        roff.replace(QLatin1String("\\-"), QLatin1String("-"));
        const int from = roff.indexOf(QLatin1String(".SH SYNOPSIS"));
        const QStringList synopses = roff.mid(from, roff.indexOf(QLatin1String(".SH DESCRIPTION")) - from)
                                         .split(QLatin1String(".br"));
        const QString cli = qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli");
        const auto help = [&](const QStringList &arguments) {
            QProcess process;
            process.start(cli, arguments);
            if (!process.waitForFinished(30000) || process.exitCode() != 0)
                return QString();
            return QString::fromUtf8(process.readAllStandardOutput());
        };
        QVERIFY(help({QStringLiteral("--help")}).contains(QLatin1String("Example:\n  pathmere-cli ")));
        static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
        for (const QString &command : {QStringLiteral("adapters"), QStringLiteral("search"), QStringLiteral("set"),
                                       QStringLiteral("assign"), QStringLiteral("power"), QStringLiteral("doctor"),
                                       QStringLiteral("report"), QStringLiteral("info"), QStringLiteral("watch"),
                                       QStringLiteral("forget"), QStringLiteral("fix-subnet")}) {
            const QString text = help({command, QStringLiteral("--help")});
            QVERIFY2(text.contains(QStringLiteral("Example:\n  pathmere-cli %1").arg(command)), qPrintable(text));
            QString synopsis;
            for (const QString &block : synopses) {
                if (block.contains(QStringLiteral("pathmere-cli %1").arg(command)))
                    synopsis = block;
            }
            QVERIFY2(!synopsis.isEmpty(), qPrintable(command));
            const QString options = text.left(text.indexOf(QLatin1String("Example:")));
            for (auto it = option.globalMatch(options); it.hasNext();) {
                const QString name = it.next().captured();
                if (name != QLatin1String("--help"))
                    QVERIFY2(synopsis.contains(name), qPrintable(command + QLatin1Char(' ') + name));
            }
        }
    }

    // forget takes exactly one of its three forms, and a malformed one is
    // refused before the keyring is asked (no session bus is needed here).
    void forgetRefusesWhatItCannotUse()
    {
        const QString cli = qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli");
        const auto code = [&](const QStringList &arguments) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
            process.setProcessEnvironment(env);
            process.start(cli, QStringList{QStringLiteral("forget")} + arguments);
            return process.waitForFinished(30000) ? process.exitCode() : -1;
        };
        for (const QStringList &arguments : {QStringList{}, QStringList{QStringLiteral("--all"), QStringLiteral("02:50:4d:00:00:01")},
                                             QStringList{QStringLiteral("--site"), QStringLiteral("192.0.2.0/24"), QStringLiteral("--all")},
                                             QStringList{QStringLiteral("02:50:4d:00:00:01"), QStringLiteral("02:50:4d:00:00:02")},
                                             QStringList{QStringLiteral("02:50:4d:00:00")},
                                             QStringList{QStringLiteral("--site"), QStringLiteral("192.0.2.0/33")},
                                             QStringList{QStringLiteral("--site"), QStringLiteral("camera")}})
            QVERIFY2(code(arguments) == 2, qPrintable(arguments.join(QLatin1Char(' '))));
        // A well-formed request gets as far as the keyring, which is not there.
        QCOMPARE(code({QStringLiteral("--all")}), 1);
    }

    // --target's forms: plain addresses stay the search's own targets (each
    // once, at most MaxTargets), networks and ranges go to the sweep, and a
    // refused value or file changes neither list.
    void targetFormsSplitBetweenSearchAndSweep()
    {
        QList<QHostAddress> addresses{QHostAddress(QStringLiteral("192.0.2.99"))};
        Ipv4RangeSet sweep;
        QString error;
        QVERIFY2(CliInput::targets({QStringLiteral("203.0.113.20"), QStringLiteral("198.51.100.0/24"),
                                    QStringLiteral("203.0.113.20"), QStringLiteral("203.0.113.40-203.0.113.49"),
                                    QStringLiteral("198.51.100.7/32")},
                                   QString(), &addresses, &sweep, &error),
                 qPrintable(error));
        QCOMPARE(addresses, (QList<QHostAddress>{QHostAddress(QStringLiteral("203.0.113.20"))}));
        QCOMPARE(sweep.count(), quint64(254 + 10));   // the /32 lies in the /24

        const QList<QHostAddress> keptAddresses = addresses;
        const quint64 keptCount = sweep.count();
        for (const QString &bad : {QStringLiteral("198.51.100.0/33"), QStringLiteral("203.0.113.50-203.0.113.40"),
                                   QStringLiteral("127.0.0.0/8"), QStringLiteral("camera.example"), QString(),
                                   QString(200, QLatin1Char('1'))}) {
            error.clear();
            QVERIFY2(!CliInput::targets({QStringLiteral("192.0.2.1"), bad}, QString(), &addresses, &sweep, &error),
                     qPrintable(bad));
            QVERIFY2(error.startsWith(QLatin1String("--target takes an address, a network")), qPrintable(error));
            QVERIFY(error.size() < 300);
        }
        QStringList seventeen;
        for (int i = 1; i <= CliInput::MaxTargets + 1; ++i)
            seventeen << QStringLiteral("203.0.113.%1").arg(i);
        QVERIFY(!CliInput::targets(seventeen, QString(), &addresses, &sweep, &error));
        QVERIFY2(error.contains(QLatin1String("at most 16 single addresses")), qPrintable(error));
        // As many in one range are a sweep, not a list.
        Ipv4RangeSet ranged;
        QList<QHostAddress> none;
        QVERIFY(CliInput::targets({QStringLiteral("203.0.113.1-203.0.113.17")}, QString(), &none, &ranged, &error));
        QVERIFY(none.isEmpty());
        QCOMPARE(ranged.count(), quint64(17));

        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("198.51.100.0/28\n# a comment\n203.0.113.9\nnot-an-address\n");
        file.close();
        QVERIFY(!CliInput::targets({}, file.fileName(), &addresses, &sweep, &error));
        QVERIFY2(error.startsWith(QLatin1String("--targets-from: ")) && error.contains(QLatin1String("line 4")),
                 qPrintable(error));
        QVERIFY(!CliInput::targets({}, file.fileName() + QStringLiteral(".missing"), &addresses, &sweep, &error));
        QCOMPARE(addresses, keptAddresses);
        QCOMPARE(sweep.count(), keptCount);
    }

    // The sweep's options on the real binary, refused before any socket: the
    // rate's bounds, a sweep past a /16 without --yes, and the plan a dry run
    // prints instead of sending.
    void sweepOptionsAreCheckedBeforeSending()
    {
        const QString cli = qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli");
        struct Run
        {
            int code;
            QString out;
            QString err;
        };
        const auto run = [&](const QStringList &arguments) {
            QProcess process;
            process.start(cli, arguments);
            if (!process.waitForFinished(30000))
                return Run{-1, QString(), QString()};
            return Run{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                       QString::fromUtf8(process.readAllStandardError())};
        };
        for (const QString &rate : {QStringLiteral("9"), QStringLiteral("1000001"), QStringLiteral("fast")}) {
            const Run r = run({QStringLiteral("search"), QStringLiteral("--target"), QStringLiteral("198.51.100.0/24"),
                               QStringLiteral("--rate"), rate});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QLatin1String("--rate takes a whole number from 10 to 1000000")), qPrintable(r.err));
        }
        // A /16's 65534 hosts and three more are one address too many.
        for (const QStringList &command : {QStringList{QStringLiteral("search")},
                                           QStringList{QStringLiteral("assign"), QStringLiteral("--range"),
                                                       QStringLiteral("10.20.1.10-10.20.1.20")}}) {
            const Run r = run(command + QStringList{QStringLiteral("--target"), QStringLiteral("10.20.0.0/16"),
                                                    QStringLiteral("--target"), QStringLiteral("10.21.0.1-10.21.0.3")});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QLatin1String("65537 addresses")) && r.err.contains(QLatin1String("--yes")),
                     qPrintable(r.err));
        }
        const Run plan = run({QStringLiteral("search"), QStringLiteral("--target"), QStringLiteral("10.20.0.0/16"),
                              QStringLiteral("--target"), QStringLiteral("10.21.0.1-10.21.0.3"), QStringLiteral("--seconds"),
                              QStringLiteral("2"), QStringLiteral("--dry-run")});
        QCOMPARE(plan.code, 0);
        QVERIFY2(plan.out.contains(QLatin1String("65537 addresses, 262148 datagrams (both queries, 2 passes) at 10000 "
                                                 "per second: about 27 s")),
                 qPrintable(plan.out));
        QVERIFY2(plan.out.contains(QLatin1String("the sweep needs --yes")), qPrintable(plan.out));
        QVERIFY2(plan.out.contains(QLatin1String("In all about 29 s. Nothing was sent")), qPrintable(plan.out));
        // Exactly a /16's worth needs no confirmation.
        const Run exact = run({QStringLiteral("search"), QStringLiteral("--target"), QStringLiteral("10.20.0.0-10.20.255.255"),
                               QStringLiteral("--dry-run")});
        QCOMPARE(exact.code, 0);
        QVERIFY2(exact.out.contains(QLatin1String("65536 addresses")) && !exact.out.contains(QLatin1String("--yes")),
                 qPrintable(exact.out));
        QVERIFY(SweepPlan(65536, 10000).durationMs() < 30000);
    }

    // The marks only add: a JSON object gains two keys, CSV two columns at
    // the end, the table a line per mark above its count; without marks
    // every format is what it was.
    void listFormatsCarryTheMarks()
    {
        AdapterSurvey survey;
        AdapterSurvey::Adapter lan0;
        lan0.name = QStringLiteral("lan0");
        lan0.up = true;
        lan0.addresses.append(AdapterSurvey::Ipv4{ip("192.0.2.1"), 24});
        survey.adapters.append(lan0);
        const DeviceRecord a = cam("02:50:4d:00:00:0a", "192.0.2.10");
        const DeviceRecord b = cam("02:50:4d:00:00:0b", "192.0.2.10");
        const DeviceRecord lost = cam("02:50:4d:00:00:0c", "203.0.113.5");
        const QList<DeviceRecord> list{a, b, lost};
        const DeviceMarks marks = DeviceMarks::of(list, survey);

        const QJsonArray array = QJsonDocument::fromJson(DeviceListFormat::json(list, &marks)).array();
        QCOMPARE(array.size(), 3);
        QCOMPARE(array.at(0).toObject().value(QStringLiteral("conflict")), QJsonValue(true));
        QCOMPARE(array.at(1).toObject().value(QStringLiteral("conflict")), QJsonValue(true));
        QCOMPARE(array.at(2).toObject().value(QStringLiteral("conflict")), QJsonValue(false));
        QCOMPARE(array.at(2).toObject().value(QStringLiteral("reachable")), QJsonValue(false));
        QCOMPARE(array.at(0).toObject().value(QStringLiteral("reachable")), QJsonValue(true));
        QStringList keys = array.at(0).toObject().keys();
        keys.removeAll(QStringLiteral("reachable"));
        keys.removeAll(QStringLiteral("conflict"));
        QCOMPARE(keys, QJsonDocument::fromJson(DeviceListFormat::json({a})).array().at(0).toObject().keys());
        QVERIFY(!DeviceListFormat::json(list).contains("reachable"));
        QVERIFY(!DeviceListFormat::jsonLine(a).contains("conflict"));

        for (const DeviceListFormat::Kind kind : {DeviceListFormat::Kind::Csv, DeviceListFormat::Kind::CsvRaw}) {
            const QList<QByteArray> plain = DeviceListFormat::format(list, kind).split('\n');
            const QList<QByteArray> marked = DeviceListFormat::format(list, kind, &marks).split('\n');
            QCOMPARE(marked.size(), plain.size());
            QCOMPARE(marked.at(0), plain.at(0).chopped(1) + ",reachable,conflict\r");
            QCOMPARE(marked.at(1), plain.at(1).chopped(1) + ",true,true\r");
            QCOMPARE(marked.at(3), plain.at(3).chopped(1) + ",false,false\r");
        }

        const QString table = QString::fromUtf8(DeviceListFormat::table(list, &marks));
        const QStringList lines = table.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 3 + 2 + 1);
        QCOMPARE(lines.at(4), QStringLiteral("! ") + DeviceMarks::unreachableSentence(lost));
        QCOMPARE(lines.at(5), QStringLiteral("! Conflict: 192.0.2.10 is answered by 02:50:4d:00:00:0a and 02:50:4d:00:00:0b"));
        QCOMPARE(lines.last(), QStringLiteral("3 cameras found"));
        QCOMPARE(DeviceListFormat::table(list, nullptr), DeviceListFormat::table(list));
        const DeviceMarks none = DeviceMarks::of({a}, survey);
        QCOMPARE(DeviceListFormat::table({a}, &none), DeviceListFormat::table({a}));
    }
};

QTEST_GUILESS_MAIN(TestCliCore)
#include "tst_clicore.moc"
