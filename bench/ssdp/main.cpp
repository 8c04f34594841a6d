// bench_ssdp: N simulated document cameras answer one SSDP search inside a
// test LAN; each answer leads to one HTTP description fetch. It prints the
// share of cameras the search lists after the window's five seconds and the
// search's CPU time per listed document camera, against the utility search's
// CPU time per listed camera for a fleet of the same size in the same run.
// The CPU of the same window without a search is taken off both figures.
//
//   bench_ssdp [--size 1000] [--repeat 3]
//
// Started outside a test LAN it re-runs itself through tests/netns/netns.sh;
// all traffic stays inside those namespaces.
#include "benchoptions.h"
#include "discoveryservice.h"
#include "camsimprocess.h"
#include "devicerecord.h"
#include "searchmanager.h"
#include "testlan.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WindowTicks = 50;   // the window's 50 ticks of 100 ms
constexpr int TickMs = 100;

double processCpuUs()
{
    timespec ts = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

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

struct Run
{
    int listed = 0;
    double cpuUs = 0;
};

// A search as the window runs it: start, 50 ticks, take the list.
Run search(SearchManager *manager, int searchType)
{
    Run run;
    const double start = processCpuUs();
    manager->startSearch(QString());
    runWindow();
    const QList<DeviceRecord> list = manager->getDeviceList();
    run.cpuUs = processCpuUs() - start;
    for (const DeviceRecord &record : list)
        run.listed += record.searchType == searchType ? 1 : 0;
    return run;
}

double idleWindowCpuUs()
{
    const double start = processCpuUs();
    runWindow();
    return processCpuUs() - start;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Series
{
    int worstListed = -1;
    std::vector<double> perCamera;
};

bool measure(SearchManager *manager, int mask, int searchType, const QStringList &camsimArgs, int size, int repeat,
             Series *series)
{
    CamsimProcess camsim;
    if (!camsim.start(0, camsimArgs, 120000)) {
        std::fprintf(stderr, "camsim: %s\n", qPrintable(camsim.errorText()));
        return false;
    }
    manager->setSearchTypes(mask);
    for (int i = 0; i < repeat; ++i) {
        const double idle = idleWindowCpuUs();
        const Run run = search(manager, searchType);
        // Let late answers and closing connections settle before the next run.
        QTest::qWait(500);
        series->worstListed = series->worstListed < 0 ? run.listed : std::min(series->worstListed, run.listed);
        if (run.listed > 0)
            series->perCamera.push_back(std::max(0.0, run.cpuUs - idle) / run.listed);
    }
    camsim.stop();
    Q_UNUSED(size);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Not in a test LAN yet: build one around ourselves.
    if (TestLan::enterOwnLan(argc, argv, "bench_ssdp") != 0)
        return 1;

    QCoreApplication app(argc, argv);
    const QString why = TestLan::unavailableReason();
    if (!why.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }
    const BenchOptions options(argc, argv);
    const int size = options.number("--size", 1000);
    const int repeat = options.number("--repeat", 3);

    DiscoveryService discovery;
    SearchManager *manager = SearchManager::getInstance();
    Series utility;
    Series docCams;
    const QString count = QString::number(size);
    if (!measure(manager, SearchManager::UtilitySearchBit, DeviceRecord::BroadcastSearch,
                 {QStringLiteral("--fleet"), count, QStringLiteral("--quiet")}, size, repeat, &utility)
        || !measure(manager, SearchManager::DocumentCameraBit, DeviceRecord::DocumentCamera,
                    {QStringLiteral("--fleet"), count, QStringLiteral("--kind"), QStringLiteral("doccam"),
                     QStringLiteral("--name"), QStringLiteral("Q42D Fleet"), QStringLiteral("--quiet")},
                    size, repeat, &docCams)) {
        return 1;
    }

    const double utilityPer = median(utility.perCamera);
    const double docCamPer = median(docCams.perCamera);
    std::printf("cameras: %d\n", size);
    std::printf("repeat: %d\n", repeat);
    std::printf("doccam_listed_share_percent_worst: %.2f\n", 100.0 * std::max(0, docCams.worstListed) / size);
    std::printf("utility_listed_share_percent_worst: %.2f\n", 100.0 * std::max(0, utility.worstListed) / size);
    std::printf("utility_cpu_us_per_listed_camera: %.3f\n", utilityPer);
    std::printf("doccam_cpu_us_per_listed_camera: %.3f\n", docCamPer);
    std::printf("cpu_ratio_doccam_vs_utility: %.2f\n", utilityPer > 0 ? docCamPer / utilityPer : 0.0);
    return 0;
}
