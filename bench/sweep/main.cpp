// bench_sweep: a routed site behind a router namespace (netns.sh --routed),
// 1 000 simulated cameras scattered over 198.18.0.0/16 (a quarter of them
// answering by broadcast to their own link, which the site's router relays
// as a UDP helper would) and 50 more in 198.19.1.0/24. In one run:
//   - the sweep of the /16 at the default rate, --repeat times: share of the
//     cameras found (worst run), wall time (worst), CPU per address probed;
//   - a bare sendmmsg loop sending the same datagrams at the same rate: the
//     CPU baseline;
//   - the sweep of the /24, --repeat times: wall time after the last answer;
//   - nmap -sn -n over the same /16 at its default timing, from the
//     program's side (wall time, hosts up), and arp-scan over the /24 from
//     the router, which shares the cameras' link (arp-scan cannot cross a
//     router).
// Addresses: 198.18.0.0/15 is the range set aside for benchmarking networks
// (RFC 2544); the documentation ranges hold no /16.
//
//   bench_sweep [--repeat 3] [--no-peers]
//
// Started outside a test LAN it re-runs itself through tests/netns/netns.sh;
// all traffic stays inside those namespaces.
#include "devicerecord.h"
#include "sweepplan.h"
#include "sweeptargets.h"
#include "testlan.h"
#include "utilityprotocol.h"
#include "utilitysweep.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int SiteCameras = 1000;
constexpr int SmallCameras = 50;
const char *const SiteTarget = "198.18.0.0/16";
const char *const SmallTarget = "198.19.1.0/24";
const char *const ProgramUplink = "203.0.113.1";

double processCpuUs()
{
    timespec ts = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

struct Camera
{
    QString mac;
    QString ip;
    bool broadcast = false;
};

// count cameras on distinct addresses of base's /16, blocks firstBlock..255
// (or one /24 when blocks is 1), every fourth answering by broadcast.
QList<Camera> scatter(int count, quint32 base, int firstBlock, int blocks, quint32 seed, int macGroup)
{
    QList<Camera> cameras;
    QSet<quint32> taken;
    quint32 state = seed;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    while (cameras.size() < count) {
        const quint32 block = quint32(firstBlock) + next() % quint32(blocks);
        const quint32 host = 2 + next() % 252;   // .2 to .253: not the network, the gateway or broadcast
        const quint32 address = base + (block << 8) + host;
        if (taken.contains(address))
            continue;
        taken.insert(address);
        Camera camera;
        const int n = cameras.size();
        camera.mac = QStringLiteral("02:50:%1:00:%2:%3").arg(macGroup, 2, 16, QLatin1Char('0'))
                         .arg(n >> 8, 2, 16, QLatin1Char('0')).arg(n & 0xff, 2, 16, QLatin1Char('0'));
        camera.ip = QHostAddress(address).toString();
        camera.broadcast = n % 4 == 3;
        cameras.append(camera);
    }
    return cameras;
}

bool writeConfig(const QString &path, const QList<Camera> &cameras)
{
    QJsonArray list;
    for (const Camera &camera : cameras) {
        list.append(QJsonObject{{QStringLiteral("mac"), camera.mac},
                                {QStringLiteral("ip"), camera.ip},
                                {QStringLiteral("mask"), QStringLiteral("255.255.255.0")},
                                {QStringLiteral("model"), QStringLiteral("SWEEP-CAM")},
                                {QStringLiteral("name"), QStringLiteral("Site ") + camera.mac},
                                {QStringLiteral("send"), camera.broadcast ? QStringLiteral("broadcast")
                                                                          : QStringLiteral("unicast")}});
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly)
           && file.write(QJsonDocument(QJsonObject{{QStringLiteral("quiet"), true},
                                                   {QStringLiteral("cameras"), list}}).toJson()) > 0;
}

Ipv4RangeSet targetSet(const char *text)
{
    Ipv4RangeSet set;
    QString error;
    if (!SweepTargets::parseEntry(QString::fromLatin1(text), &set, &error))
        qFatal("%s", qPrintable(error));
    return set;
}

struct SweepRun
{
    int found = 0;
    double wallS = 0;
    double lastAnswerS = 0;
    double cpuUs = 0;
    quint64 probes = 0;
    QString failure;
};

SweepRun runSweep(const Ipv4RangeSet &targets, const QSet<QString> &expected)
{
    SweepRun run;
    UtilitySweep sweep;
    sweep.setTargets(targets);
    QSet<QString> seen;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&sweep, &UtilitySweep::deviceFound, &loop, [&](const DeviceRecord &record) {
        if (expected.contains(record.mac) && !seen.contains(record.mac)) {
            seen.insert(record.mac);
            run.lastAnswerS = double(clock.nsecsElapsed()) / 1e9;
        }
    });
    QObject::connect(&sweep, &UtilitySweep::failed, &loop, [&](const QString &message) { run.failure = message; });
    QObject::connect(&sweep, &UtilitySweep::finished, &loop, &QEventLoop::quit);
    const double cpuStart = processCpuUs();
    clock.start();
    sweep.start();
    loop.exec();
    run.wallS = double(clock.nsecsElapsed()) / 1e9;
    run.cpuUs = processCpuUs() - cpuStart;
    run.found = seen.size();
    run.probes = sweep.progress().probesSent();
    return run;
}

