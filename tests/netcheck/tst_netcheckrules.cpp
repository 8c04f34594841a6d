// The network checks' rules without a network: adapters and the signs of a
// container or NAT, reverse-path filtering, the port's holder, the live
// search's counts, cameras in another subnet, address conflicts, and the
// report every front end prints.
#include "adaptercheck.h"
#include "addressconflicts.h"
#include "checkreport.h"
#include "containerhints.h"
#include "devicemarks.h"
#include "kernelcounters.h"
#include "livesearchcheck.h"
#include "networkdoctor.h"
#include "portholdercheck.h"
#include "routetable.h"
#include "rpfiltercheck.h"
#include "subnetreach.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

quint32 ip(const char *text)
{
    return QHostAddress(QLatin1String(text)).toIPv4Address();
}

AdapterSurvey::Adapter adapter(const char *name, const char *address, int prefix, bool defaultRoute = false,
                               const char *gateway = nullptr)
{
    AdapterSurvey::Adapter a;
    a.name = QLatin1String(name);
    a.up = true;
    if (address)
        a.addresses.append(AdapterSurvey::Ipv4{ip(address), prefix});
    a.defaultRoute = defaultRoute;
    a.gateway = gateway ? ip(gateway) : 0;
    return a;
}

DeviceRecord camera(const char *mac, const char *address, const char *mask = "255.255.255.0",
                    const char *gateway = "0.0.0.0")
{
    DeviceRecord d;
    d.mac = QLatin1String(mac);
    d.ip = QLatin1String(address);
    d.mask = QLatin1String(mask);
    d.gateway = QLatin1String(gateway);
    d.model = QStringLiteral("BOX-1");
    d.name = QStringLiteral("Hall");
    return d;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TestNetcheckRules : public QObject
{
    Q_OBJECT

private slots:
    void adapterKinds_data();
    void adapterKinds();
    void natSigns();
    void adapterResults();
    void containerMarkers();
    void routeTable();
    void kernelCounters();
    void reversePathFilter();
    void portHolder();
    void liveSearchCounts();
    void cameraInAnotherSubnet();
    void addressConflicts();
    void reportTextAndJson();
    void deviceMarks();
    void onlyOneCameraEvaluated();
    void firewallPortsFollowTheSources();
};

void TestNetcheckRules::adapterKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    using K = AdapterCheck::Kind;
    QTest::newRow("docker0") << "docker0" << int(K::ContainerBridge);
    QTest::newRow("docker network") << "br-3f2a9c1d7e4b" << int(K::ContainerBridge);
    QTest::newRow("plain bridge") << "br0" << int(K::Physical);   // a host's bridged uplink is a real LAN
    QTest::newRow("cni") << "cni0" << int(K::ContainerBridge);
    QTest::newRow("podman") << "podman0" << int(K::ContainerBridge);
    QTest::newRow("veth") << "veth12ab34" << int(K::ContainerLink);
    QTest::newRow("libvirt") << "virbr0" << int(K::VmNetwork);
    QTest::newRow("virtualbox") << "vboxnet0" << int(K::VmNetwork);
    QTest::newRow("vmware") << "vmnet8" << int(K::VmNetwork);
    QTest::newRow("tun") << "tun0" << int(K::VpnTunnel);
    QTest::newRow("tap") << "tap1" << int(K::VpnTunnel);
    QTest::newRow("wireguard") << "wg0" << int(K::VpnTunnel);
    QTest::newRow("ppp") << "ppp0" << int(K::VpnTunnel);
    QTest::newRow("ethernet") << "enp3s0" << int(K::Physical);
    QTest::newRow("wifi") << "wlp2s0" << int(K::Physical);
}

void TestNetcheckRules::adapterKinds()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    QCOMPARE(int(AdapterCheck::kindOf(name)), kind);
}

