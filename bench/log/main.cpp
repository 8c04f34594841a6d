// Time per accepted line, flushed to disk after every line, for our log
// system against spdlog's basic file sink with the same pattern and flush
// policy; then the cost of a call the level filter drops. The contenders
// alternate round by round in one process, writing into the same folder.
#include "applog.h"
#include "logsystem.h"
#include "simplefilelogger.h"

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double nsPerItem(Clock::time_point start, Clock::time_point end, int items)
{
    return std::chrono::duration<double, std::nano>(end - start).count() / items;
}

double oursRound(const QString &path, int moduleId, int lines)
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    SimpleFileLogger logger(path, false);
    sys->setLogger(&logger);
    sys->startLog();
    const QString format = QStringLiteral("Search reply from %s, %d bytes");
    const auto start = Clock::now();
    for (int i = 0; i < lines; ++i)
        sys->log(moduleId, LogSystem::LogMajorMsg, format, "198.51.100.23", i);
    const auto end = Clock::now();
    sys->stopLog();
    sys->setLogger(nullptr);
    return nsPerItem(start, end, lines);
}

std::shared_ptr<spdlog::logger> makeSpdlog(const std::string &name, const std::string &path)
{
    auto logger = spdlog::basic_logger_mt(name, path, true);
    // Level padded to 13, time with milliseconds, name, " : ", message.
    logger->set_pattern("%-13!l %H:%M:%S.%e %n : %v");
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    return logger;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // "--profile-ours" / "--profile-spdlog": only one write path, for a
    // profiler to look at (instructions per line, side by side).
    const bool profileOurs = app.arguments().contains(QStringLiteral("--profile-ours"));
    const bool profileSpdlog = app.arguments().contains(QStringLiteral("--profile-spdlog"));
    constexpr int linesPerRound = 20000;

    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-log-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a scratch folder in %s\n", qPrintable(QDir::currentPath()));
        return 1;
    }

    LogSystem *sys = LogSystem::getSysLogSystem();
    sys->setLogLevel(LogSystem::LogMajorMsg);
    const int moduleId = sys->registerLoggedModule(QStringLiteral("Pathmere/Pathmere"));

    if (profileOurs) {
        for (int round = 0; round < 10; ++round)
            oursRound(dir.filePath(QStringLiteral("profile.log")), moduleId, linesPerRound);
        return 0;
    }
    if (profileSpdlog) {
        auto logger = makeSpdlog("profile", dir.filePath(QStringLiteral("profile.log")).toStdString());
        for (int i = 0; i < 10 * linesPerRound; ++i)
            logger->info("Search reply from {}, {} bytes", "198.51.100.23", i);
        spdlog::drop("profile");
        return 0;
    }

    // Both loggers stay open side by side in one folder and take turns in
    // short blocks, so that load from other processes hits both alike; the
    // figure is the median over the blocks.
    constexpr int blockLines = 250;
    constexpr int blocks = 400;
    SimpleFileLogger ours(dir.filePath(QStringLiteral("ours.log")), false);
    sys->setLogger(&ours);
    sys->startLog();
    auto theirs = makeSpdlog("Pathmere/Pathmere", dir.filePath(QStringLiteral("spdlog.log")).toStdString());
    const QString lineFormat = QStringLiteral("Search reply from %s, %d bytes");
    std::vector<double> oursNs;
    std::vector<double> theirsNs;
    std::vector<double> ratios;
    std::vector<double> appLogNs;
    std::vector<double> appLogRatios;
    int serial = 0;
    for (int block = -20; block < blocks; ++block) { // 20 warm-up blocks
        auto start = Clock::now();
        for (int i = 0; i < blockLines; ++i, ++serial)
            sys->log(moduleId, LogSystem::LogMajorMsg, lineFormat, "198.51.100.23", serial);
        auto end = Clock::now();
        const double oursBlock = nsPerItem(start, end, blockLines);

        // As the program logs: through appLog, the literal becoming the
        // QString format on every call.
        start = Clock::now();
        for (int i = 0; i < blockLines; ++i, ++serial)
            appLog(LogSystem::LogMajorMsg, "Search reply from %s, %d bytes", "198.51.100.23", serial);
        end = Clock::now();
        const double appLogBlock = nsPerItem(start, end, blockLines);

        start = Clock::now();
        for (int i = 0; i < blockLines; ++i, ++serial)
            theirs->info("Search reply from {}, {} bytes", "198.51.100.23", serial);
        end = Clock::now();
        const double theirsBlock = nsPerItem(start, end, blockLines);
        if (block < 0)
            continue;
        oursNs.push_back(oursBlock);
        appLogNs.push_back(appLogBlock);
        theirsNs.push_back(theirsBlock);
        ratios.push_back(oursBlock / theirsBlock);
        appLogRatios.push_back(appLogBlock / theirsBlock);
    }
    sys->stopLog();
    sys->setLogger(nullptr);
    spdlog::drop("Pathmere/Pathmere");

    std::printf("log_line_flushed_ns_corvane: %.0f\n", median(oursNs));
    std::printf("log_line_flushed_ns_spdlog: %.0f\n", median(theirsNs));
    std::printf("log_line_flushed_ratio_vs_spdlog: %.3f\n", median(ratios));
    std::printf("log_line_flushed_ns_corvane_applog: %.0f\n", median(appLogNs));
    std::printf("log_line_flushed_applog_ratio_vs_spdlog: %.3f\n", median(appLogRatios));

    // Filtered-out calls: level 7 against threshold 4, logging started.
    SimpleFileLogger sink(dir.filePath(QStringLiteral("filtered.log")), false);
    sys->setLogger(&sink);
    sys->startLog();
    constexpr int callsPerBatch = 1000;
    constexpr int batches = 2001;
    const QString format = QStringLiteral("Search reply from %s, %d bytes");
    std::vector<double> filtered;
    std::vector<double> filteredAppLog;
    filtered.reserve(batches);
    filteredAppLog.reserve(batches);
    for (int b = 0; b < batches; ++b) {
        auto start = Clock::now();
        for (int i = 0; i < callsPerBatch; ++i)
            sys->log(moduleId, LogSystem::LogDetailMsg, format, "198.51.100.23", i);
        auto end = Clock::now();
        filtered.push_back(nsPerItem(start, end, callsPerBatch));

        // As the program calls it: a string literal becomes the QString format.
        start = Clock::now();
        for (int i = 0; i < callsPerBatch; ++i)
            appLog(LogSystem::LogDetailMsg, "Search reply from %s, %d bytes", "198.51.100.23", i);
        end = Clock::now();
        filteredAppLog.push_back(nsPerItem(start, end, callsPerBatch));
    }
    sys->stopLog();
    sys->setLogger(nullptr);

    auto quiet = spdlog::basic_logger_mt("quiet", dir.filePath(QStringLiteral("quiet.log")).toStdString(), true);
    quiet->set_level(spdlog::level::info);
    std::vector<double> filteredSpdlog;
    for (int b = 0; b < batches; ++b) {
        const auto start = Clock::now();
        for (int i = 0; i < callsPerBatch; ++i)
            quiet->trace("Search reply from {}, {} bytes", "198.51.100.23", i);
        const auto end = Clock::now();
        filteredSpdlog.push_back(nsPerItem(start, end, callsPerBatch));
    }

    std::printf("log_filtered_call_median_ns: %.1f\n", median(filtered));
    std::printf("log_filtered_applog_call_median_ns: %.1f\n", median(filteredAppLog));
    std::printf("log_filtered_call_median_ns_spdlog: %.1f\n", median(filteredSpdlog));
    std::printf("log_filtered_call_ratio_vs_spdlog: %.3f\n", median(filtered) / median(filteredSpdlog));
    std::printf("log_filtered_applog_call_ratio_vs_spdlog: %.3f\n",
                median(filteredAppLog) / median(filteredSpdlog));
    return 0;
}
