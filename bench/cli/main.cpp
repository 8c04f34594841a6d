// bench_cli: pathmere-cli in a test LAN of 200 simulated cameras.
//
//   search_window_wall_ms   in-process search as the window runs it (start,
//                           five seconds, take the list), median of --repeat
//   search_cli_wall_ms      `pathmere-cli search --seconds 5 --format json`
//                           as a child process, start to exit, median
//   search_cli_ratio        the two above (target: at most 1.05)
//   set_one_wall_ms         `set` of one camera (two searches of 3 s)
//   assign_200_wall_ms      `assign` of all 200 to a new range in one run
//   assign_200_ratio        assign / set: what the batch costs over one camera
//   assign_200_confirmed    cameras the run confirmed
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
#include <QTest>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Fleet = 200;

struct Child
{
    int code = -1;
    QByteArray out;
    QByteArray err;
    qint64 ms = 0;
};

Child runCli(const QStringList &args, const QByteArray &env = QByteArray())
{
    QProcess process;
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QString::fromLatin1(env.left(env.indexOf('='))), QString::fromLatin1(env.mid(env.indexOf('=') + 1)));
        process.setProcessEnvironment(e);
    }
    Child child;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(PATHMERE_CLI_PATH), args);
    (void)QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 180000);
    child.ms = clock.elapsed();
    child.code = process.exitCode();
    child.out = process.readAllStandardOutput();
    child.err = process.readAllStandardError();
    // A row measured on a failed run is no figure: show why it failed.
    if (child.code != 0)
        std::fprintf(stderr, "%s: exit %d\n%s%s", qPrintable(args.first()), child.code, child.out.constData(),
                     child.err.constData());
    return child;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    // Not in a test LAN yet: build one around ourselves.
    if (TestLan::enterOwnLan(argc, argv, "bench_cli") != 0)
        return 1;

    QCoreApplication app(argc, argv);
    const QString why = TestLan::unavailableReason();
    if (!why.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }
    const int repeat = BenchOptions(argc, argv).number("--repeat", 3, 1, 20);

    CamsimProcess camsim;
    // The cameras own their addresses, as real ones do: a settings record
    // goes by unicast to a camera on this computer's link.
    if (!camsim.start(0, {QStringLiteral("--fleet"), QString::number(Fleet), QStringLiteral("--quiet"),
                          QStringLiteral("--interface"), TestLan::cameraInterface(), QStringLiteral("--own"),
                          QStringLiteral("1"),
                          QStringLiteral("--user"), QStringLiteral("admin"), QStringLiteral("--password"),
                          QStringLiteral("bench-pw")}, 60000)) {
        std::fprintf(stderr, "camsim: %s\n", qPrintable(camsim.errorText()));
        return 1;
    }

    QList<qint64> window;
    QList<qint64> cli;
    int windowFound = 0;
    int cliFound = 0;
    QString someMac;
    for (int i = 0; i < repeat; ++i) {
        {
            DiscoveryService discovery;
            SearchManager *manager = SearchManager::getInstance();
            manager->setSearchTypes(SearchManager::UtilitySearchBit);
            QElapsedTimer clock;
            clock.start();
            manager->startSearch(QString());
            QEventLoop loop;
            QTimer::singleShot(5000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
            loop.exec();
            windowFound = manager->getDeviceList().size();
            window.append(clock.elapsed());
        }
        const Child child = runCli({QStringLiteral("search"), QStringLiteral("--format"), QStringLiteral("json")});
        cli.append(child.ms);
        const QJsonArray found = QJsonDocument::fromJson(child.out).array();
        cliFound = found.size();
        if (!found.isEmpty())
            someMac = found.first().toObject().value(QStringLiteral("mac")).toString();
    }
    std::printf("search_window_wall_ms: %lld (%d cameras)\n", median(window), windowFound);
    std::printf("search_cli_wall_ms: %lld (%d cameras)\n", median(cli), cliFound);
    std::printf("search_cli_ratio: %.3f\n", double(median(cli)) / double(median(window)));

    const QByteArray password("PATHMERE_PASSWORD=bench-pw");
    const Child one = runCli({QStringLiteral("set"), someMac, QStringLiteral("--ip"),
                              QStringLiteral("192.0.2.250"), QStringLiteral("--seconds"), QStringLiteral("3"),
                              QStringLiteral("--user"), QStringLiteral("admin")}, password);
    std::printf("set_one_wall_ms: %lld (exit %d)\n", one.ms, one.code);
    const Child batch = runCli({QStringLiteral("assign"), QStringLiteral("--range"),
                                QStringLiteral("198.51.100.10-198.51.100.254"), QStringLiteral("--mask"),
                                QStringLiteral("255.255.255.0"), QStringLiteral("--gateway"), QStringLiteral("198.51.100.1"),
                                QStringLiteral("--seconds"), QStringLiteral("3"), QStringLiteral("--user"),
                                QStringLiteral("admin")}, password);
    std::printf("assign_200_wall_ms: %lld (exit %d)\n", batch.ms, batch.code);
    std::printf("assign_200_ratio: %.3f\n", double(batch.ms) / double(qMax<qint64>(1, one.ms)));
    int confirmed = 0;
    for (const QByteArray &line : batch.out.split('\n'))
        confirmed += line.endsWith(" confirmed") && !line.endsWith(" not confirmed");
    std::printf("assign_200_confirmed: %d\n", confirmed);
    camsim.stop();
    return one.code == 0 && batch.code == 0 ? 0 : 1;
}