void TestNetcheckRules::natSigns()
{
    QVERIFY(AdapterCheck::natReason(adapter("eth0", "10.0.2.15", 24, true, "10.0.2.2")).contains(QLatin1String("VirtualBox")));
    QVERIFY(AdapterCheck::natReason(adapter("eth0", "172.17.0.2", 16, true, "172.17.0.1")).contains(QLatin1String("Docker")));
    QVERIFY(AdapterCheck::natReason(adapter("eth0", "10.88.0.5", 16, true, "10.88.0.1")).contains(QLatin1String("Podman")));
    QVERIFY(AdapterCheck::natReason(adapter("virbr0", "192.0.2.1", 24, true)).contains(QLatin1String("virtual machines")));
    AdapterSurvey::Adapter veth = adapter("eth0", "203.0.113.2", 24, true, "203.0.113.1");
    veth.vethPeer = true;
    QVERIFY(AdapterCheck::natReason(veth).contains(QLatin1String("another network namespace")));
    // An ordinary desk: none of these.
    QVERIFY(AdapterCheck::natReason(adapter("enp3s0", "192.0.2.20", 24, true, "192.0.2.1")).isEmpty());
    // 172.17.x with a gateway elsewhere is just an address.
    QVERIFY(AdapterCheck::natReason(adapter("enp3s0", "172.17.4.20", 16, true, "203.0.113.1")).isEmpty());
}

void TestNetcheckRules::adapterResults()
{
    AdapterSurvey survey;
    survey.adapters = {adapter("lo", "127.0.0.1", 8), adapter("lan0", "192.0.2.1", 24, true, "192.0.2.254"),
                       adapter("docker0", "198.51.100.1", 24)};
    survey.adapters[0].loopback = true;
    AdapterSurvey::Adapter down = adapter("lan1", "203.0.113.1", 24);
    down.up = false;
    survey.adapters.append(down);
    QList<CheckResult> results = AdapterCheck::evaluate(survey, ContainerHints());
    QCOMPARE(results.size(), 3);
    QCOMPARE(results.at(0).subject, QStringLiteral("lan0"));
    QVERIFY(results.at(0).sentence.contains(QLatin1String("192.0.2.1/24 and has the default route (gateway 192.0.2.254)")));
    QVERIFY(results.at(1).sentence.contains(QLatin1String("container bridge")));
    QCOMPARE(results.at(2).status, CheckResult::Status::Warning);
    QCOMPARE(results.at(2).fix, QStringLiteral("sudo ip link set lan1 up"));

    // Inside a container behind its bridge's NAT: a problem, with host networking as the fix.
    AdapterSurvey docker;
    docker.adapters = {adapter("eth0", "172.17.0.2", 16, true, "172.17.0.1")};
    ContainerHints hints;
    hints.engine = QStringLiteral("docker");
    hints.evidence = QStringLiteral("/.dockerenv exists");
    results = AdapterCheck::evaluate(docker, hints);
    QCOMPARE(results.last().status, CheckResult::Status::Problem);
    QCOMPARE(results.last().subject, QStringLiteral("container"));
    QCOMPARE(results.last().fix, QStringLiteral("docker run --network host ..."));

    // Nothing usable at all.
    results = AdapterCheck::evaluate(AdapterSurvey(), ContainerHints());
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().status, CheckResult::Status::Problem);
}

void TestNetcheckRules::containerMarkers()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(!ContainerHints::read(root.path()).inContainer());
    QVERIFY(writeFile(root.filePath(QStringLiteral("proc/1/cgroup")), "0::/init.scope\n"));
    QVERIFY(!ContainerHints::read(root.path()).inContainer());
    QVERIFY(writeFile(root.filePath(QStringLiteral("proc/1/cgroup")),
                      "12:pids:/docker/4f2c1a\n0::/system.slice/docker-4f2c1a.scope\n"));
    QCOMPARE(ContainerHints::read(root.path()).engine, QStringLiteral("docker"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("run/.containerenv")), ""));
    ContainerHints podman = ContainerHints::read(root.path());
    QCOMPARE(podman.engine, QStringLiteral("podman"));
    QVERIFY(podman.evidence.contains(QLatin1String(".containerenv")));
    QCOMPARE(ContainerHints::engineFromCgroup("0::/kubepods/besteffort/pod1"), QStringLiteral("kubernetes"));
    QCOMPARE(ContainerHints::engineFromCgroup("0::/user.slice/user-1000.slice"), QString());
}

