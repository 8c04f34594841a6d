// The one check of a planned address, on its own: a table of settings that
// may go to a camera and of those that must not, for a single camera, a
// range and a power-on target. Nothing here touches the network.
#include "settingscheck.h"

#include <QtTest>

namespace {

quint32 ip(const QString &text)
{
    quint32 address = 0;
    if (!SettingsCheck::parseAddress(text, &address))
        qFatal("bad test address %s", qPrintable(text));
    return address;
}

const QString Self = QStringLiteral("02:50:4d:00:00:03");
const QString Other = QStringLiteral("02:50:4d:00:00:0a");

DeviceRecord device(const QString &mac, const QString &address, const QString &name)
{
    DeviceRecord d;
    d.mac = mac;
    d.ip = address;
    d.model = QStringLiteral("ZR-20");
    d.name = name;
    return d;
}

// The network the rows are judged in: this computer at 192.0.2.1/24 (and
// loopback), the camera itself at 192.0.2.12, another camera at 192.0.2.10
// whose name carries a terminal escape, and probe answers for .40 (another
// device), .12 (the camera itself) and .41 (both).
SettingsCheck::Surroundings lan()
{
    SettingsCheck::Surroundings around;
    around.devices = {device(Self, QStringLiteral("192.0.2.12"), QStringLiteral("Stage")),
                      device(Other, QStringLiteral("192.0.2.10"), QStringLiteral("Hall\x1b[31m")),
                      device(QStringLiteral("02:50:4d:00:00:0b"), QString(), QStringLiteral("No address"))};
    around.host = {{ip(QStringLiteral("192.0.2.1")), ip(QStringLiteral("255.255.255.0"))},
                   {ip(QStringLiteral("127.0.0.1")), ip(QStringLiteral("255.0.0.0"))}};
    around.probeAnswers.insert(ip(QStringLiteral("192.0.2.40")), QStringLiteral("02:50:4d:00:00:99"));
    around.probeAnswers.insert(ip(QStringLiteral("192.0.2.12")), Self);
    around.probeAnswers.insert(ip(QStringLiteral("192.0.2.41")), Self);
    around.probeAnswers.insert(ip(QStringLiteral("192.0.2.41")), QStringLiteral("02:50:4d:00:00:98"));
    return around;
}

QString fieldName(SettingsCheck::Field field)
{
    switch (field) {
    case SettingsCheck::Field::Ip: return QStringLiteral("ip");
    case SettingsCheck::Field::Mask: return QStringLiteral("mask");
    case SettingsCheck::Field::Gateway: return QStringLiteral("gateway");
    case SettingsCheck::Field::Range: return QStringLiteral("range");
    case SettingsCheck::Field::Target: return QStringLiteral("target");
    }
    return QString();
}

// "" when there is no problem, else "<field> <malformed|conflict>: <reason>"
// of the first one.
QString firstProblem(const QList<SettingsCheck::Problem> &problems)
{
    if (problems.isEmpty())
        return QString();
    const SettingsCheck::Problem &p = problems.first();
    return QStringLiteral("%1 %2: %3")
        .arg(fieldName(p.field), p.kind == SettingsCheck::Kind::Malformed ? QStringLiteral("malformed")
                                                                          : QStringLiteral("conflict"),
             p.reason);
}

} // namespace

class TestSettingsCheck : public QObject
{
    Q_OBJECT

private slots:
    void plannedSetting_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("expected");   // start of firstProblem(), "" for none

        const QString c24 = QStringLiteral("255.255.255.0");
        const QString none = QStringLiteral("0.0.0.0");
        // Good settings.
        QTest::newRow("moves within its subnet") << "192.0.2.50" << c24 << "192.0.2.1" << Self << "";
        QTest::newRow("keeps its own address") << "192.0.2.12" << c24 << "192.0.2.1" << Self << "";
        QTest::newRow("own MAC in other case") << "192.0.2.12" << c24 << "192.0.2.1" << Self.toUpper() << "";
        QTest::newRow("no gateway") << "192.0.2.50" << c24 << none << Self << "";
        QTest::newRow("another subnet than this computer's") << "198.51.100.20" << c24 << "198.51.100.1" << Self << "";
        QTest::newRow("/30 host") << "203.0.113.5" << "255.255.255.252" << "203.0.113.6" << Self << "";
        QTest::newRow("/8 host") << "10.1.2.3" << "255.0.0.0" << "10.0.0.1" << Self << "";
        QTest::newRow("probe answered by the camera itself") << "192.0.2.12" << c24 << none << Self << "";

