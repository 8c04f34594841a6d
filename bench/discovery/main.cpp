// bench_discovery: N simulated cameras answer one utility search in a single
// burst inside a test LAN. For each N it prints the share of cameras that the
// search lists after the window's five seconds, and the search's CPU time per
// reply against a bare receive loop that takes the same burst in the same run.
//
// The window's five seconds of 100 ms ticks cost the same whether anything
// answers or not (waking a process 50 times is a few milliseconds of CPU on
// a virtual machine); the same window without a search is measured next to
// every search and taken off the search's figure, which is reported both
// ways. Starting the search and taking the list stay in.
//
// Next to them: the same fifty sleeps with no event loop (bare_window_cpu_us,
// the floor the machine sets for any window of ticks), the wakeups each part
// took, and a second bare loop that reads with recvmmsg, 16 datagrams per
// call, as the search does (..._vs_bare_recvmmsg). The figures themselves
// keep the one-datagram-per-call loop as their baseline.
//
//   bench_discovery [--sizes 1000,10000] [--repeat 3] [--modes unicast,broadcast]
//
// Started outside a test LAN it re-runs itself through tests/netns/netns.sh;
// all traffic stays inside those namespaces.
#include "benchoptions.h"
#include "discoveryservice.h"
#include "camsimprocess.h"
#include "devicerecord.h"
#include "searchmanager.h"
#include "testlan.h"
#include "utilityprotocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QSet>
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
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ReceiveBufferBytes = 32 * 1024 * 1024;   // what the search asks for
constexpr int WindowTicks = 50;                        // the window's 50 ticks of 100 ms
constexpr int TickMs = 100;

