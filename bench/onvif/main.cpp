// bench_onvif: N simulated ONVIF cameras answer one WS-Discovery search
// inside a test LAN. It prints the share of cameras listed in the worst of
// the runs, the time from the last answer heard to the list, and the
// search's CPU time per listed camera against the utility search's CPU time
// per listed camera for a fleet of the same size in the same run. The CPU of
// an idle window of the same length is taken off both.
//
//   bench_onvif [--size 500] [--repeat 3]
//
// Started outside a test LAN it re-runs itself through tests/netns/netns.sh;
// all traffic stays inside those namespaces.
#include "benchoptions.h"
#include "camsimprocess.h"
#include "devicerecord.h"
#include "discoveryservice.h"
#include "onvifsearch.h"
#include "searchmanager.h"
#include "testlan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int UtilityWindowMs = 5000;   // the window's 50 ticks of 100 ms

double processCpuUs()
{
    timespec ts = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double idleCpuUs(int ms)
{
    const double start = processCpuUs();
    runFor(ms);
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
    std::vector<double> cpuPerCamera;
    std::vector<double> lastAnswerToListMs;

    void add(int listed, double cpuUs)
    {
        worstListed = worstListed < 0 ? listed : std::min(worstListed, listed);
        if (listed > 0)
            cpuPerCamera.push_back(std::max(0.0, cpuUs) / listed);
    }
};

bool startFleet(CamsimProcess *camsim, const QStringList &arguments)
{
    if (camsim->start(0, arguments, 120000))
        return true;
    std::fprintf(stderr, "camsim: %s\n", qPrintable(camsim->errorText()));
    return false;
}

bool measureUtility(int size, int repeat, Series *series)
{
    CamsimProcess camsim;
    if (!startFleet(&camsim, {QStringLiteral("--fleet"), QString::number(size), QStringLiteral("--quiet")}))
        return false;
    DiscoveryService discovery;
    SearchManager *manager = SearchManager::getInstance();
    manager->setSearchTypes(SearchManager::UtilitySearchBit);
    for (int i = 0; i < repeat; ++i) {
        const double idle = idleCpuUs(UtilityWindowMs);
        const double start = processCpuUs();
        manager->startSearch(QString());
        runFor(UtilityWindowMs);
        int listed = 0;
        for (const DeviceRecord &record : manager->getDeviceList())
            listed += record.searchType == DeviceRecord::BroadcastSearch ? 1 : 0;
        series->add(listed, processCpuUs() - start - idle);
        QTest::qWait(500);
    }
    camsim.stop();
    return true;
}

bool measureOnvif(int size, int repeat, Series *series)
{
    CamsimProcess camsim;
    if (!startFleet(&camsim, {QStringLiteral("--fleet"), QString::number(size), QStringLiteral("--kind"),
                              QStringLiteral("onvif"), QStringLiteral("--quiet")}))
        return false;
    for (int i = 0; i < repeat; ++i) {
        const double idle = idleCpuUs(OnvifSearch::DefaultWindowMs);
        OnvifSearch search;
        QElapsedTimer clock;
        qint64 lastAnswerMs = 0;
        qint64 listMs = 0;
        QObject::connect(&search, &OnvifSearch::deviceFound, [&] { lastAnswerMs = clock.elapsed(); });
        QEventLoop loop;
        QObject::connect(&search, &OnvifSearch::finished, &loop, [&] {
            listMs = clock.elapsed();
            loop.quit();
        });
        const double start = processCpuUs();
        clock.start();
        if (!search.start())
            return false;
        loop.exec();
        const int listed = search.devices().size();
        series->add(listed, processCpuUs() - start - idle);
        series->lastAnswerToListMs.push_back(double(listMs - lastAnswerMs));
        QTest::qWait(500);
    }
    camsim.stop();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (TestLan::enterOwnLan(argc, argv, "bench_onvif") != 0)
        return 1;

    QCoreApplication app(argc, argv);
    const QString why = TestLan::unavailableReason();
    if (!why.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }
    const BenchOptions options(argc, argv);
    const int size = options.number("--size", 500);
    const int repeat = options.number("--repeat", 3);

    Series utility;
    Series onvif;
    if (!measureUtility(size, repeat, &utility) || !measureOnvif(size, repeat, &onvif))
        return 1;

    const double utilityPer = median(utility.cpuPerCamera);
    const double onvifPer = median(onvif.cpuPerCamera);
    const double worstShare = 100.0 * std::max(0, onvif.worstListed) / size;
    const QByteArray prefix = "onvif.n" + QByteArray::number(size);
    std::printf("cameras: %d\n", size);
    std::printf("repeat: %d\n", repeat);
    std::printf("%s.listed_share_percent_worst: %.2f\n", prefix.constData(), worstShare);
    std::printf("%s.missed_share_percent_worst: %.2f\n", prefix.constData(), 100.0 - worstShare);
    std::printf("%s.last_answer_to_list_ms_median: %.0f\n", prefix.constData(), median(onvif.lastAnswerToListMs));
    std::printf("%s.last_answer_to_list_ms_worst: %.0f\n", prefix.constData(),
                onvif.lastAnswerToListMs.empty() ? 0.0
                    : *std::max_element(onvif.lastAnswerToListMs.begin(), onvif.lastAnswerToListMs.end()));
    std::printf("%s.utility_cpu_us_per_listed_camera: %.3f\n", prefix.constData(), utilityPer);
    std::printf("%s.onvif_cpu_us_per_listed_camera: %.3f\n", prefix.constData(), onvifPer);
    std::printf("%s.cpu_ratio_onvif_vs_utility: %.2f\n", prefix.constData(), utilityPer > 0 ? onvifPer / utilityPer : 0.0);
    return 0;
}