        // Malformed: never sent.
        QTest::newRow("mask with a hole") << "192.0.2.50" << "255.0.255.0" << "192.0.2.1" << Self
                                          << "mask malformed: is not a contiguous subnet mask";
        QTest::newRow("mask with a late one") << "192.0.2.50" << "255.255.255.1" << none << Self
                                              << "mask malformed: is not a contiguous";
        QTest::newRow("no mask") << "192.0.2.50" << none << none << Self << "mask malformed: is no subnet mask";
        QTest::newRow("/31") << "192.0.2.50" << "255.255.255.254" << none << Self << "mask malformed: leaves no host";
        QTest::newRow("/32") << "192.0.2.50" << "255.255.255.255" << none << Self << "mask malformed: leaves no host";
        QTest::newRow("network address") << "192.0.2.0" << c24 << "192.0.2.1" << Self
                                         << "ip malformed: is the network address of 192.0.2.0/24";
        QTest::newRow("broadcast address") << "192.0.2.255" << c24 << "192.0.2.1" << Self
                                           << "ip malformed: is the broadcast address of 192.0.2.0/24";
        QTest::newRow("/8 broadcast") << "10.255.255.255" << "255.0.0.0" << none << Self
                                      << "ip malformed: is the broadcast address of 10.0.0.0/8";
        QTest::newRow("/30 network") << "203.0.113.4" << "255.255.255.252" << none << Self
                                     << "ip malformed: is the network address of 203.0.113.4/30";
        QTest::newRow("unspecified") << "0.0.0.0" << c24 << none << Self << "ip malformed: is the unspecified address";
        QTest::newRow("this network") << "0.1.2.3" << c24 << none << Self << "ip malformed: is in 0.0.0.0/8";
        QTest::newRow("loopback") << "127.0.0.5" << c24 << none << Self << "ip malformed: is a loopback address";
        QTest::newRow("multicast low") << "224.0.0.251" << c24 << none << Self << "ip malformed: is a multicast address";
        QTest::newRow("multicast high") << "239.255.255.250" << c24 << none << Self << "ip malformed: is a multicast";
        QTest::newRow("reserved") << "240.0.0.1" << c24 << none << Self << "ip malformed: is a reserved address";
        QTest::newRow("limited broadcast") << "255.255.255.255" << c24 << none << Self
                                           << "ip malformed: is the limited broadcast address";
        QTest::newRow("gateway in another subnet") << "192.0.2.50" << c24 << "198.51.100.1" << Self
                                                   << "gateway malformed: is outside the planned subnet 192.0.2.0/24";
        QTest::newRow("gateway just past a /25") << "192.0.2.50" << "255.255.255.128" << "192.0.2.129" << Self
                                                 << "gateway malformed: is outside the planned subnet 192.0.2.0/25";
        QTest::newRow("gateway is the camera") << "192.0.2.50" << c24 << "192.0.2.50" << Self
                                               << "gateway malformed: is the camera's own planned address";
        QTest::newRow("gateway is the broadcast") << "192.0.2.50" << c24 << "192.0.2.255" << Self
                                                  << "gateway malformed: is the broadcast address";
        QTest::newRow("gateway on loopback") << "192.0.2.50" << c24 << "127.0.0.1" << Self
                                             << "gateway malformed: is a loopback address";
        // A malformed value is named before any conflict.
        QTest::newRow("conflict and bad gateway") << "192.0.2.10" << c24 << "203.0.113.1" << Self
                                                  << "gateway malformed: is outside";

