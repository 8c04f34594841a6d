// bench_shell: what the application shell costs a user.
//
//   startup_ratio   median time from process start to an idle event loop with
//                   the main window shown, against a minimal Qt Widgets
//                   program (one window, one button) started the same way
//   startup_floor_ratio
//                   the same for the window's form alone (its widgets and
//                   the table's header at the window's fixed size, none of
//                   the window's parts): what no deferring of work gets under
//   memory_ratio    resident memory once idle, same pair
//   fill_ms, sort_ms, max_stall_ms
//                   10 000 devices put into the table and sorted by three
//                   columns; the stall is the longest gap seen by a 5 ms
//                   heartbeat on the GUI thread over the whole sequence
//
//   bench_shell [--repeat N] [--devices N]
//
// Both contenders run as child processes of this program on the same
// platform plugin, alternating, so machine noise hits them alike. No search
// is started: nothing goes on the network.
#include "benchoptions.h"
#include "devicetable.h"
#include "discoveryservice.h"
#include "pathmere.h" // and the form it is built from (Ui::Pathmere)
#include "pathmeretestaccess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec ts = {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Child: show the window, and once the event loop is idle print the time
// since the parent's start stamp and the resident memory, then quit.
int runChild(int argc, char **argv, const QByteArray &kind, qint64 startNs)
{
    QApplication app(argc, argv);
    QWidget *window = nullptr;
    std::unique_ptr<DiscoveryService> discovery;
    if (kind == "window") {
        discovery = std::make_unique<DiscoveryService>();
        window = new Pathmere;
    } else if (kind == "form") {
        window = new QWidget;
        Ui::Pathmere form;
        form.setupUi(window);
        new DeviceTable(form.searchTable, 1.0, window);
        window->setFixedSize(891, 664);
    } else {
        window = new QWidget;
        auto *layout = new QVBoxLayout(window);
        layout->addWidget(new QPushButton(QStringLiteral("Search"), window));
        window->resize(891, 664);
    }
    window->show();
    QTimer::singleShot(0, &app, [&] {
        const double ms = double(monotonicNs() - startNs) / 1e6;
        // Let deferred work (timers armed at start, first paints) settle
        // before reading memory.
        QTimer::singleShot(300, &app, [&, ms] {
            std::printf("%.3f %ld\n", ms, residentKb());
            std::fflush(stdout);
            app.quit();
        });
    });
    const int rc = app.exec();
    delete window;
    return rc;
}

bool measureChild(const QString &self, const char *kind, double *ms, double *kb)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BENCH_SHELL_START_NS"), QString::number(monotonicNs()));
    child.setProcessEnvironment(env);
    child.start(self, {QStringLiteral("--child"), QString::fromLatin1(kind)});
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        return false;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2)
        return false;
    *ms = fields.at(0).toDouble();
    *kb = fields.at(1).toDouble();
    return true;
}

QList<DeviceRecord> devices(int count)
{
    QList<DeviceRecord> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        DeviceRecord d;
        d.model = QStringLiteral("SIM-CAM%1").arg((i * 7919) % 97, 3, 10, QLatin1Char('0'));
        d.name = QStringLiteral("CAM-%1").arg((i * 104729) % count, 5, 10, QLatin1Char('0'));
        d.fwVersion = QStringLiteral("1.%1.%2").arg(i % 5).arg(i % 11);
        d.ip = QStringLiteral("198.51.%1.%2").arg((i / 250) % 256).arg(i % 250 + 1);
        d.mac = QStringLiteral("02:50:4d:%1:%2:%3")
                    .arg((i >> 16) & 0xff, 2, 16, QLatin1Char('0'))
                    .arg((i >> 8) & 0xff, 2, 16, QLatin1Char('0'))
                    .arg(i & 0xff, 2, 16, QLatin1Char('0'));
        d.mask = QStringLiteral("255.255.255.0");
        d.ipv6 = QStringLiteral("2001:db8::%1").arg(i, 0, 16);
        list << d;
    }
    return list;
}