void TestNetcheckRules::routeTable()
{
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "lan1\t00000000\t01643379\t0003\t0\t0\t200\t00000000\t0\t0\t0\n"
        "lan0\t00000000\t FE0200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "lan0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "junk\tZZ\n";
    const QList<RouteTable::Route> routes = RouteTable::parse(table);
    QCOMPARE(routes.size(), 3);
    const RouteTable::Route *best = RouteTable::defaultRoute(routes);
    QVERIFY(best);
    QCOMPARE(best->interfaceName, QStringLiteral("lan0"));   // the lower metric
    QCOMPARE(best->gateway, ip("192.0.2.254"));
    QCOMPARE(routes.at(2).destination, ip("192.0.2.0"));
    QCOMPARE(routes.at(2).mask, ip("255.255.255.0"));
    QVERIFY(!RouteTable::defaultRoute(routes.mid(2)));
}

void TestNetcheckRules::kernelCounters()
{
    const QByteArray text = "TcpExt: SyncookiesSent IPReversePathFilter Other\nTcpExt: 0 17 5\n"
                            "IpExt: InNoRoutes\nIpExt: 3\nUdp: InDatagrams RcvbufErrors\nUdp: 10\n";   // last pair is short
    const QHash<QString, qint64> counters = KernelCounters::parse(text);
    QCOMPARE(counters.value(KernelCounters::reversePathFilterKey()), qint64(17));
    QCOMPARE(counters.value(QStringLiteral("IpExt.InNoRoutes")), qint64(3));
    QVERIFY(!counters.contains(QStringLiteral("Udp.InDatagrams")));
}

void TestNetcheckRules::reversePathFilter()
{
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("all/rp_filter")), "1\n"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("lan0/rp_filter")), "0\n"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("lan1/rp_filter")), "2\n"));
    const QList<RpFilterCheck::Setting> settings =
        RpFilterCheck::read({QStringLiteral("lan0"), QStringLiteral("lan1"), QStringLiteral("gone"), QStringLiteral("../x")},
                            root.path());
    QCOMPARE(settings.size(), 3);   // a name that would leave the folder is not read
    QCOMPARE(settings.at(0).effective(), 1);   // the larger of all and the adapter's own
    QCOMPARE(settings.at(1).effective(), 2);
    const QList<CheckResult> results = RpFilterCheck::evaluate(settings, true);
    QCOMPARE(results.at(0).status, CheckResult::Status::Warning);
    QVERIFY(results.at(0).sentence.contains(QLatin1String("strict")));
    QCOMPARE(results.at(0).fix, QStringLiteral("sudo sysctl -w net.ipv4.conf.lan0.rp_filter=2"));
    QCOMPARE(results.at(1).status, CheckResult::Status::Ok);
    QVERIFY(results.at(1).sentence.contains(QLatin1String("loose")));
    QCOMPARE(results.at(2).status, CheckResult::Status::Warning);   // unreadable
    QVERIFY(RpFilterCheck::evaluate(settings.mid(1, 1), false).first().sentence.contains(QLatin1String("no default route")));
}