// The least a program can do to send the same datagrams at the same pace:
// one socket, sendmmsg in batches of the same size every tick, nothing read.
double bareSendmmsgCpuUs(const Ipv4RangeSet &targets, int rate, quint64 *probes)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const int sendBuffer = 4 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(UtilityProtocol::Port);
    inet_pton(AF_INET, ProgramUplink, &local.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "bare sendmmsg loop: %s\n", std::strerror(errno));
        return 0;
    }
    const QByteArray queries[2] = {UtilityProtocol::queryText(UtilityProtocol::Query::A),
                                   UtilityProtocol::queryText(UtilityProtocol::Query::B)};
    constexpr int Batch = 64;
    mmsghdr headers[Batch] = {};
    iovec vectors[Batch] = {};
    sockaddr_in addresses[Batch] = {};
    for (int i = 0; i < Batch; ++i) {
        addresses[i].sin_family = AF_INET;
        addresses[i].sin_port = htons(UtilityProtocol::Port);
        vectors[i].iov_base = const_cast<char *>(queries[i % 2].constData());
        vectors[i].iov_len = size_t(queries[i % 2].size());
        headers[i].msg_hdr.msg_name = &addresses[i];
        headers[i].msg_hdr.msg_namelen = sizeof addresses[i];
        headers[i].msg_hdr.msg_iov = &vectors[i];
        headers[i].msg_hdr.msg_iovlen = 1;
    }
    const int perTick = std::max(2, rate * UtilitySweep::TickMs / 1000) & ~1;
    const double start = processCpuUs();
    timespec due = {};
    clock_gettime(CLOCK_MONOTONIC, &due);
    *probes = 0;
    for (int pass = 0; pass < SweepPlan::Passes; ++pass) {
        Ipv4RangeSet::Cursor cursor(targets);
        while (!cursor.atEnd()) {
            int queued = 0;
            for (int inTick = 0; inTick < perTick && !cursor.atEnd(); inTick += 2) {
                addresses[queued].sin_addr.s_addr = htonl(cursor.address());
                addresses[queued + 1].sin_addr.s_addr = htonl(cursor.address());
                queued += 2;
                ++*probes;
                cursor.next();
                if (queued == Batch || cursor.atEnd() || inTick + 2 >= perTick) {
                    int sent = 0;
                    while (sent < queued) {
                        const int n = ::sendmmsg(fd, headers + sent, unsigned(queued - sent), 0);
                        if (n <= 0)
                            break;
                        sent += n;
                    }
                    queued = 0;
                }
            }
            due.tv_nsec += long(UtilitySweep::TickMs) * 1000000L;
            if (due.tv_nsec >= 1000000000L) {
                due.tv_nsec -= 1000000000L;
                ++due.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
        }
    }
    const double cpu = processCpuUs() - start;
    ::close(fd);
    return cpu;
}

struct Peer
{
    bool ran = false;
    double wallS = 0;
    int hosts = 0;
    QString note;
};

Peer runTool(const QString &program, const QStringList &arguments, const QRegularExpression &hostsPattern)
{
    Peer peer;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(30 * 60 * 1000)) {
        peer.note = QStringLiteral("%1 did not run: %2").arg(program, process.errorString());
        process.kill();
        process.waitForFinished(5000);
        return peer;
    }
    peer.wallS = double(clock.nsecsElapsed()) / 1e9;
    const QString output = QString::fromLocal8Bit(process.readAll());
    const QRegularExpressionMatch match = hostsPattern.match(output);
    if (process.exitCode() != 0 || !match.hasMatch()) {
        peer.note = QStringLiteral("%1 failed: %2").arg(program, output.right(300).trimmed());
        return peer;
    }
    peer.hosts = match.captured(1).toInt();
    peer.ran = true;
    return peer;
}