void fillAndSort(int count)
{
    DiscoveryService discovery;
    Pathmere window;
    window.show();
    PathmereTestAccess access(&window);
    const QList<DeviceRecord> list = devices(count);
    QCoreApplication::processEvents();

    qint64 last = monotonicNs();
    qint64 maxGap = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = monotonicNs();
        maxGap = std::max(maxGap, now - last);
        last = now;
    });

    QEventLoop loop;
    double fillMs = 0;
    std::vector<double> sortMs;
    const int columns[] = {6, 4, 3};
    int step = 0;
    QTimer driver;
    driver.setSingleShot(true);
    driver.setInterval(50);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        const qint64 begin = monotonicNs();
        if (step == 0) {
            access.showDevices(list);
            fillMs = double(monotonicNs() - begin) / 1e6;
        } else if (step <= 3) {
            emit access.table()->horizontalHeader()->sectionClicked(columns[step - 1]);
            sortMs.push_back(double(monotonicNs() - begin) / 1e6);
        } else {
            loop.quit();
            return;
        }
        ++step;
        driver.start();
    });
    heartbeat.start();
    last = monotonicNs();
    driver.start();
    loop.exec();

    std::printf("devices: %d\n", access.rowCount());
    std::printf("fill_ms: %.1f\n", fillMs);
    std::printf("sort_ms: %.1f\n", median(sortMs));
    std::printf("max_stall_ms: %.1f\n", double(maxGap) / 1e6);
    std::printf("stall_target_met: %s\n", maxGap <= 250 * 1000000LL ? "yes" : "no");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, argv[2], qgetenv("BENCH_SHELL_START_NS").toLongLong());

    const BenchOptions options(argc, argv);
    const int repeat = options.number("--repeat", 7);
    const int deviceCount = options.number("--devices", 10000);

    // Autostart look-ups and logs of the window stay in a scratch home.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const QString self = QString::fromLocal8Bit(argv[0]);
    std::vector<double> windowMs, minimalMs, formMs, windowKb, minimalKb;
    // One unmeasured round warms the file cache for both.
    double ms = 0, kb = 0;
    measureChild(self, "minimal", &ms, &kb);
    measureChild(self, "window", &ms, &kb);
    measureChild(self, "form", &ms, &kb);
    for (int i = 0; i < repeat; ++i) {
        if (!measureChild(self, "minimal", &ms, &kb)) {
            std::fprintf(stderr, "bench_shell: the minimal program failed\n");
            return 1;
        }
        minimalMs.push_back(ms);
        minimalKb.push_back(kb);
        if (!measureChild(self, "window", &ms, &kb)) {
            std::fprintf(stderr, "bench_shell: the window program failed\n");
            return 1;
        }
        windowMs.push_back(ms);
        windowKb.push_back(kb);
        if (!measureChild(self, "form", &ms, &kb)) {
            std::fprintf(stderr, "bench_shell: the form alone failed\n");
            return 1;
        }
        formMs.push_back(ms);
    }
    std::printf("startup_window_ms: %.1f\n", median(windowMs));
    std::printf("startup_minimal_ms: %.1f\n", median(minimalMs));
    std::printf("startup_ratio: %.2f\n", median(windowMs) / median(minimalMs));
    std::printf("startup_form_ms: %.1f\n", median(formMs));
    std::printf("startup_floor_ratio: %.2f\n", median(formMs) / median(minimalMs));
    std::printf("idle_rss_window_kb: %.0f\n", median(windowKb));
    std::printf("idle_rss_minimal_kb: %.0f\n", median(minimalKb));
    std::printf("memory_ratio: %.2f\n", median(windowKb) / median(minimalKb));
    std::fflush(stdout);

    QApplication app(argc, argv);
    fillAndSort(deviceCount);
    return 0;
}