void TestNetcheckRules::portHolder()
{
    PortHolderCheck::Reading reading;
    reading.port = 8000;
    SocketOwner::Entry ours;
    ours.inode = 11;
    ours.uid = 1000;
    SocketOwner::Entry theirs;
    theirs.inode = 22;
    theirs.uid = 1000;
    SocketOwner::Entry hidden;
    hidden.inode = 33;
    hidden.uid = 0;
    reading.sockets = {ours};
    reading.processes.holders.insert(11, {SocketProcesses::Holder{500, QStringLiteral("pathmere-cli")}});
    QList<CheckResult> results = PortHolderCheck::evaluate(reading, 500);
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().status, CheckResult::Status::Ok);

    reading.sockets = {ours, theirs, hidden};
    reading.processes.holders.insert(22, {SocketProcesses::Holder{777, QStringLiteral("Pathmere")}});
    reading.processes.unreadableProcesses = 4;
    results = PortHolderCheck::evaluate(reading, 500);
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).status, CheckResult::Status::Problem);
    QVERIFY2(results.at(0).sentence.contains(QLatin1String("held by Pathmere (pid 777)")), qPrintable(results.at(0).sentence));
    QCOMPARE(results.at(0).fix, QStringLiteral("kill 777"));
    QVERIFY(results.at(1).sentence.contains(QLatin1String("uid 0 that this user cannot see (4 processes")));
    QCOMPARE(results.at(1).fix, QStringLiteral("sudo pathmere-cli doctor"));
}

void TestNetcheckRules::liveSearchCounts()
{
    LiveSearchRun::AdapterResult lan0;
    lan0.adapter = QStringLiteral("lan0");
    lan0.address = QStringLiteral("192.0.2.1");
    lan0.devices = {camera("02:50:4d:00:00:01", "192.0.2.40"), camera("02:50:4d:00:00:02", "192.0.2.41")};
    lan0.socketDrops = 0;
    lan0.reversePathDrops = 0;
    LiveSearchRun::AdapterResult lan1 = lan0;
    lan1.adapter = QStringLiteral("lan1");
    lan1.address = QStringLiteral("198.51.100.1");
    lan1.devices.clear();
    lan1.socketDrops = 3;
    lan1.reversePathDrops = 2;
    QList<CheckResult> results = LiveSearchCheck::evaluate({lan0, lan1}, {QStringLiteral("lan1")});
    QCOMPARE(results.size(), 4);
    QVERIFY(results.at(0).sentence.contains(QLatin1String("answers from 2 camera(s)")));
    QCOMPARE(results.at(1).status, CheckResult::Status::Warning);
    QVERIFY(results.at(2).sentence.contains(QLatin1String("dropped 3 datagram(s) for the search's sockets")));
    QVERIFY(results.at(3).sentence.contains(QLatin1String("reverse-path filter dropped 2 datagram(s) while lan1 searched (filtering is strict on lan1)")));
    QCOMPARE(results.at(3).fix, QStringLiteral("sudo sysctl -w net.ipv4.conf.lan1.rp_filter=2"));

    lan0.devices.clear();
    results = LiveSearchCheck::evaluate({lan0}, {});
    QCOMPARE(results.last().status, CheckResult::Status::Problem);
    QVERIFY(results.last().sentence.contains(QLatin1String("No camera answered")));
}

