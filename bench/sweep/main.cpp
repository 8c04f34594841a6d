// bench_sweep: a routed site behind a router namespace (netns.sh --routed).
// The documentation ranges hold no /16: the site has 198.51.100.0/24 and
// 203.0.113.128/25 routed to it (380 addresses), with a camera on all but four
// of them (a quarter answering by broadcast to their own link, which the
// site's router relays as a UDP helper would). In one run:
//   - the sweep of the site at the default rate, --repeat times: share of the
//     cameras found (worst run), wall time, the addresses per second of
//     sending actually held; the wall time of a /16 is computed from that
//     measured rate, not measured;
//   - after each of those sweeps, a bare sendmmsg loop sending the same
//     datagrams at the same rate (the CPU baseline), and the same loop also
//     reading every reply with recvmmsg (what the answers alone cost): each
//     sweep's ratios are taken against the loops run right after it, and a
//     run reports the median of those pairs;
//   - nmap -sn -n over the same targets at its default timing, from the
//     program's side (wall time, hosts up);
//   - the same site with 6 cameras, as sparse as 1 000 cameras in a /16:
//     CPU per address probed against the bare loop, --repeat pairs. CPU is
//     counted from the first tick's datagrams to the last datagram, on both
//     sides: what a sweep pays once (routes, sockets, the reply window after
//     the last datagram) is a few milliseconds that a /16's 131 068 probes
//     make nothing of, but that would outweigh the 760 probes of this site;
//     the whole sweep's ratio is printed beside it;
//   - then the site with 50 cameras in 198.51.100.0/24 alone: the sweep of
//     that /24, --repeat times (wall time after the last answer), and
//     arp-scan over it from the router, which shares the cameras' link
//     (arp-scan cannot cross a router).
//
//   bench_sweep [--repeat 3] [--no-peers]
//
// Started outside a test LAN it re-runs itself through tests/netns/netns.sh;
// all traffic stays inside those namespaces.
#include "benchoptions.h"
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
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int SiteCameras = 376;
constexpr int SmallCameras = 50;
// As many of the site's 380 addresses as 1 000 cameras are of a /16's.
constexpr int SparseCameras = 6;
const char *const SiteTargets[] = {"198.51.100.0/24", "203.0.113.128/25"};
const char *const SmallTarget = "198.51.100.0/24";
constexpr quint64 SixteenAddresses = 65534;   // what a /16 target holds to sweep
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

// Host addresses first..last of base's /24 (base being the network).
QVector<quint32> hosts(quint32 base, int first, int last)
{
    QVector<quint32> list;
    for (int host = first; host <= last; ++host)
        list.append(base + quint32(host));
    return list;
}