        // Conflicts: --force may send these.
        QTest::newRow("another camera's") << "192.0.2.10" << c24 << "192.0.2.1" << Self
                                          << "ip conflict: is held by another device of the search (MAC 02:50:4d:00:00:0a, ZR-20 \"Hall?[31m\")";
        QTest::newRow("this computer's") << "192.0.2.1" << c24 << none << Self << "ip conflict: is an address of this computer";
        QTest::newRow("answered a probe") << "192.0.2.40" << c24 << none << Self
                                          << "ip conflict: answered an address-conflict probe from the device with MAC 02:50:4d:00:00:99";
        QTest::newRow("answered by itself and another") << "192.0.2.41" << c24 << none << Self
                                                        << "ip conflict: answered an address-conflict probe from the device with MAC 02:50:4d:00:00:98";
        QTest::newRow("the other camera's own is no conflict for it") << "192.0.2.10" << c24 << none << Other << "";
    }

    void plannedSetting()
    {
        QFETCH(QString, address);
        QFETCH(QString, mask);
        QFETCH(QString, gateway);
        QFETCH(QString, mac);
        QFETCH(QString, expected);
        SettingsCheck::Planned planned;
        planned.mac = mac;
        planned.ip = ip(address);
        planned.mask = ip(mask);
        planned.gateway = ip(gateway);
        const QList<SettingsCheck::Problem> problems = SettingsCheck::check(planned, lan());
        const QString first = firstProblem(problems);
        if (expected.isEmpty())
            QVERIFY2(first.isEmpty(), qPrintable(first));
        else
            QVERIFY2(first.startsWith(expected), qPrintable(first));
        // Malformed problems come first, and only they are "malformed".
        QCOMPARE(SettingsCheck::hasMalformed(problems), first.contains(QLatin1String(" malformed: ")));
        for (const SettingsCheck::Problem &p : problems)
            QVERIFY2(!p.reason.contains(QChar(0x1b)), qPrintable(p.reason));
    }

    void range_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inside a /24") << "192.0.2.100" << "192.0.2.149" << "255.255.255.0" << "";
        QTest::newRow("one address") << "192.0.2.100" << "192.0.2.100" << "255.255.255.0" << "";
        QTest::newRow("whole /24 with its ends") << "192.0.2.0" << "192.0.2.255" << "255.255.255.0" << "";
        QTest::newRow("across two /24") << "192.0.2.254" << "192.0.3.5" << "255.255.255.0"
                                        << "range malformed: is not inside one subnet of mask 255.255.255.0 "
                                           "(it runs from 192.0.2.0/24 into 192.0.3.0/24)";
        QTest::newRow("across a /25 boundary") << "192.0.2.120" << "192.0.2.130" << "255.255.255.128"
                                               << "range malformed: is not inside one subnet";
        QTest::newRow("inside a /16") << "198.51.0.250" << "198.51.1.5" << "255.255.0.0" << "";
        QTest::newRow("in loopback") << "127.0.0.1" << "127.0.0.9" << "255.255.255.0"
                                     << "range malformed: holds 127.0.0.1, which is a loopback address";
        QTest::newRow("in multicast") << "224.0.0.1" << "224.0.0.9" << "255.255.255.0"
                                      << "range malformed: holds 224.0.0.1, which is a multicast";
        QTest::newRow("wide mask over loopback") << "126.255.255.250" << "127.0.0.3" << "128.0.0.0"
                                                 << "range malformed: holds 127.0.0.0, which is a loopback";
        QTest::newRow("bad mask") << "192.0.2.10" << "192.0.2.20" << "255.0.255.0" << "mask malformed: is not a contiguous";
    }

    void range()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, mask);
        QFETCH(QString, expected);
        const QString got = firstProblem(SettingsCheck::checkRange(ip(first), ip(last), ip(mask)));
        if (expected.isEmpty())
            QVERIFY2(got.isEmpty(), qPrintable(got));
        else
            QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void powerTarget_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the camera's own") << "192.0.2.10" << Other << "";
        QTest::newRow("behind a router") << "198.51.100.255" << Other << "";
        QTest::newRow("another camera's") << "192.0.2.10" << Self << "target conflict: is held by another device";
        QTest::newRow("this computer") << "192.0.2.1" << Self << "target conflict: is an address of this computer";
        QTest::newRow("directed broadcast") << "192.0.2.255" << Self
                                            << "target malformed: is the broadcast address of 192.0.2.0/24, a subnet of this computer";
        QTest::newRow("network address") << "192.0.2.0" << Self << "target malformed: is the network address";
        QTest::newRow("loopback") << "127.0.0.1" << Self << "target malformed: is a loopback address";
        QTest::newRow("multicast") << "239.255.255.250" << Self << "target malformed: is a multicast address";
        QTest::newRow("limited broadcast") << "255.255.255.255" << Self << "target malformed: is the limited broadcast";
    }

    void powerTarget()
    {
        QFETCH(QString, address);
        QFETCH(QString, mac);
        QFETCH(QString, expected);
        const QString got = firstProblem(SettingsCheck::checkTarget(ip(address), mac, lan()));
        if (expected.isEmpty())
            QVERIFY2(got.isEmpty(), qPrintable(got));
        else
            QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void helpers()
    {
        QCOMPARE(SettingsCheck::prefixLength(0xFFFFFF00u), 24);
        QCOMPARE(SettingsCheck::prefixLength(0xFFFFFFFFu), 32);
        QCOMPARE(SettingsCheck::prefixLength(0u), 0);
        QCOMPARE(SettingsCheck::prefixLength(0xFF00FF00u), -1);
        QCOMPARE(SettingsCheck::prefixLength(0x7FFFFFFFu), -1);
        QVERIFY(SettingsCheck::isHostInSubnet(ip(QStringLiteral("192.0.2.1")), 0xFFFFFF00u));
        QVERIFY(!SettingsCheck::isHostInSubnet(ip(QStringLiteral("192.0.2.0")), 0xFFFFFF00u));
        QVERIFY(!SettingsCheck::isHostInSubnet(ip(QStringLiteral("192.0.2.255")), 0xFFFFFF00u));
        QCOMPARE(SettingsCheck::subnetText(ip(QStringLiteral("192.0.2.77")), 0xFFFFFFC0u), QStringLiteral("192.0.2.64/26"));

        quint32 a = 0;
        QVERIFY(SettingsCheck::parseAddress(QStringLiteral("0.0.0.0"), &a));
        QVERIFY(SettingsCheck::parseAddress(QStringLiteral("255.255.255.255"), &a));
        QCOMPARE(a, 0xFFFFFFFFu);
        for (const char *bad : {"", "192.0.2", "192.0.2.256", "192.0.2.1.5", "192.0.2.+1", "192.0.2. 1", "192.0.2.1 ",
                                "1.2.3.0x4", "192..2.1", "0000.0.0.0"})
            QVERIFY2(!SettingsCheck::parseAddress(QString::fromLatin1(bad), &a), bad);
    }
};

QTEST_GUILESS_MAIN(TestSettingsCheck)
#include "tst_settingscheck.moc"