void print(const char *name, double value)
{
    std::printf("%s: %.4g\n", name, value);
}

} // namespace

int main(int argc, char *argv[])
{
    if (TestLan::enterOwnLan(argc, argv, "bench_sweep", true) != 0)
        return 1;
    QCoreApplication app(argc, argv);
    const QString why = TestLan::unavailableReason();
    if (!why.isEmpty() || TestLan::siteSide() < 0) {
        std::printf("skipped: %s\n", why.isEmpty() ? "no routed site in this test LAN" : qPrintable(why));
        return 0;
    }
    int repeat = 3;
    bool peers = true;
    const QStringList arguments = app.arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--repeat") && i + 1 < arguments.size())
            repeat = qMax(1, arguments.at(++i).toInt());
        else if (arguments.at(i) == QLatin1String("--no-peers"))
            peers = false;
    }

    const QList<Camera> site = scatter(SiteCameras, 0xc6120000u, 1, 255, 2544, 0x5e);
    const QList<Camera> small = scatter(SmallCameras, 0xc6130000u, 1, 1, 24, 0x5f);
    QSet<QString> siteMacs;
    QSet<QString> smallMacs;
    for (const Camera &camera : site)
        siteMacs.insert(camera.mac);
    for (const Camera &camera : small)
        smallMacs.insert(camera.mac);

    QTemporaryDir scratch;
    const QString config = scratch.filePath(QStringLiteral("site.json"));
    if (!scratch.isValid() || !writeConfig(config, site + small)) {
        std::fprintf(stderr, "bench_sweep: cannot write the camera configuration\n");
        return 1;
    }
    // camsim's events go to a file: parsing them here would be CPU of ours
    // that the bare loop never pays.
    QProcess cameras;
    const QString events = scratch.filePath(QStringLiteral("camsim.jsonl"));
    cameras.setStandardOutputFile(events);
    cameras.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                         TestLan::cameraNamespaces().at(TestLan::siteSide()), TestLan::camsimPath(),
                                         QStringLiteral("--interface"), TestLan::cameraInterface(),
                                         QStringLiteral("--config"), config});
    const auto camsimSaid = [&events](const char *event) {
        QFile file(events);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(QByteArray("\"event\":\"") + event + '"');
    };
    if (!QTest::qWaitFor([&] { return camsimSaid("ready") || camsimSaid("error") || cameras.state() == QProcess::NotRunning; },
                         120000)
        || !camsimSaid("ready")) {
        std::fprintf(stderr, "bench_sweep: camsim did not come up: %s\n", cameras.readAllStandardError().constData());
        return 1;
    }
    QProcess relay;
    relay.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), TestLan::routerNamespace(),
                                       QStringLiteral("python3"), QStringLiteral(PATHMERE_BENCH_RELAY_SCRIPT),
                                       QString::fromLatin1(ProgramUplink)});
    if (!relay.waitForReadyRead(10000) || !relay.readAll().contains("ready")) {
        std::fprintf(stderr, "bench_sweep: the broadcast relay did not start\n");
        return 1;
    }

    const Ipv4RangeSet siteTargets = targetSet(SiteTarget);
    const Ipv4RangeSet smallTargets = targetSet(SmallTarget);
    const int rate = SweepPlan::DefaultRatePps;
    std::printf("site: %d cameras in %s, %d in %s, a quarter answering by broadcast; rate %d datagrams/s, "
                "reply window %d ms\n", SiteCameras, SiteTarget, SmallCameras, SmallTarget, rate,
                SweepPlan::DefaultReplyWindowMs);

    double worstShare = 1.0;
    double worstWall = 0;
    double worstCpuPerProbe = 0;
    double worstAfterLast = 0;
    double worstSmallWall = 0;
    double worstSmallShare = 1.0;
    double bestWall = 1e9;
    double bestSmallWall = 1e9;
    for (int r = 1; r <= repeat; ++r) {
        const SweepRun big = runSweep(siteTargets, siteMacs);
        if (!big.failure.isEmpty())
            std::printf("sweep /16 run %d failed: %s\n", r, qPrintable(big.failure));
        const double share = double(big.found) / SiteCameras;
        const double cpuPerProbe = big.probes ? big.cpuUs / double(big.probes) : 0;
        std::printf("run %d: /16 found %d of %d in %.2f s (last answer at %.2f s), %.3f us CPU per probe\n", r,
                    big.found, SiteCameras, big.wallS, big.lastAnswerS, cpuPerProbe);
        worstShare = std::min(worstShare, share);
        worstWall = std::max(worstWall, big.wallS);
        bestWall = std::min(bestWall, big.wallS);
        worstCpuPerProbe = std::max(worstCpuPerProbe, cpuPerProbe);

        const SweepRun little = runSweep(smallTargets, smallMacs);
        if (!little.failure.isEmpty())
            std::printf("sweep /24 run %d failed: %s\n", r, qPrintable(little.failure));
        std::printf("run %d: /24 found %d of %d in %.3f s (last answer at %.3f s)\n", r, little.found, SmallCameras,
                    little.wallS, little.lastAnswerS);
        worstAfterLast = std::max(worstAfterLast, little.wallS - little.lastAnswerS);
        worstSmallWall = std::max(worstSmallWall, little.wallS);
        bestSmallWall = std::min(bestSmallWall, little.wallS);
        worstSmallShare = std::min(worstSmallShare, double(little.found) / SmallCameras);
    }

    quint64 bareProbes = 0;
    const double bareCpu = bareSendmmsgCpuUs(siteTargets, rate, &bareProbes);
    const double bareCpuPerProbe = bareProbes ? bareCpu / double(bareProbes) : 0;
    std::printf("bare sendmmsg loop: %llu probes, %.3f us CPU per probe\n", bareProbes, bareCpuPerProbe);

    print("sweep.n16.found_share_worst", worstShare);
    print("sweep.n16.wall_s_worst", worstWall);
    print("sweep.n16.cpu_us_per_probe_worst", worstCpuPerProbe);
    print("sweep.n16.bare_sendmmsg_cpu_us_per_probe", bareCpuPerProbe);
    if (bareCpuPerProbe > 0)
        print("sweep.n16.cpu_ratio_vs_bare_sendmmsg", worstCpuPerProbe / bareCpuPerProbe);
    print("sweep.n24.found_share_worst", worstSmallShare);
    print("sweep.n24.wall_s_worst", worstSmallWall);
    print("sweep.n24.wall_after_last_answer_s_worst", worstAfterLast);

    if (peers) {
        // nmap's ping sweep from the program's side, over the same /16.
        const Peer nmap = runTool(QStringLiteral("nmap"), {QStringLiteral("-sn"), QStringLiteral("-n"),
                                                           QString::fromLatin1(SiteTarget)},
                                  QRegularExpression(QStringLiteral("\\((\\d+) hosts? up\\)")));
        if (nmap.ran) {
            std::printf("nmap -sn -n %s: %d hosts up in %.1f s\n", SiteTarget, nmap.hosts, nmap.wallS);
            print("sweep.n16.nmap_wall_s", nmap.wallS);
            print("sweep.n16.nmap_hosts_up", nmap.hosts);
            print("sweep.n16.wall_ratio_vs_nmap", bestWall / nmap.wallS);
            print("sweep.n16.wall_ratio_vs_nmap_worst", worstWall / nmap.wallS);
        } else {
            std::printf("nmap not measured: %s\n", qPrintable(nmap.note));
        }
        // arp-scan cannot cross the router: it runs on the router, which
        // shares the cameras' link, over the /24.
        const Peer arpScan = runTool(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                                            TestLan::routerNamespace(), QStringLiteral("arp-scan"),
                                                            QStringLiteral("--interface=site0"),
                                                            QString::fromLatin1(SmallTarget)},
                                     QRegularExpression(QStringLiteral("(\\d+) responded")));
        if (arpScan.ran) {
            std::printf("arp-scan %s from the router: %d responded in %.2f s\n", SmallTarget, arpScan.hosts,
                        arpScan.wallS);
            print("sweep.n24.arpscan_wall_s", arpScan.wallS);
            print("sweep.n24.arpscan_hosts", arpScan.hosts);
            print("sweep.n24.wall_ratio_vs_arpscan", bestSmallWall / arpScan.wallS);
            print("sweep.n24.wall_ratio_vs_arpscan_worst", worstSmallWall / arpScan.wallS);
        } else {
            std::printf("arp-scan not measured: %s\n", qPrintable(arpScan.note));
        }
    }
    relay.kill();
    relay.waitForFinished(3000);
    cameras.terminate();
    cameras.waitForFinished(30000);
    return 0;
}