// count cameras on distinct addresses of pool (all of it when count is its
// size), every fourth answering by broadcast.
QList<Camera> scatter(int count, const QVector<quint32> &pool, quint32 seed, int macGroup)
{
    QList<Camera> cameras;
    QSet<quint32> taken;
    quint32 state = seed;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int i = 0; cameras.size() < count && cameras.size() < pool.size(); ++i) {
        const quint32 address = count >= pool.size() ? pool.at(i) : pool.at(int(next() % quint32(pool.size())));
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
                                {QStringLiteral("mask"), camera.ip.startsWith(QLatin1String("203.0.113."))
                                                             ? QStringLiteral("255.255.255.128")
                                                             : QStringLiteral("255.255.255.0")},
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

Ipv4RangeSet targetSet(const QStringList &entries)
{
    Ipv4RangeSet set;
    for (const QString &entry : entries) {
        QString error;
        if (!SweepTargets::parseEntry(entry, &set, &error))
            qFatal("%s", qPrintable(error));
    }
    return set;
}

struct SweepRun
{
    int found = 0;
    double wallS = 0;
    double lastAnswerS = 0;
    double cpuUs = 0;
    quint64 probes = 0;
    quint64 datagrams = 0;
    double sendingS = 0;
    // From the first tick's datagrams to the last datagram: the CPU a
    // sweep spends per address at any size, without what each sweep pays
    // once (routes, sockets, the reply window after the last datagram).
    double steadyCpuUs = 0;
    quint64 steadyProbes = 0;
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
    // The first report comes from within start(), once the first tick's
    // datagrams are out; one comes when the last has gone.
    double steadyFrom = -1;
    quint64 datagramsFrom = 0;
    QObject::connect(&sweep, &UtilitySweep::progressChanged, &loop, [&](const SweepProgress &progress) {
        if (steadyFrom < 0) {
            steadyFrom = processCpuUs();
            datagramsFrom = progress.datagramsSent;
        } else if (progress.sendingEndedMs >= 0 && run.steadyProbes == 0) {
            run.steadyCpuUs = processCpuUs() - steadyFrom;
            run.steadyProbes = (progress.datagramsSent - datagramsFrom) / SweepPlan::QueriesPerAddress;
        }
    });
    QObject::connect(&sweep, &UtilitySweep::finished, &loop, &QEventLoop::quit);
    const double cpuStart = processCpuUs();
    clock.start();
    sweep.start();
    loop.exec();
    run.wallS = double(clock.nsecsElapsed()) / 1e9;
    run.cpuUs = processCpuUs() - cpuStart;
    run.found = seen.size();
    run.probes = sweep.progress().probesSent();
    run.datagrams = sweep.progress().datagramsSent;
    run.sendingS = double(sweep.progress().sendingEndedMs) / 1e3;
    return run;
}

// Reads what fd holds now with recvmmsg in batches; returns the datagrams read.
int drainReplies(int fd)
{
    constexpr int Batch = 64;
    constexpr int Room = 2048;   // replies are a few hundred bytes
    static char data[Batch][Room];
    mmsghdr headers[Batch] = {};
    iovec vectors[Batch] = {};
    sockaddr_in senders[Batch] = {};
    int total = 0;
    for (;;) {
        for (int i = 0; i < Batch; ++i) {
            vectors[i].iov_base = data[i];
            vectors[i].iov_len = Room;
            headers[i].msg_hdr.msg_name = &senders[i];
            headers[i].msg_hdr.msg_namelen = sizeof senders[i];
            headers[i].msg_hdr.msg_iov = &vectors[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = ::recvmmsg(fd, headers, Batch, MSG_DONTWAIT, nullptr);
        if (n <= 0)
            return total;
        total += n;
        if (n < Batch)
            return total;
    }
}

struct BareRun
{
    double cpuUs = 0;
    quint64 probes = 0;
    quint64 replies = 0;
    // As SweepRun's: after the first tick's datagrams, to the last one.
    double steadyCpuUs = 0;
    quint64 steadyProbes = 0;
};

// The least a program can do to send the same datagrams at the same pace:
// one socket, sendmmsg in batches of the same size every tick. With
// receiving, it also reads every reply with recvmmsg, on each tick before
// sending and then as they come until the reply window is over, as the sweep
// does; replies are counted, not looked at.
BareRun bareSendmmsg(const Ipv4RangeSet &targets, int rate, bool receiving)
{
    BareRun run;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const int sendBuffer = 4 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    const int receiveBuffer = 8 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(UtilityProtocol::Port);
    inet_pton(AF_INET, ProgramUplink, &local.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "bare sendmmsg loop: %s\n", std::strerror(errno));
        return run;
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
    double steadyFrom = -1;
    quint64 probesFrom = 0;
    timespec due = {};
    clock_gettime(CLOCK_MONOTONIC, &due);
    for (int pass = 0; pass < SweepPlan::Passes; ++pass) {
        Ipv4RangeSet::Cursor cursor(targets);
        while (!cursor.atEnd()) {
            if (steadyFrom >= 0) {
                due.tv_nsec += long(UtilitySweep::TickMs) * 1000000L;
                if (due.tv_nsec >= 1000000000L) {
                    due.tv_nsec -= 1000000000L;
                    ++due.tv_sec;
                }
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
            }
            if (receiving)
                run.replies += quint64(drainReplies(fd));
            int queued = 0;
            for (int inTick = 0; inTick < perTick && !cursor.atEnd(); inTick += 2) {
                addresses[queued].sin_addr.s_addr = htonl(cursor.address());
                addresses[queued + 1].sin_addr.s_addr = htonl(cursor.address());
                queued += 2;
                ++run.probes;
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
            if (steadyFrom < 0) {
                steadyFrom = processCpuUs();
                probesFrom = run.probes;
            }
        }
    }
    run.steadyCpuUs = processCpuUs() - steadyFrom;
    run.steadyProbes = run.probes - probesFrom;
    if (receiving) {
        QElapsedTimer window;
        window.start();
        for (qint64 left = SweepPlan::DefaultReplyWindowMs; left > 0;
             left = SweepPlan::DefaultReplyWindowMs - window.elapsed()) {
            pollfd waiting = {fd, POLLIN, 0};
            if (::poll(&waiting, 1, int(left)) > 0)
                run.replies += quint64(drainReplies(fd));
        }
    }
    run.cpuUs = processCpuUs() - start;
    ::close(fd);
    return run;
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

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

double worst(const QVector<double> &values)
{
    return values.isEmpty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

void print(const char *name, double value)
{
    std::printf("%s: %.4g\n", name, value);
}

// camsim on the site's side with the cameras of config; its events go to a
// file (parsing them here would be CPU of ours that the bare loop never pays).
bool startCameras(QProcess *cameras, const QString &config, const QString &events)
{
    cameras->setStandardOutputFile(events);
    cameras->start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                          TestLan::cameraNamespaces().at(TestLan::siteSide()), TestLan::camsimPath(),
                                          QStringLiteral("--interface"), TestLan::cameraInterface(),
                                          QStringLiteral("--config"), config});
    const auto camsimSaid = [&events](const char *event) {
        QFile file(events);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(QByteArray("\"event\":\"") + event + '"');
    };
    if (!QTest::qWaitFor([&] { return camsimSaid("ready") || camsimSaid("error") || cameras->state() == QProcess::NotRunning; },
                         120000)
        || !camsimSaid("ready")) {
        std::fprintf(stderr, "bench_sweep: camsim did not come up: %s\n", cameras->readAllStandardError().constData());
        return false;
    }
    return true;
}

void stopCameras(QProcess *cameras)
{
    cameras->terminate();
    cameras->waitForFinished(30000);
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
    const BenchOptions options(argc, argv);
    const int repeat = options.number("--repeat", 3);
    const bool peers = !options.flag("--no-peers");

    // Every address of the site but the lowest and highest of each subnet:
    // .2-.253 of 198.51.100.0/24, .130-.253 of 203.0.113.128/25.
    const QList<Camera> site = scatter(SiteCameras, hosts(0xc6336400u, 2, 253) + hosts(0xcb007100u, 130, 253), 1, 0x5e);
    const QList<Camera> sparse = scatter(SparseCameras, hosts(0xc6336400u, 2, 253) + hosts(0xcb007100u, 130, 253), 7,
                                         0x60);
    const QList<Camera> small = scatter(SmallCameras, hosts(0xc6336400u, 2, 253), 24, 0x5f);
    QSet<QString> siteMacs;
    QSet<QString> sparseMacs;
    QSet<QString> smallMacs;
    for (const Camera &camera : site)
        siteMacs.insert(camera.mac);
    for (const Camera &camera : sparse)
        sparseMacs.insert(camera.mac);
    for (const Camera &camera : small)
        smallMacs.insert(camera.mac);

    QTemporaryDir scratch;
    const QString siteConfig = scratch.filePath(QStringLiteral("site.json"));
    const QString sparseConfig = scratch.filePath(QStringLiteral("sparse.json"));
    const QString smallConfig = scratch.filePath(QStringLiteral("small.json"));
    if (!scratch.isValid() || !writeConfig(siteConfig, site) || !writeConfig(sparseConfig, sparse)
        || !writeConfig(smallConfig, small)) {
        std::fprintf(stderr, "bench_sweep: cannot write the camera configuration\n");
        return 1;
    }
    QProcess cameras;
    if (!startCameras(&cameras, siteConfig, scratch.filePath(QStringLiteral("site.jsonl"))))
        return 1;
    QProcess relay;
    relay.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), TestLan::routerNamespace(),
                                       QStringLiteral("python3"), QStringLiteral(PATHMERE_BENCH_RELAY_SCRIPT),
                                       QString::fromLatin1(ProgramUplink)});
    if (!relay.waitForReadyRead(10000) || !relay.readAll().contains("ready")) {
        std::fprintf(stderr, "bench_sweep: the broadcast relay did not start\n");
        return 1;
    }

    QStringList siteTexts;
    for (const char *target : SiteTargets)
        siteTexts << QString::fromLatin1(target);
    const Ipv4RangeSet siteTargets = targetSet(siteTexts);
    const Ipv4RangeSet smallTargets = targetSet({QString::fromLatin1(SmallTarget)});
    const int rate = SweepPlan::DefaultRatePps;
    const double replyWindowS = SweepPlan::DefaultReplyWindowMs / 1e3;
    std::printf("site: %d cameras in %s (%llu addresses), a quarter answering by broadcast; then %d in %s; "
                "rate %d datagrams/s, reply window %d ms\n", int(site.size()), qPrintable(siteTexts.join(QLatin1String(", "))),
                static_cast<unsigned long long>(siteTargets.count()), SmallCameras, SmallTarget, rate,
                SweepPlan::DefaultReplyWindowMs);

    double worstShare = 1.0;
    double worstWall = 0;
    double bestWall = 1e9;
    double worstCpuPerProbe = 0;
    double slowestAddressRate = 1e12;
    double fastestAddressRate = 0;
    // Each sweep is paired with the bare loops run right after it, so that
    // the load of the moment weighs on both sides of its ratio. A run's
    // figure is the median of its pairs: one sweep is ten-odd milliseconds of
    // CPU, and a single late wake-up of the machine moves it by tenths.
    QVector<double> bareCpuPerProbes;
    QVector<double> readingCpuPerProbes;
    QVector<double> steadyRatios;
    QVector<double> wholeRatios;
    QVector<double> readingRatios;
    QVector<double> bareReadingRatios;
    const auto perProbe = [](double cpuUs, quint64 probes) { return probes ? cpuUs / double(probes) : 0.0; };
    for (int r = 1; r <= repeat; ++r) {
        const SweepRun run = runSweep(siteTargets, siteMacs);
        if (!run.failure.isEmpty())
            std::printf("sweep of the site, run %d, failed: %s\n", r, qPrintable(run.failure));
        const double share = double(run.found) / double(site.size());
        const double cpuPerProbe = perProbe(run.cpuUs, run.probes);
        const double steadyPerProbe = perProbe(run.steadyCpuUs, run.steadyProbes);
        // Addresses covered (both queries, both passes) per second of sending.
        const double addressRate = run.sendingS > 0 ? double(siteTargets.count()) / run.sendingS : 0;
        std::printf("run %d: found %d of %d in %.3f s (last answer at %.3f s); sending %.3f s: %.0f datagrams/s, "
                    "%.0f addresses/s; %.3f us CPU per probe while sending, %.3f us over the whole sweep\n", r,
                    run.found, int(site.size()), run.wallS, run.lastAnswerS, run.sendingS,
                    run.sendingS > 0 ? double(run.datagrams) / run.sendingS : 0, addressRate, steadyPerProbe,
                    cpuPerProbe);
        worstShare = std::min(worstShare, share);
        worstWall = std::max(worstWall, run.wallS);
        bestWall = std::min(bestWall, run.wallS);
        worstCpuPerProbe = std::max(worstCpuPerProbe, cpuPerProbe);
        slowestAddressRate = std::min(slowestAddressRate, addressRate);
        fastestAddressRate = std::max(fastestAddressRate, addressRate);

        const BareRun bare = bareSendmmsg(siteTargets, rate, false);
        // The same loop reading the same replies: what answers cost a program
        // that does nothing with them.
        const BareRun reading = bareSendmmsg(siteTargets, rate, true);
        const double bareSteady = perProbe(bare.steadyCpuUs, bare.steadyProbes);
        const double readingSteady = perProbe(reading.steadyCpuUs, reading.steadyProbes);
        std::printf("run %d: bare sendmmsg loop %.3f us CPU per probe while sending (%.3f in all); sendmmsg and "
                    "recvmmsg loop (%llu replies read) %.3f us (%.3f in all)\n", r, bareSteady,
                    perProbe(bare.cpuUs, bare.probes), static_cast<unsigned long long>(reading.replies),
                    readingSteady, perProbe(reading.cpuUs, reading.probes));
        if (bareSteady <= 0 || readingSteady <= 0 || steadyPerProbe <= 0)
            continue;
        bareCpuPerProbes.append(bareSteady);
        readingCpuPerProbes.append(readingSteady);
        steadyRatios.append(steadyPerProbe / bareSteady);
        wholeRatios.append(cpuPerProbe / perProbe(bare.cpuUs, bare.probes));
        readingRatios.append(steadyPerProbe / readingSteady);
        bareReadingRatios.append(readingSteady / bareSteady);
    }

    print("sweep.routed.found_share_worst", worstShare);
    print("sweep.routed.wall_s_worst", worstWall);
    print("sweep.routed.addresses_per_s_worst", slowestAddressRate);
    print("sweep.routed.addresses_per_s_best", fastestAddressRate);
    // Computed, not measured: no /16 is swept here.
    if (slowestAddressRate > 0) {
        print("sweep.n16.wall_s_computed_worst", double(SixteenAddresses) / slowestAddressRate + replyWindowS);
        print("sweep.n16.wall_s_computed_best", double(SixteenAddresses) / fastestAddressRate + replyWindowS);
    }
    print("sweep.routed.cpu_us_per_probe_worst", worstCpuPerProbe);
    print("sweep.routed.bare_sendmmsg_cpu_us_per_probe", median(bareCpuPerProbes));
    print("sweep.routed.bare_sendmmsg_recvmmsg_cpu_us_per_probe", median(readingCpuPerProbes));
    if (!steadyRatios.isEmpty()) {
        // Per address while sending, which is all of a /16's sweep but its
        // first and last second.
        print("sweep.routed.dense_cpu_ratio_vs_bare_sendmmsg", median(steadyRatios));
        print("sweep.routed.dense_cpu_ratio_vs_bare_sendmmsg_worst_pair", worst(steadyRatios));
        // The whole sweep of 380 addresses, routes, sockets and the reply
        // window included, against the bare loop that has none of them.
        print("sweep.routed.dense_whole_cpu_ratio_vs_bare_sendmmsg", median(wholeRatios));
        print("sweep.routed.dense_cpu_ratio_vs_bare_sendmmsg_recvmmsg", median(readingRatios));
        // What reading the replies costs a loop that does nothing else: the
        // floor of the ratio above for any program that hears the cameras.
        print("sweep.routed.dense_bare_recvmmsg_ratio_vs_bare_sendmmsg", median(bareReadingRatios));
    }

    if (peers) {
        // nmap's ping sweep from the program's side, over the same targets.
        const Peer nmap = runTool(QStringLiteral("nmap"), QStringList{QStringLiteral("-sn"), QStringLiteral("-n")} + siteTexts,
                                  QRegularExpression(QStringLiteral("\\((\\d+) hosts? up\\)")));
        if (nmap.ran) {
            std::printf("nmap -sn -n %s: %d hosts up in %.2f s\n", qPrintable(siteTexts.join(QLatin1Char(' '))),
                        nmap.hosts, nmap.wallS);
            print("sweep.routed.nmap_wall_s", nmap.wallS);
            print("sweep.routed.nmap_hosts_up", nmap.hosts);
            print("sweep.routed.wall_ratio_vs_nmap", bestWall / nmap.wallS);
            print("sweep.routed.wall_ratio_vs_nmap_worst", worstWall / nmap.wallS);
        } else {
            std::printf("nmap not measured: %s\n", qPrintable(nmap.note));
        }
    }

    stopCameras(&cameras);
    // A /16 with 1 000 cameras has one on an address in 65: the site with
    // cameras that sparse is what CPU per address means for a routed sweep.
    if (!startCameras(&cameras, sparseConfig, scratch.filePath(QStringLiteral("sparse.jsonl"))))
        return 1;
    QVector<double> sparseRatios;
    QVector<double> sparseCpuPerProbes;
    for (int r = 1; r <= repeat; ++r) {
        const SweepRun run = runSweep(siteTargets, sparseMacs);
        const BareRun bare = bareSendmmsg(siteTargets, rate, false);
        const double steady = perProbe(run.steadyCpuUs, run.steadyProbes);
        const double bareSteady = perProbe(bare.steadyCpuUs, bare.steadyProbes);
        std::printf("run %d, %d cameras: found %d in %.3f s; %.3f us CPU per probe while sending (%.3f over the "
                    "whole sweep); bare sendmmsg loop %.3f us\n", r, int(sparse.size()), run.found, run.wallS, steady,
                    perProbe(run.cpuUs, run.probes), bareSteady);
        if (steady <= 0 || bareSteady <= 0)
            continue;
        sparseCpuPerProbes.append(steady);
        sparseRatios.append(steady / bareSteady);
    }
    print("sweep.routed.sparse_cpu_us_per_probe", median(sparseCpuPerProbes));
    if (!sparseRatios.isEmpty()) {
        print("sweep.routed.cpu_ratio_vs_bare_sendmmsg", median(sparseRatios));
        print("sweep.routed.cpu_ratio_vs_bare_sendmmsg_worst_pair", worst(sparseRatios));
    }
    stopCameras(&cameras);

    if (!startCameras(&cameras, smallConfig, scratch.filePath(QStringLiteral("small.jsonl"))))
        return 1;
    double worstAfterLast = 0;
    double worstSmallWall = 0;
    double worstSmallShare = 1.0;
    double bestSmallWall = 1e9;
    for (int r = 1; r <= repeat; ++r) {
        const SweepRun run = runSweep(smallTargets, smallMacs);
        if (!run.failure.isEmpty())
            std::printf("sweep of the /24, run %d, failed: %s\n", r, qPrintable(run.failure));
        std::printf("run %d: /24 found %d of %d in %.3f s (last answer at %.3f s)\n", r, run.found, SmallCameras,
                    run.wallS, run.lastAnswerS);
        worstAfterLast = std::max(worstAfterLast, run.wallS - run.lastAnswerS);
        worstSmallWall = std::max(worstSmallWall, run.wallS);
        bestSmallWall = std::min(bestSmallWall, run.wallS);
        worstSmallShare = std::min(worstSmallShare, double(run.found) / SmallCameras);
    }
    print("sweep.n24.found_share_worst", worstSmallShare);
    print("sweep.n24.wall_s_worst", worstSmallWall);
    print("sweep.n24.wall_after_last_answer_s_worst", worstAfterLast);

    if (peers) {
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
    stopCameras(&cameras);
    return 0;
}
