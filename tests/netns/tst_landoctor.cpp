// The network checks on a test LAN broken on purpose, one fault at a time:
// each is named with its fix, and once the fix is applied the cameras are
// found. Two adapters: lan0 192.0.2.1/24 and lan1 198.51.100.1/24.
#include "adaptersurvey.h"
#include "camsimprocess.h"
#include "checkreport.h"
#include "firewallcheck.h"
#include "networkdoctor.h"
#include "portholdercheck.h"
#include "subnetreach.h"
#include "temporaryaddress.h"
#include "testlan.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>


namespace {

quint32 ip(const char *text)
{
    return QHostAddress(QLatin1String(text)).toIPv4Address();
}

bool run(const QString &program, const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A fix as the check prints it, run as root already is.
bool runFix(const QString &fix)
{
    QStringList words = fix.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.value(0) == QLatin1String("sudo"))
        words.removeFirst();
    return !words.isEmpty() && run(words.first(), words.mid(1));
}

const CheckResult *find(const QList<CheckResult> &results, const QString &check, const QString &subject,
                        CheckResult::Status status)
{
    for (const CheckResult &r : results) {
        if (r.check == check && (subject.isEmpty() || r.subject == subject) && r.status == status)
            return &r;
    }
    return nullptr;
}

const DeviceRecord *findMac(const QList<DeviceRecord> &list, const QString &mac)
{
    for (const DeviceRecord &d : list) {
        if (d.mac == mac)
            return &d;
    }
    return nullptr;
}

} // namespace

class TestLanDoctor : public QObject
{
    Q_OBJECT

private:
    CamsimProcess *camsim = nullptr;
    QList<CheckResult> results;
    QList<DeviceRecord> devices;
    QList<SubnetReach::Finding> findings;
    QList<AddressConflicts::Conflict> conflicts;

    bool startCameras(const QStringList &specs)
    {
        if (camsim)
            camsim->stop();
        delete camsim;
        camsim = new CamsimProcess(this);
        QStringList args;
        for (const QString &spec : specs)
            args << QStringLiteral("--camera") << spec;
        if (!camsim->start(0, args)) {
            qWarning("%s", qPrintable(camsim->errorText()));
            return false;
        }
        return true;
    }

    // One doctor run, as `pathmere-cli doctor` makes it.
    bool doctor(bool probeConflicts = false)
    {
        NetworkDoctor doctor;
        QSignalSpy finished(&doctor, &NetworkDoctor::finished);
        NetworkDoctor::Options options;
        options.listenMs = 1500;
        options.probeConflicts = probeConflicts;
        doctor.start(options);
        if (!finished.wait(60000))
            return false;
        results = doctor.results();
        devices = doctor.devices();
        findings = doctor.subnetFindings();
        conflicts = doctor.conflicts();
        return true;
    }