void TestNetcheckRules::cameraInAnotherSubnet()
{
    AdapterSurvey survey;
    survey.adapters = {adapter("lan0", "192.0.2.1", 24, false), adapter("lan1", "198.51.100.1", 24, true, "198.51.100.254")};
    const DeviceRecord home = camera("02:50:4d:00:00:01", "192.0.2.2");
    const DeviceRecord held = camera("02:50:4d:00:00:03", "192.0.2.3");
    const DeviceRecord factory = camera("02:50:4d:00:00:02", "203.0.113.5", "255.255.255.0", "203.0.113.254");
    QVERIFY(SubnetReach::reachable(home, survey));
    QVERIFY(!SubnetReach::reachable(factory, survey));

    // Heard on lan0: the fixes use lan0, whatever carries the default route.
    const QList<SubnetReach::Finding> findings =
        SubnetReach::evaluate({home, held, factory}, survey, {{factory.mac, QStringLiteral("lan0")}});
    QCOMPARE(findings.size(), 1);
    const SubnetReach::Finding &f = findings.first();
    QCOMPARE(f.adapter, QStringLiteral("lan0"));
    // 192.0.2.1 is this computer, .2 and .3 are devices: .4 is the next free one.
    QCOMPARE(f.readdressed.ip, QStringLiteral("192.0.2.4"));
    QCOMPARE(f.readdressed.mask, QStringLiteral("255.255.255.0"));
    QCOMPARE(f.readdressed.gateway, QStringLiteral("0.0.0.0"));   // lan0 has no gateway
    QCOMPARE(f.readdressed.mac, factory.mac);
    // The top of the camera's subnet, below its own router at .254.
    QCOMPARE(QHostAddress(f.temporaryAddress).toString(), QStringLiteral("203.0.113.253"));
    QCOMPARE(f.temporaryPrefix, 24);
    QCOMPARE(f.result.status, CheckResult::Status::Warning);
    QVERIFY2(f.result.sentence.contains(SubnetReach::notReachableText()), qPrintable(f.result.sentence));
    QVERIFY(f.result.sentence.contains(QLatin1String("192.0.2.4")));
    QCOMPARE(f.result.fix, QStringLiteral("pathmere-cli fix-subnet 02:50:4d:00:00:02 --user USER"));
    QCOMPARE(f.result.alternativeFix, QStringLiteral("sudo ip addr add 203.0.113.253/24 dev lan0"));

    // Not heard anywhere known: the default route's adapter, with its gateway;
    // addresses answering the probe are skipped.
    QStringList probedOn;
    const SubnetReach::Probe probe = [&probedOn](const QString &adapter, const QList<quint32> &candidates) {
        probedOn.append(adapter);
        QSet<quint32> answered;
        for (const quint32 c : candidates) {
            if (c == ip("198.51.100.2") || c == ip("203.0.113.253"))
                answered.insert(c);
        }
        return answered;
    };
    const QList<SubnetReach::Finding> viaDefault = SubnetReach::evaluate({factory}, survey, {}, probe);
    QCOMPARE(viaDefault.first().adapter, QStringLiteral("lan1"));
    QCOMPARE(viaDefault.first().readdressed.ip, QStringLiteral("198.51.100.3"));
    QCOMPARE(viaDefault.first().readdressed.gateway, QStringLiteral("198.51.100.254"));
    QCOMPARE(QHostAddress(viaDefault.first().temporaryAddress).toString(), QStringLiteral("203.0.113.252"));
    // Both kinds of candidate are probed on the adapter the fixes use.
    QVERIFY(!probedOn.isEmpty());
    QCOMPARE(probedOn.count(QStringLiteral("lan1")), probedOn.size());
}

void TestNetcheckRules::addressConflicts()
{
    const DeviceRecord a = camera("02:50:4d:00:00:01", "192.0.2.90");
    const DeviceRecord b = camera("02:50:4d:00:00:02", "192.0.2.90");
    DeviceRecord aAgain = a;
    aAgain.model = QStringLiteral("BOX-1 second head");   // one camera answering as two models is no conflict
    const DeviceRecord c = camera("02:50:4d:00:00:03", "192.0.2.91");
    QList<AddressConflicts::Conflict> conflicts = AddressConflicts::sameAddress({a, aAgain, b, c});
    QCOMPARE(conflicts.size(), 1);
    QCOMPARE(conflicts.first().ip, QStringLiteral("192.0.2.90"));
    QCOMPARE(conflicts.first().macs, QStringList({a.mac, b.mac}));
    QCOMPARE(AddressConflicts::conflictingMacs(conflicts), QSet<QString>({a.mac, b.mac}));

    QMultiHash<quint32, QString> answered;
    answered.insert(ip("192.0.2.91"), QStringLiteral("02:50:4D:00:00:03"));   // the camera itself, in capitals
    answered.insert(ip("192.0.2.91"), QStringLiteral("02:00:5e:10:00:01"));   // and a host nobody listed
    const QList<AddressConflicts::Conflict> probed = AddressConflicts::fromProbe({c}, answered);
    QCOMPARE(probed.size(), 1);
    QCOMPARE(probed.first().macs, QStringList({c.mac, QStringLiteral("02:00:5e:10:00:01")}));
    QVERIFY(probed.first().fromProbe);

    QList<CheckResult> results = AddressConflicts::evaluate(conflicts + probed, {});
    QCOMPARE(results.size(), 2);
    QVERIFY(results.at(0).sentence.startsWith(QLatin1String("Conflict:")));
    QVERIFY(results.at(1).sentence.contains(QLatin1String("ARP probe")));
    results = AddressConflicts::evaluate({}, {QStringLiteral("no ARP probe on lan0: the process lacks CAP_NET_RAW")});
    QCOMPARE(results.first().status, CheckResult::Status::Warning);
    QCOMPARE(AddressConflicts::evaluate({}, {}).first().status, CheckResult::Status::Ok);
}