double processCpuUs()
{
    timespec ts = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// Times the process went to sleep and was woken again (voluntary context
// switches): on a virtual machine each costs tens of microseconds of kernel
// time, whatever the program does when it wakes.
long wakeups()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

int udpSocket(const QHostAddress &address, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    const int size = ReceiveBufferBytes;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address.toIPv4Address());
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Baseline
{
    int received = 0;
    double cpuUs = 0;
    long wakeups = 0;
};

// The least a program can do: one socket, recv until the burst is over.
Baseline bareReceive(const QHostAddress &programAddress, bool broadcastReplies, int expected)
{
    Baseline result;
    const int sender = udpSocket(programAddress, UtilityProtocol::Port);
    const int receiver = broadcastReplies ? udpSocket(QHostAddress(QHostAddress::AnyIPv4), UtilityProtocol::Port) : sender;
    if (sender < 0 || receiver < 0) {
        std::fprintf(stderr, "bare receive loop: bind failed: %s\n", std::strerror(errno));
        return result;
    }
    const QByteArray query = UtilityProtocol::queryText(UtilityProtocol::Query::A);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(UtilityProtocol::Port);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    const double start = processCpuUs();
    const long startWakeups = wakeups();
    ::sendto(sender, query.constData(), size_t(query.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    char buffer[2048];
    pollfd pfd = {receiver, POLLIN, 0};
    while (result.received < expected && ::poll(&pfd, 1, 1000) > 0) {
        for (;;) {
            const ssize_t n = ::recv(receiver, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0)
                break;
            if (n == UtilityProtocol::ShortReplySize || n == UtilityProtocol::LongReplySize)
                ++result.received;
        }
    }
    result.cpuUs = processCpuUs() - start;
    result.wakeups = wakeups() - startWakeups;
    if (receiver != sender)
        ::close(receiver);
    ::close(sender);
    return result;
}

// The same loop reading up to 16 datagrams per system call, as the search
// itself reads. Printed beside the figures, which keep the plain loop above
// as their baseline.
Baseline bareBatchReceive(const QHostAddress &programAddress, bool broadcastReplies, int expected)
{
    Baseline result;
    const int sender = udpSocket(programAddress, UtilityProtocol::Port);
    const int receiver = broadcastReplies ? udpSocket(QHostAddress(QHostAddress::AnyIPv4), UtilityProtocol::Port) : sender;
    if (sender < 0 || receiver < 0) {
        std::fprintf(stderr, "bare batch receive loop: bind failed: %s\n", std::strerror(errno));
        return result;
    }
    const QByteArray query = UtilityProtocol::queryText(UtilityProtocol::Query::A);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(UtilityProtocol::Port);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    constexpr int Slots = 16;
    static char buffers[Slots][2048];
    iovec vectors[Slots];
    mmsghdr headers[Slots];
    const double start = processCpuUs();
    const long startWakeups = wakeups();
    ::sendto(sender, query.constData(), size_t(query.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    pollfd pfd = {receiver, POLLIN, 0};
    while (result.received < expected && ::poll(&pfd, 1, 1000) > 0) {
        for (;;) {
            for (int i = 0; i < Slots; ++i) {
                vectors[i] = {buffers[i], sizeof buffers[i]};
                headers[i] = {};
                headers[i].msg_hdr.msg_iov = &vectors[i];
                headers[i].msg_hdr.msg_iovlen = 1;
            }
            const int count = ::recvmmsg(receiver, headers, Slots, MSG_DONTWAIT, nullptr);
            if (count <= 0)
                break;
            for (int i = 0; i < count; ++i) {
                const unsigned n = headers[i].msg_len;
                if (n == UtilityProtocol::ShortReplySize || n == UtilityProtocol::LongReplySize)
                    ++result.received;
            }
            if (count < Slots)
                break;
        }
    }
    result.cpuUs = processCpuUs() - start;
    result.wakeups = wakeups() - startWakeups;
    if (receiver != sender)
        ::close(receiver);
    ::close(sender);
    return result;
}

// The same with Qt's socket: what any QUdpSocket-based receiver pays before
// it looks at a byte.
Baseline qtReceive(const QHostAddress &programAddress, bool broadcastReplies, int expected)
{
    Baseline result;
    QUdpSocket sender;
    QUdpSocket wildcard;
    const QUdpSocket::BindMode mode = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
    if (!sender.bind(programAddress, UtilityProtocol::Port, mode)
        || (broadcastReplies && !wildcard.bind(QHostAddress::AnyIPv4, UtilityProtocol::Port, mode))) {
        std::fprintf(stderr, "Qt receive loop: bind failed\n");
        return result;
    }
    QUdpSocket *receiver = broadcastReplies ? &wildcard : &sender;
    receiver->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(1000);
    QObject::connect(&idle, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(receiver, &QUdpSocket::readyRead, &loop, [&] {
        while (receiver->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = receiver->receiveDatagram();
            const int size = datagram.data().size();
            if (size == UtilityProtocol::ShortReplySize || size == UtilityProtocol::LongReplySize)
                ++result.received;
        }
        if (result.received >= expected)
            loop.quit();
        else
            idle.start();
    });
    const double start = processCpuUs();
    sender.writeDatagram(UtilityProtocol::queryText(UtilityProtocol::Query::A), QHostAddress::Broadcast,
                         UtilityProtocol::Port);
    idle.start();
    loop.exec();
    result.cpuUs = processCpuUs() - start;
    return result;
}

struct ProgramRun
{
    int listed = 0;
    double cpuUs = 0;
    double takeCpuUs = 0;   // getDeviceList alone
    long wakeups = 0;
};

// The window's progress: 50 ticks of 100 ms in an event loop.
void runWindow()
{
    QEventLoop loop;
    QTimer tick;
    tick.setSingleShot(true);
    tick.setInterval(TickMs);
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (++ticks < WindowTicks)
            tick.start();
        else
            loop.quit();
    });
    tick.start();
    loop.exec();
}

// Fifty sleeps of 100 ms with no event loop at all: what the machine charges
// for waking a process that often, the floor under any window of ticks.
double bareWindowCpuUs()
{
    const double start = processCpuUs();
    for (int i = 0; i < WindowTicks; ++i)
        ::poll(nullptr, 0, TickMs);
    return processCpuUs() - start;
}

// The same window with no search running: what waiting alone costs.
double idleWindowCpuUs(long *windowWakeups)
{
    const double start = processCpuUs();
    const long startWakeups = wakeups();
    runWindow();
    *windowWakeups = wakeups() - startWakeups;
    return processCpuUs() - start;
}

// A search exactly as the window runs it: start, 50 ticks of 100 ms, take the list.
ProgramRun programSearch(SearchManager *manager, const QString &adapterIp, const QString &macPrefix)
{
    ProgramRun result;
    const double start = processCpuUs();
    const long startWakeups = wakeups();
    manager->startSearch(adapterIp);
    runWindow();
    const double beforeTake = processCpuUs();
    const QList<DeviceRecord> list = manager->getDeviceList();
    result.cpuUs = processCpuUs() - start;
    result.takeCpuUs = result.cpuUs - (beforeTake - start);
    result.wakeups = wakeups() - startWakeups;
    QSet<QString> macs;
    for (const DeviceRecord &record : list) {
        if (record.mac.startsWith(macPrefix))
            macs.insert(record.mac);
    }
    result.listed = macs.size();
    return result;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

int lastQueryReplies(const CamsimProcess &camsim, int *failed)
{
    const QList<QJsonObject> queries = camsim.events(QStringLiteral("query"));
    if (queries.isEmpty())
        return 0;
    *failed = queries.last().value(QStringLiteral("failed")).toInt();
    return queries.last().value(QStringLiteral("replies")).toInt();
}

QList<int> intList(const QString &text)
{
    QList<int> values;
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts)
        values.append(part.toInt());
    return values;
}

} // namespace

int main(int argc, char *argv[])
{
    // Not in a test LAN yet: build one around ourselves.
    if (TestLan::enterOwnLan(argc, argv, "bench_discovery") != 0)
        return 1;

    QCoreApplication app(argc, argv);
    const QString why = TestLan::unavailableReason();
    if (!why.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }

    const BenchOptions options(argc, argv);
    const QList<int> sizes = intList(options.text("--sizes", QStringLiteral("1000,10000")));
    const QStringList modes = options.text("--modes", QStringLiteral("unicast,broadcast")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const int repeat = options.number("--repeat", 3);

    const QString programAddress = TestLan::programAddresses().value(0);
    const QString macPrefix = QStringLiteral("02:50:4d:");
    DiscoveryService discovery;
    SearchManager *manager = SearchManager::getInstance();
    manager->setSearchTypes(SearchManager::UtilitySearchBit);

    for (const QString &mode : qAsConst(modes)) {
        const bool broadcast = mode == QLatin1String("broadcast");
        for (const int n : qAsConst(sizes)) {
            CamsimProcess camsim;
            // Each camera answers query A only: one reply per camera per search.
            if (!camsim.start(0, {QStringLiteral("--fleet"), QString::number(n), QStringLiteral("--queries"),
                                  QStringLiteral("a"), QStringLiteral("--send"), mode, QStringLiteral("--quiet")},
                              60000)) {
                std::fprintf(stderr, "camsim: %s\n", qPrintable(camsim.errorText()));
                return 1;
            }
            std::vector<double> baselinePerReply, qtPerReply, programPerReply, rawPerReply, ratios, rawRatios,
                qtRatios, takeUs, idleUs, bareWakeups, programWakeups, idleWakeups, batchPerReply,
                batchRatios, bareWindowUs;
            int worstListed = n, worstBaseline = n, worstBatch = n, sentFailed = 0;
            // A search keeps its list until the next one starts, and starting
            // frees it. One unmeasured search of this fleet first, so every
            // measured one frees a list of its own size (as a user searching
            // again would), never the previous fleet's, up to ten times larger.
            programSearch(manager, programAddress, macPrefix);
            QTest::qWait(300);
            for (int r = 0; r < repeat; ++r) {
                const Baseline base = bareReceive(QHostAddress(programAddress), broadcast, n);
                int failed = 0;
                QTest::qWait(300);
                lastQueryReplies(camsim, &failed);
                sentFailed += failed;

                const Baseline batch = bareBatchReceive(QHostAddress(programAddress), broadcast, n);
                QTest::qWait(300);
                lastQueryReplies(camsim, &failed);
                sentFailed += failed;

                const Baseline qt = qtReceive(QHostAddress(programAddress), broadcast, n);
                QTest::qWait(300);
                lastQueryReplies(camsim, &failed);
                sentFailed += failed;

                const ProgramRun run = programSearch(manager, programAddress, macPrefix);
                QTest::qWait(300);
                lastQueryReplies(camsim, &failed);
                sentFailed += failed;
                long idleWindowWakeups = 0;
                const double idle = idleWindowCpuUs(&idleWindowWakeups);
                bareWindowUs.push_back(bareWindowCpuUs());
                worstBatch = qMin(worstBatch, batch.received);
                const double bb = batch.received ? batch.cpuUs / batch.received : 0;
                batchPerReply.push_back(bb);

                worstListed = qMin(worstListed, run.listed);
                worstBaseline = qMin(worstBaseline, base.received);
                const double b = base.received ? base.cpuUs / base.received : 0;
                const double raw = run.listed ? run.cpuUs / run.listed : 0;
                const double p = run.listed ? qMax(0.0, run.cpuUs - idle) / run.listed : 0;
                const double q = qt.received ? qt.cpuUs / qt.received : 0;
                baselinePerReply.push_back(b);
                qtPerReply.push_back(q);
                programPerReply.push_back(p);
                rawPerReply.push_back(raw);
                ratios.push_back(b > 0 ? p / b : 0);
                rawRatios.push_back(b > 0 ? raw / b : 0);
                batchRatios.push_back(bb > 0 ? raw / bb : 0);
                qtRatios.push_back(q > 0 ? p / q : 0);
                takeUs.push_back(run.takeCpuUs);
                idleUs.push_back(idle);
                bareWakeups.push_back(double(base.wakeups));
                programWakeups.push_back(double(run.wakeups));
                idleWakeups.push_back(double(idleWindowWakeups));
            }
            camsim.stop();
            const QByteArray prefix = QStringLiteral("discovery.%1.n%2.").arg(mode).arg(n).toLatin1();
            std::printf("%scameras: %d\n", prefix.constData(), n);
            std::printf("%slisted_share_percent_worst: %.2f\n", prefix.constData(), 100.0 * worstListed / n);
            std::printf("%sbaseline_received_share_percent_worst: %.2f\n", prefix.constData(), 100.0 * worstBaseline / n);
            std::printf("%ssend_failures: %d\n", prefix.constData(), sentFailed);
            std::printf("%sbaseline_cpu_us_per_reply: %.3f\n", prefix.constData(), median(baselinePerReply));
            std::printf("%sprogram_cpu_us_per_reply: %.3f\n", prefix.constData(), median(programPerReply));
            std::printf("%sprogram_cpu_us_per_reply_with_idle_window: %.3f\n", prefix.constData(), median(rawPerReply));
            std::printf("%sidle_window_cpu_us: %.0f\n", prefix.constData(), median(idleUs));
            std::printf("%sbare_window_cpu_us: %.0f\n", prefix.constData(), median(bareWindowUs));
            std::printf("%sidle_window_wakeups: %.0f\n", prefix.constData(), median(idleWakeups));
            std::printf("%sbaseline_wakeups: %.0f\n", prefix.constData(), median(bareWakeups));
            std::printf("%sprogram_wakeups_with_idle_window: %.0f\n", prefix.constData(), median(programWakeups));
            std::printf("%sqt_loop_cpu_us_per_reply: %.3f\n", prefix.constData(), median(qtPerReply));
            std::printf("%sprogram_list_take_cpu_us: %.0f\n", prefix.constData(), median(takeUs));
            std::printf("%scpu_ratio_program_vs_bare: %.2f\n", prefix.constData(), median(ratios));
            std::printf("%scpu_ratio_program_with_idle_window_vs_bare: %.2f\n", prefix.constData(), median(rawRatios));
            std::printf("%scpu_ratio_program_vs_qt_loop: %.2f\n", prefix.constData(), median(qtRatios));
            std::printf("%sbaseline_recvmmsg_received_share_percent_worst: %.2f\n", prefix.constData(),
                        100.0 * worstBatch / n);
            std::printf("%sbaseline_recvmmsg_cpu_us_per_reply: %.3f\n", prefix.constData(), median(batchPerReply));
            std::printf("%scpu_ratio_program_with_idle_window_vs_bare_recvmmsg: %.2f\n", prefix.constData(),
                        median(batchRatios));
            std::fflush(stdout);
        }
    }
    return 0;
}