    QString report() const { return CheckReport::text(results, true); }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        // The host's defaults come along into a new namespace: start from
        // filtering off and no firewall, whatever this machine has.
        QVERIFY(TestLan::setRpFilter(QStringLiteral("all"), 0));
        for (const char *adapter : {"lan0", "lan1", "default"})
            QVERIFY(TestLan::setRpFilter(QLatin1String(adapter), 0));
        run(QStringLiteral("nft"), {QStringLiteral("flush"), QStringLiteral("ruleset")});
    }

    void cleanupTestCase()
    {
        if (camsim)
            camsim->stop();
    }

    void firewallDropNamedAndFixed()
    {
        QVERIFY(startCameras({QStringLiteral("mac=02:50:4d:00:0d:01,ip=192.0.2.40")}));
        QVERIFY(run(QStringLiteral("nft"), {QStringLiteral("-f"), QStringLiteral("-")},
                    "table inet pmtest {\n chain input {\n  type filter hook input priority 0; policy accept;\n"
                    "  ct state established,related accept\n  udp dport 8000 drop\n }\n}\n"));
        QVERIFY(doctor());
        const CheckResult *dropped = find(results, QStringLiteral("firewall"), QStringLiteral("udp 8000"),
                                          CheckResult::Status::Problem);
        QVERIFY2(dropped, qPrintable(report()));
        QVERIFY2(dropped->sentence.contains(QLatin1String("drops incoming UDP port 8000 on lan0, lan1")), qPrintable(dropped->sentence));
        QCOMPARE(dropped->fix, QStringLiteral("sudo nft insert rule inet pmtest input udp dport 8000 accept"));
        QVERIFY(dropped->reasoning.join(QLatin1Char('\n')).contains(QLatin1String("not \"established\" for conntrack")));
        // What the rules say is what happened: nothing answered.
        QVERIFY2(!findMac(devices, QStringLiteral("02:50:4d:00:0d:01")), qPrintable(report()));
        QVERIFY2(find(results, QStringLiteral("live"), QString(), CheckResult::Status::Problem), qPrintable(report()));

        QVERIFY(runFix(dropped->fix));
        QVERIFY(doctor());
        QVERIFY2(find(results, QStringLiteral("firewall"), QStringLiteral("udp 8000"), CheckResult::Status::Ok), qPrintable(report()));
        QVERIFY2(findMac(devices, QStringLiteral("02:50:4d:00:0d:01")), qPrintable(report()));
        QVERIFY(run(QStringLiteral("nft"), {QStringLiteral("delete"), QStringLiteral("table"), QStringLiteral("inet"),
                                            QStringLiteral("pmtest")}));
    }

    void firewallUnreadableForAUser()
    {
        // nft as a user without the rights, as a desk user runs the check.
        FirewallReader::Snapshot snapshot;
        snapshot.nft = FirewallReader::run(QStringLiteral("setpriv"),
                                           {QStringLiteral("--reuid=4242"), QStringLiteral("--regid=4242"),
                                            QStringLiteral("--clear-groups"), QStringLiteral("nft"), QStringLiteral("-j"),
                                            QStringLiteral("list"), QStringLiteral("ruleset")});
        QVERIFY2(snapshot.nft.found && snapshot.nft.finished, snapshot.nft.err.constData());
        QVERIFY2(snapshot.nft.denied(), snapshot.nft.err.constData());
        const QList<CheckResult> results = FirewallCheck::evaluate(snapshot, {8000}, {{QStringLiteral("lan0"), ip("192.0.2.1")}});
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().status, CheckResult::Status::Warning);
        QVERIFY2(results.first().sentence.contains(QLatin1String("cannot be read without root (nft refused)")),
                 qPrintable(results.first().sentence));
        QCOMPARE(results.first().fix, QStringLiteral("sudo pathmere-cli doctor"));
    }

    void strictReversePathNamedThenLoose()
    {
        // A camera on lan0's wire but in another subnet; this computer's
        // default route leaves through lan1, so the way back to the camera
        // is not through lan0.
        QVERIFY(startCameras({QStringLiteral("mac=02:50:4d:00:0d:02,ip=203.0.113.5,gateway=203.0.113.254")}));
        QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("replace"), QStringLiteral("default"),
                                QStringLiteral("dev"), QStringLiteral("lan1")}));
        QVERIFY(TestLan::setRpFilter(QStringLiteral("all"), 1));
        QVERIFY(TestLan::setRpFilter(QStringLiteral("lan0"), 1));

        QVERIFY(doctor());
        const CheckResult *strict = find(results, QStringLiteral("rp_filter"), QStringLiteral("lan0"),
                                         CheckResult::Status::Warning);
        QVERIFY2(strict, qPrintable(report()));
        QCOMPARE(strict->fix, QStringLiteral("sudo sysctl -w net.ipv4.conf.lan0.rp_filter=2"));
        const CheckResult *counted = find(results, QStringLiteral("live"), QStringLiteral("lan0"), CheckResult::Status::Problem);
        QVERIFY2(counted && counted->sentence.contains(QLatin1String("reverse-path filter dropped")), qPrintable(report()));
        QCOMPARE(counted->fix, strict->fix);
        QVERIFY2(!findMac(devices, QStringLiteral("02:50:4d:00:0d:02")), qPrintable(report()));

        QVERIFY(runFix(strict->fix));
        // With probes this time, so the planned address is one nobody answers for.
        QVERIFY(doctor(true));
        QVERIFY2(find(results, QStringLiteral("rp_filter"), QStringLiteral("lan0"), CheckResult::Status::Ok), qPrintable(report()));
        const DeviceRecord *found = findMac(devices, QStringLiteral("02:50:4d:00:0d:02"));
        QVERIFY2(found, qPrintable(report()));
        // Found, and named for what it is: out of every adapter's subnet,
        // with both ways home on the adapter that heard it.
        QCOMPARE(findings.size(), 1);
        const SubnetReach::Finding &f = findings.first();
        QCOMPARE(f.device.mac, QStringLiteral("02:50:4d:00:0d:02"));
        QCOMPARE(f.adapter, QStringLiteral("lan0"));
        QVERIFY2(f.result.sentence.contains(SubnetReach::notReachableText()), qPrintable(f.result.sentence));
        // .1 is this computer, .2 the camera namespace's own address (it
        // answers the probe): .3 is the next free one.
        QCOMPARE(f.readdressed.ip, QStringLiteral("192.0.2.3"));
        QCOMPARE(f.result.alternativeFix, QStringLiteral("sudo ip addr add 203.0.113.253/24 dev lan0"));

        TestLan::runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("default")});
        TestLan::setRpFilter(QStringLiteral("all"), 0);
        TestLan::setRpFilter(QStringLiteral("lan0"), 0);
    }

    void portHolderNamed()
    {
        // Another program on the port, as a second search tool would be.
        QProcess holder;
        holder.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import socket,sys,time\n"
                                     "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                                     "s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1)\n"
                                     "s.bind(('0.0.0.0',8000))\nprint('bound',flush=True)\ntime.sleep(60)\n")});
        QVERIFY(holder.waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([&] { return holder.readAllStandardOutput().contains("bound") || holder.state() == QProcess::NotRunning; }, 10000));
        const qint64 pid = holder.processId();
        const QList<CheckResult> port = PortHolderCheck::evaluate(PortHolderCheck::read(8000), QCoreApplication::applicationPid());
        holder.kill();
        holder.waitForFinished(5000);
        QCOMPARE(port.size(), 1);
        QCOMPARE(port.first().status, CheckResult::Status::Problem);
        QVERIFY2(port.first().sentence.contains(QStringLiteral("held by python3 (pid %1)").arg(pid)),
                 qPrintable(port.first().sentence));
        QCOMPARE(port.first().fix, QStringLiteral("kill %1").arg(pid));
        // Gone again: nothing holds it.
        QCOMPARE(PortHolderCheck::evaluate(PortHolderCheck::read(8000), QCoreApplication::applicationPid()).first().status,
                 CheckResult::Status::Ok);
    }

    void temporaryAddressAddedAndRemoved()
    {
        QVERIFY(startCameras({QStringLiteral("mac=02:50:4d:00:0d:03,ip=203.0.113.5")}));
        DeviceRecord camera;
        camera.mac = QStringLiteral("02:50:4d:00:0d:03");
        camera.ip = QStringLiteral("203.0.113.5");
        QVERIFY(!SubnetReach::reachable(camera, AdapterSurvey::read()));
        {
            TemporaryAddress temporary;
            QString error;
            QVERIFY2(temporary.add(QStringLiteral("lan0"), ip("203.0.113.253"), 24, &error), qPrintable(error));
            QVERIFY(TestLan::hasAddress(QStringLiteral("lan0"), QStringLiteral("203.0.113.253")));
            QVERIFY(SubnetReach::reachable(camera, AdapterSurvey::read()));
            // An address the adapter has already is not taken, and so never removed.
            TemporaryAddress again;
            QVERIFY(!again.add(QStringLiteral("lan0"), ip("192.0.2.1"), 24, &error));
            QVERIFY(error.contains(QLatin1String("already")));
        }
        QVERIFY(!TestLan::hasAddress(QStringLiteral("lan0"), QStringLiteral("203.0.113.253")));
        QVERIFY(TestLan::hasAddress(QStringLiteral("lan0"), QStringLiteral("192.0.2.1")));

        // A process ended by SIGTERM while it holds one: removed all the same.
        QProcess holder;
        holder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/temporaryaddressholder"),
                     {QStringLiteral("lan0"), QStringLiteral("203.0.113.252"), QStringLiteral("24")});
        QVERIFY(holder.waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));
        QVERIFY(TestLan::hasAddress(QStringLiteral("lan0"), QStringLiteral("203.0.113.252")));
        holder.terminate();
        QVERIFY(holder.waitForFinished(5000));
        // Ended by the signal itself, after the address went.
        QCOMPARE(holder.exitStatus(), QProcess::CrashExit);
        QVERIFY(!TestLan::hasAddress(QStringLiteral("lan0"), QStringLiteral("203.0.113.252")));
    }

    void conflictsFlagged()
    {
        // The camera namespace's own Ethernet address answers ARP for every
        // address camsim owns there: a camera reporting that MAC is itself,
        // one reporting another MAC has a second host on its address.
        QString link;
        QVERIFY(TestLan::runIp({QStringLiteral("-n"), TestLan::cameraNamespaces().first(), QStringLiteral("-o"),
                                QStringLiteral("link"), QStringLiteral("show"), TestLan::cameraInterface()}, &link));
        const QString wireMac = link.section(QLatin1String("link/ether "), 1).section(QLatin1Char(' '), 0, 0);
        QCOMPARE(wireMac.size(), 17);
        QVERIFY(startCameras({QStringLiteral("mac=%1,ip=192.0.2.50").arg(wireMac),
                              QStringLiteral("mac=02:50:4d:00:0d:51,ip=192.0.2.51"),
                              QStringLiteral("mac=02:50:4d:00:0d:90,ip=192.0.2.90"),
                              QStringLiteral("mac=02:50:4d:00:0d:91,ip=192.0.2.90")}));
        QVERIFY(doctor(true));
        QVERIFY2(devices.size() >= 4, qPrintable(report()));
        const AddressConflicts::Conflict *same = nullptr;
        const AddressConflicts::Conflict *probed = nullptr;
        for (const AddressConflicts::Conflict &c : qAsConst(conflicts)) {
            if (c.ip == QLatin1String("192.0.2.90"))
                same = &c;
            if (c.ip == QLatin1String("192.0.2.51"))
                probed = &c;
            QVERIFY2(c.ip != QLatin1String("192.0.2.50"), qPrintable(report()));
        }
        QVERIFY2(same && !same->fromProbe, qPrintable(report()));
        QCOMPARE(QSet<QString>(same->macs.cbegin(), same->macs.cend()),
                 QSet<QString>({QStringLiteral("02:50:4d:00:0d:90"), QStringLiteral("02:50:4d:00:0d:91")}));
        QVERIFY2(probed && probed->fromProbe, qPrintable(report()));
        QCOMPARE(probed->macs, QStringList({QStringLiteral("02:50:4d:00:0d:51"), wireMac}));
        const CheckResult *flag = find(results, QStringLiteral("conflict"), QStringLiteral("192.0.2.90"), CheckResult::Status::Problem);
        QVERIFY2(flag && flag->sentence.startsWith(QLatin1String("Conflict:")), qPrintable(report()));
    }
};

QTEST_GUILESS_MAIN(TestLanDoctor)
#include "tst_landoctor.moc"
