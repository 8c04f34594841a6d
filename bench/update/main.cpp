// Software update benchmark, loopback only. Prints "name: value" lines.
//
// unpack_*: PackageInstaller::unzipPackage on a 64 MiB package (half random,
// half compressible files) against Info-ZIP "unzip -q" on the same file,
// alternated, median of the runs.
// download_*: DownloadManager fetching the package from a local Python HTTP
// server against curl from the same server, alternated; throughput ratio.
// stall_*: the longest gap of a 5 ms timer on the event loop while the
// package downloads (the first download apart: it also shows the dialog
// for the first time) and while it is verified and unpacked on a worker (as the
// program does), against unpacking on the event loop itself.

#include "downloadmanager.h"
#include "packageinstaller.h"
#include "staticfileserver.h"
#include "updatemanifest.h"
#include "updateversion.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFutureWatcher>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int runs = 3;
constexpr int randomFiles = 64;            // 1 MiB each: the package is 64 MiB and more
constexpr int textFiles = 32;              // 1 MiB each, compressible
const char *makeZip = R"(
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    line = b"".join(b"camera %06d 192.0.2.%d ok\n" % (i, i % 250) for i in range(40000))
    random, text = int(sys.argv[2]), int(sys.argv[3])
    for i in range(random + text):
        info = zipfile.ZipInfo("data/part%03d.bin" % i)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o100644 << 16
        z.writestr(info, os.urandom(1 << 20) if i < random else line[:1 << 20])
    info = zipfile.ZipInfo("Pathmere")
    info.external_attr = 0o100755 << 16
    z.writestr(info, b"#!/bin/sh\n")
)";

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs = 120000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// The longest gap between ticks of a 5 ms timer while it runs.
class StallMeter
{
public:
    StallMeter()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            worst = std::max(worst, clock.restart());
        });
    }
    void start() { worst = 0; clock.start(); timer.start(); }
    qint64 stop() { timer.stop(); return std::max(worst, clock.elapsed()); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 worst = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (sodium_init() < 0)
        return 1;
    const QString scratch = QDir::currentPath() + QStringLiteral("/bench-update");
    QDir(scratch).removeRecursively();
    QDir().mkpath(scratch + QStringLiteral("/www"));
    qputenv("XDG_DATA_HOME", (scratch + QStringLiteral("/data")).toLocal8Bit());
    const QString package = scratch + QStringLiteral("/www/Pathmere-9.0.zip");
    if (QProcess::execute(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(makeZip), package,
                                                       QString::number(randomFiles), QString::number(textFiles)}) != 0) {
        std::fprintf(stderr, "bench_update: cannot make the package\n");
        return 1;
    }
    const qint64 size = QFileInfo(package).size();
    std::printf("package_bytes: %lld\n", static_cast<long long>(size));

    // --- unpacking
    std::vector<double> ours, theirs;
    for (int i = 0; i < runs; ++i) {
        QString error;
        QElapsedTimer t;
        t.start();
        if (!PackageInstaller::unzipPackage(package, scratch + QStringLiteral("/ours/"), &error)) {
            std::fprintf(stderr, "bench_update: %s\n", qPrintable(error));
            return 1;
        }
        ours.push_back(t.nsecsElapsed() / 1e6);
        QDir(scratch + QStringLiteral("/theirs")).removeRecursively();
        t.restart();
        QProcess::execute(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), package,
                                                     QStringLiteral("-d"), scratch + QStringLiteral("/theirs")});
        theirs.push_back(t.nsecsElapsed() / 1e6);
    }
    // Both must have written the same bytes for the times to compare.
    const auto treeBytes = [](const QString &root) {
        qint64 total = 0;
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            total += it.fileInfo().size();
        }
        return total;
    };
    const qint64 unpacked = treeBytes(scratch + QStringLiteral("/ours"));
    std::printf("unpacked_bytes: %lld\nunpacked_bytes_equal_to_unzip: %d\n", static_cast<long long>(unpacked),
                int(unpacked == treeBytes(scratch + QStringLiteral("/theirs"))));
    std::printf("unpack_ms: %.1f\nunpack_unzip_ms: %.1f\nunpack_ratio_vs_unzip: %.2f\n", median(ours), median(theirs),
                median(ours) / median(theirs));

    // --- download
    StaticFileServer server;
    if (!server.start(scratch + QStringLiteral("/www")))
        return 1;
    const QString base = server.baseUrl() + QLatin1Char('/');
    QFile description(scratch + QStringLiteral("/www/update.cfg"));
    description.open(QIODevice::WriteOnly);
    description.write("[OTA]\nVersion=9.0\nPath=" + base.toUtf8() + "Pathmere-9.0.zip\nFileSize=" + QByteArray::number(size) + "\n");
    description.close();
    QDir().mkpath(scratch + QStringLiteral("/data/Pathmere"));
    QSettings(scratch + QStringLiteral("/data/Pathmere/setting.ini"), QSettings::IniFormat)
        .setValue(QStringLiteral("Update/DescriptionUrl"), base + QStringLiteral("update.cfg"));

    std::vector<double> ourDownload, curlDownload;
    // The first download also pays for the dialog's first showing (fonts).
    qint64 downloadStall = 0;
    qint64 firstDownloadStall = 0;
    StallMeter meter;
    // One manager for all runs, as the program keeps one for its lifetime.
    DownloadManager manager;
    bool checked = false, ready = false, failed = false;
    QObject::connect(&manager, &DownloadManager::versionUpdate, [&](bool) { checked = true; });
    QObject::connect(&manager, &DownloadManager::ready4Update, [&] { ready = true; });
    QObject::connect(&manager, &DownloadManager::prepareUpdateFail, [&](int) { failed = true; });
    for (int i = 0; i < runs; ++i) {
        QFile::remove(scratch + QStringLiteral("/data/Pathmere/update.cfg"));
        checked = ready = failed = false;
        manager.checkForUpdate();
        if (!waitUntil([&] { return checked || failed; }))
            return 1;
        QElapsedTimer t;
        t.start();
        meter.start();
        manager.startNextDownload();
        if (!waitUntil([&] { return ready || failed; }) || failed)
            return 1;
        manager.hideProgress();
        const qint64 stall = meter.stop();
        if (i == 0)
            firstDownloadStall = stall;
        else
            downloadStall = std::max(downloadStall, stall);
        ourDownload.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                                   scratch + QStringLiteral("/curl.zip"), base + QStringLiteral("Pathmere-9.0.zip")});
        curlDownload.push_back(t.nsecsElapsed() / 1e6);
    }
    server.stop();
    const double mib = size / 1048576.0;
    std::printf("download_mib_per_s: %.1f\ndownload_curl_mib_per_s: %.1f\ndownload_throughput_ratio_vs_curl: %.2f\n",
                mib / (median(ourDownload) / 1000), mib / (median(curlDownload) / 1000),
                median(curlDownload) / median(ourDownload));

    // --- stalls while installing: on a worker (the program) and inline
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    QFile zip(package);
    zip.open(QIODevice::ReadOnly);
    const QByteArray bytes = zip.readAll();
    // Signed as a publisher signs: the manifest of the package.
    UpdateManifest manifest;
    manifest.version = QStringLiteral("9.0");
    manifest.fileName = QStringLiteral("Pathmere-9.0.zip");
    manifest.size = bytes.size();
    manifest.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    const QByteArray text = manifest.encode();
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(text.constData()), quint64(text.size()), sk);
    const PackageVerifier::Offer offer{manifest.version, manifest.fileName, text.toBase64(), signature.toBase64()};
    const QByteArray key(reinterpret_cast<const char *>(pk), sizeof pk);
    const QString floor = UpdateVersion::programVersion();
    QFutureWatcher<PackageInstaller::Outcome> watcher;
    meter.start();
    watcher.setFuture(QtConcurrent::run(&PackageInstaller::install, package, offer, key, floor,
                                        scratch + QStringLiteral("/worker/")));
    waitUntil([&] { return watcher.isFinished(); });
    const qint64 workerStall = meter.stop();
    if (watcher.result().result != PackageInstaller::Outcome::Ready)
        return 1;
    meter.start();
    QTimer::singleShot(0, [&] {
        PackageInstaller::install(package, offer, key, floor, scratch + QStringLiteral("/inline/"));
    });
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] { return settle.elapsed() > 50; });
    const qint64 inlineStall = meter.stop();
    std::printf("stall_download_first_ms: %lld\n", static_cast<long long>(firstDownloadStall));
    std::printf("stall_download_ms: %lld\nstall_install_worker_ms: %lld\nstall_install_inline_ms: %lld\n"
                "stall_install_ratio_worker_vs_inline: %.3f\n",
                static_cast<long long>(downloadStall), static_cast<long long>(workerStall),
                static_cast<long long>(inlineStall), double(workerStall) / double(std::max<qint64>(1, inlineStall)));
    QDir(scratch).removeRecursively();
    return 0;
}