void TestNetcheckRules::reportTextAndJson()
{
    CheckResult problem = CheckResult::make(QStringLiteral("firewall"), QStringLiteral("udp 8000"),
                                            CheckResult::Status::Problem, QStringLiteral("Dropped\x1b[2J here."),
                                            QStringLiteral("sudo nft insert rule inet filter input udp dport 8000 accept"));
    problem.reasoning = QStringList{QStringLiteral("step one")};
    problem.alternativeFix = QStringLiteral("sudo ufw allow Pathmere");
    const CheckResult fine = CheckResult::make(QStringLiteral("port"), QString(), CheckResult::Status::Ok, QStringLiteral("Free."));
    const QString text = CheckReport::text({fine, problem}, true);
    QCOMPARE(text, QStringLiteral("ok       port: Free.\n"
                                  "problem  firewall udp 8000: Dropped?[2J here.\n"
                                  "         fix: sudo nft insert rule inet filter input udp dport 8000 accept\n"
                                  "          or: sudo ufw allow Pathmere\n"
                                  "           - step one\n"));
    QVERIFY(!CheckReport::text({problem}).contains(QLatin1String("step one")));

    const QJsonObject root = QJsonDocument::fromJson(CheckReport::json({fine, problem})).object();
    QCOMPARE(root.value(QStringLiteral("status")).toString(), QStringLiteral("problem"));
    const QJsonArray checks = root.value(QStringLiteral("checks")).toArray();
    QCOMPARE(checks.size(), 2);
    QCOMPARE(checks.at(0).toObject().value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
    QVERIFY(!checks.at(0).toObject().contains(QStringLiteral("fix")));
    const QJsonObject second = checks.at(1).toObject();
    QCOMPARE(second.value(QStringLiteral("check")).toString(), QStringLiteral("firewall"));
    QCOMPARE(second.value(QStringLiteral("subject")).toString(), QStringLiteral("udp 8000"));
    QCOMPARE(second.value(QStringLiteral("fix")).toString(), problem.fix);
    QCOMPARE(second.value(QStringLiteral("alternativeFix")).toString(), problem.alternativeFix);
    QCOMPARE(second.value(QStringLiteral("reasoning")).toArray().size(), 1);
    QCOMPARE(QJsonDocument::fromJson(CheckReport::json({})).object().value(QStringLiteral("status")).toString(),
             QStringLiteral("ok"));
}

// The marks every list shows: by address, so two records of one camera
// (two sources) are marked alike; a device without an address never is.
void TestNetcheckRules::deviceMarks()
{
    AdapterSurvey survey;
    survey.adapters = {adapter("lan0", "192.0.2.1", 24)};
    AdapterSurvey::Adapter down = adapter("lan1", "198.51.100.1", 24);
    down.up = false;
    survey.adapters.append(down);
    const DeviceRecord home = camera("02:50:4d:00:00:01", "192.0.2.10");
    const DeviceRecord twin = camera("02:50:4d:00:00:02", "192.0.2.10");
    const DeviceRecord factory = camera("02:50:4d:00:00:03", "203.0.113.5");
    const DeviceRecord behindDown = camera("02:50:4d:00:00:04", "198.51.100.7");
    DeviceRecord nowhere = camera("02:50:4d:00:00:05", "");
    const DeviceMarks marks = DeviceMarks::of({home, twin, factory, behindDown, nowhere}, survey);
    QVERIFY(marks.reachable(home));
    QVERIFY(!marks.reachable(factory));
    QVERIFY(!marks.reachable(behindDown));   // an adapter that is down reaches nothing
    QVERIFY(marks.reachable(nowhere));
    QVERIFY(marks.conflict(home) && marks.conflict(twin));
    QVERIFY(!marks.conflict(factory) && !marks.conflict(nowhere));
    QCOMPARE(marks.conflictSentences(),
             QStringList{QStringLiteral("Conflict: 192.0.2.10 is answered by 02:50:4d:00:00:01 and 02:50:4d:00:00:02")});
    QVERIFY(DeviceMarks::unreachableSentence(factory).contains(
        QLatin1String("at 203.0.113.5 is not reachable from this computer")));
    QVERIFY(DeviceMarks::unreachableSentence(factory).contains(
        QLatin1String("pathmere-cli fix-subnet 02:50:4d:00:00:03 --user USER")));
    // One camera seen twice (the same MAC) is no conflict.
    QVERIFY(DeviceMarks::of({home, home}, survey).isEmpty());
    QVERIFY(DeviceMarks().isEmpty());
}

// fix-subnet asks for one camera: the others' addresses stay taken, but
// they get no plan (and no probe) of their own.
void TestNetcheckRules::onlyOneCameraEvaluated()
{
    AdapterSurvey survey;
    survey.adapters = {adapter("lan0", "192.0.2.1", 24, true, "192.0.2.254")};
    const DeviceRecord a = camera("02:50:4d:00:00:0a", "203.0.113.5");
    const DeviceRecord b = camera("02:50:4d:00:00:0b", "203.0.113.254");
    const DeviceRecord taken = camera("02:50:4d:00:00:0c", "192.0.2.2");
    int probes = 0;
    const SubnetReach::Probe probe = [&probes](const QString &, const QList<quint32> &) {
        ++probes;
        return QSet<quint32>();
    };
    const QList<SubnetReach::Finding> all = SubnetReach::evaluate({a, b, taken}, survey, {}, probe);
    QCOMPARE(all.size(), 2);
    const int probesForAll = probes;
    probes = 0;
    const QList<SubnetReach::Finding> one =
        SubnetReach::evaluate({a, b, taken}, survey, {}, probe, QStringLiteral("02:50:4D:00:00:0B"));
    QCOMPARE(one.size(), 1);
    QCOMPARE(one.first().device.mac, b.mac);
    QVERIFY(probes > 0 && probes < probesForAll);
    QCOMPARE(one.first().readdressed.ip, QStringLiteral("192.0.2.3"));
    QCOMPARE(one.first().readdressed.gateway, QStringLiteral("192.0.2.254"));
    // The camera's own address is not the adapter's: .254 is b's, so .253.
    QCOMPARE(QHostAddress(one.first().temporaryAddress).toString(), QStringLiteral("203.0.113.253"));
    QVERIFY(SubnetReach::evaluate({a, taken}, survey, {}, probe, QStringLiteral("02:50:4d:00:00:0c")).isEmpty());
}

void TestNetcheckRules::firewallPortsFollowTheSources()
{
    const auto bit = [](DeviceRecord::SearchType type) { return 1 << type; };
    QCOMPARE(NetworkDoctor::portsForSources(bit(DeviceRecord::BroadcastSearch)), QList<quint16>{8000});
    QCOMPARE(NetworkDoctor::portsForSources(0), QList<quint16>{8000});
    QCOMPARE(NetworkDoctor::portsForSources(bit(DeviceRecord::DocumentCamera)), QList<quint16>{1900});
    QCOMPARE(NetworkDoctor::portsForSources(bit(DeviceRecord::BroadcastSearch) | bit(DeviceRecord::ControlBox)),
             QList<quint16>({8000, 1988, 1688}));
    QCOMPARE(NetworkDoctor::portsForSources(bit(DeviceRecord::Onvif) | bit(DeviceRecord::DocumentCamera)),
             QList<quint16>({1900, 3702}));
}

QTEST_GUILESS_MAIN(TestNetcheckRules)
#include "tst_netcheckrules.moc"
