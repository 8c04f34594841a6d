// The whole update as a user meets it, against a real HTTP server on
// loopback: a signed package is downloaded, unpacked and its program started
// (a script that records that it ran), and every bad package is refused
// with the running program kept and nothing written outside the extraction
// folder; checks that meet an update under way void nothing; a server never
// names a file of ours; a signed package is never installed twice or older.

#include "packageinstaller.h"
#include "updatefixture.h"
#include "updateharness.h"
#include "updatepaths.h"
#include "usermessage.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QTest>

namespace {
const QString packagePath = QStringLiteral("/pkg/Pathmere-1.2.0.0.zip");

QJsonObject file(const QString &name, const QString &text, int mode = 0644)
{
    return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("text"), text}, {QStringLiteral("mode"), mode}};
}

QJsonObject entry(const QString &name, const QString &key, const QJsonValue &value)
{
    return QJsonObject{{QStringLiteral("name"), name}, {key, value}};
}

// Every file below root, relative, sorted.
QStringList tree(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}
} // namespace

class TestUpdateInstall : public QObject
{
    Q_OBJECT

private:
    UpdateFixture *fixture = nullptr;
    QString marker;

    // Where the program keeps a download (its own name, not the server's).
    QString packageOnDisk() const { return UpdatePaths::packageFile(); }
    QString extraction() const { return fixture->dataFolder() + QStringLiteral("tmpOTAUpdateFile/"); }

    // The new program: records where it ran.
    QJsonObject program(int mode = 0755) const
    {
        return file(QStringLiteral("Pathmere"), QStringLiteral("#!/bin/sh\npwd > '%1'\n").arg(marker), mode);
    }

    // Runs a user check that answers "Yes" and waits until the program
    // quits or the user is told why not.
    void runUpdate(UpdateHarness &h)
    {
        h.coordinator.checkSWUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(h.quitRequested || h.messages.size() >= 2, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!h.coordinator.installRunning(), 30000);
    }

private slots:
    void initTestCase()
    {
        fixture = new UpdateFixture;
        QVERIFY(fixture->isValid());
        marker = fixture->home() + QStringLiteral("/started.txt");
    }
    void cleanupTestCase() { delete fixture; }
    void init()
    {
        fixture->resetDataFolder();
        QFile::remove(marker);
    }

    void signedPackageIsInstalledAndStarted()
    {
        // Left over from an earlier update: must not survive.
        QVERIFY(QDir().mkpath(extraction() + QStringLiteral("old")));
        QFile stale(extraction() + QStringLiteral("old/stale.txt"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();

        const QByteArray package = fixture->makePackage({
            program(),
            entry(QStringLiteral("share/"), QStringLiteral("dir"), 1),
            file(QStringLiteral("lib/a/b/c/deep.txt"), QStringLiteral("deep")),
            file(QStringLiteral("empty.txt"), QString()),
            entry(QStringLiteral("data.bin"), QStringLiteral("random"), 300000),
        });
        QVERIFY(!package.isEmpty());
        fixture->publish(QStringLiteral("1.2.0.0"), packagePath, package);
        UpdateHarness h(fixture->publicKey);
        runUpdate(h);

        QVERIFY2(h.quitRequested, qPrintable(h.messages.join(QLatin1Char('\n'))));
        QCOMPARE(h.messages, QStringList{QStringLiteral("There is new software version 1.2.0.0 can be download.")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
        QFile ran(marker);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(QFileInfo(QString::fromLocal8Bit(ran.readAll().trimmed())).canonicalFilePath(),
                 QFileInfo(extraction()).canonicalFilePath());
        QVERIFY(!QFile::exists(packageOnDisk()));
        QCOMPARE(tree(extraction()), (QStringList{QStringLiteral("Pathmere"), QStringLiteral("data.bin"),
                                                  QStringLiteral("empty.txt"), QStringLiteral("lib"),
                                                  QStringLiteral("lib/a"), QStringLiteral("lib/a/b"),
                                                  QStringLiteral("lib/a/b/c"), QStringLiteral("lib/a/b/c/deep.txt"),
                                                  QStringLiteral("share")}));
        QCOMPARE(QFileInfo(extraction() + QStringLiteral("empty.txt")).size(), 0);
        QCOMPARE(QFileInfo(extraction() + QStringLiteral("data.bin")).size(), 300000);
        QCOMPARE(QFileInfo(extraction() + QStringLiteral("Pathmere")).permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
                     | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        const QSettings record(fixture->dataFolder() + QStringLiteral("update.cfg"), QSettings::IniFormat);
        QCOMPARE(record.value(QStringLiteral("OTA/Version")).toString(), QStringLiteral("1.2.0.0"));
        QCOMPARE(record.value(QStringLiteral("OTA/FileSize")).toLongLong(), qint64(package.size()));
        QCOMPARE(UpdateFixture::mode(fixture->dataFolder() + QStringLiteral("update.cfg")), 0600);
    }

    void badPackageIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("packageKept");
        QTest::newRow("wrong signature") << "signature"
            << "The update was refused because the package could not be verified." << false;
        QTest::newRow("no signature") << "nosignature"
            << "The update was refused because the package could not be verified." << false;
        // A part, or more than the description promised, is never kept.
        QTest::newRow("truncated body") << "truncated" << "Download zip file fail !!" << false;
        QTest::newRow("longer than described") << "longer" << "Download zip file fail !!" << false;
        QTest::newRow("../ entry") << "dotdot" << "could not be unpacked" << true;
        QTest::newRow("absolute entry") << "absolute" << "could not be unpacked" << true;
        QTest::newRow("symlink entry") << "symlink" << "could not be unpacked" << true;
        QTest::newRow("not executable") << "noexec" << "contains no program to start" << true;
        QTest::newRow("no program") << "noprogram" << "contains no program to start" << true;
        QTest::newRow("not a zip") << "garbage" << "could not be unpacked" << true;
    }
    void badPackageIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(bool, packageKept);

        // What an earlier update left must still be there afterwards.
        QVERIFY(QDir().mkpath(extraction()));
        QFile earlier(extraction() + QStringLiteral("earlier.txt"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.close();
        const QString outside = fixture->home() + QStringLiteral("/outside");
        QDir(outside).removeRecursively();
        QVERIFY(QDir().mkpath(outside));

        QJsonArray entries{program(), file(QStringLiteral("readme.txt"), QStringLiteral("hello"))};
        if (kind == QLatin1String("dotdot"))
            entries.append(file(QStringLiteral("../../../../outside/evil.txt"), QStringLiteral("x")));
        else if (kind == QLatin1String("absolute"))
            entries.append(file(outside + QStringLiteral("/evil.txt"), QStringLiteral("x")));
        else if (kind == QLatin1String("symlink"))
            entries.append(entry(QStringLiteral("lib"), QStringLiteral("link"), outside));
        else if (kind == QLatin1String("noexec"))
            entries[0] = program(0644);
        else if (kind == QLatin1String("noprogram"))
            entries.removeFirst();
        QByteArray package = kind == QLatin1String("garbage") ? QByteArray(5000, 'g') : fixture->makePackage(entries);
        QVERIFY(!package.isEmpty());

        const QString version = QStringLiteral("1.2.0.0");
        if (kind == QLatin1String("signature"))
            fixture->publish(version, packagePath, package, -1, UpdateFixture::signWithStrangerKey(package));
        else if (kind == QLatin1String("nosignature"))
            fixture->publish(version, packagePath, package, -1, QByteArray(""));
        else if (kind == QLatin1String("truncated"))
            fixture->publish(version, packagePath, package, -1, QByteArray(), UpdateServer::CutShort);
        else if (kind == QLatin1String("longer"))
            fixture->publish(version, packagePath, package, package.size() - 10);
        else
            fixture->publish(version, packagePath, package);

        UpdateHarness h(fixture->publicKey);
        runUpdate(h);
        QVERIFY(!h.quitRequested);
        QCOMPARE(h.messages.size(), 2);
        QVERIFY2(h.messages.at(1).contains(message), qPrintable(h.messages.at(1)));
        QTest::qWait(200);
        QVERIFY(!QFile::exists(marker));
        QVERIFY(tree(outside).isEmpty());
        QCOMPARE(QFile::exists(packageOnDisk()), packageKept);
        if (kind != QLatin1String("noexec") && kind != QLatin1String("noprogram"))
            QCOMPARE(tree(extraction()), QStringList{QStringLiteral("earlier.txt")});

        // A part or an unverified package never counts as downloaded: the
        // next check offers the update again.
        if (kind == QLatin1String("truncated") || kind == QLatin1String("signature")) {
            UpdateHarness again(fixture->publicKey, false);
            again.coordinator.checkSWUpdate();
            QTRY_COMPARE_WITH_TIMEOUT(again.messages.size(), 1, 5000);
        }
    }

    // The day's check asks, and while the question is open the page and the
    // user ask again; while the package comes, they ask once more. Nothing
    // of that voids the question or the download, and the page hears of the
    // version offered each time.
    void checksDuringTheQuestionAndTheDownloadVoidNothing()
    {
        const QByteArray package = fixture->makePackage({program(), entry(QStringLiteral("big.bin"), QStringLiteral("random"), 2000000)});
        QVERIFY(!package.isEmpty());
        fixture->publish(QStringLiteral("1.2.0.0"), packagePath, package);
        const int before = fixture->server.requests(UpdateFixture::descriptionPath);
        const int packageBefore = fixture->server.requests(packagePath);
        UpdateHarness h(fixture->publicKey);
        bool askedAgain = false;
        UserMessage::setObserver([&](const QString &, const QString &text) {
            h.messages << text;
            if (!askedAgain && text.startsWith(QStringLiteral("There is new software version"))) {
                askedAgain = true;
                h.coordinator.checkVersionFromWeb();
                h.coordinator.checkSWUpdate();
                // Long enough for any check started here to come back.
                QTest::qWait(500);
            }
        });
        bool duringDownload = false;
        QObject::connect(h.manager(), &DownloadManager::downloadZip, &h.window, [&](qint64 received, qint64) {
            if (!duringDownload && received > 0) {
                duringDownload = true;
                h.coordinator.checkVersionFromWeb();
                h.coordinator.checkSWUpdate();
            }
        });
        h.coordinator.windowShown(true);
        QTRY_VERIFY_WITH_TIMEOUT(h.quitRequested || h.messages.size() >= 2, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!h.coordinator.installRunning(), 30000);

        QVERIFY2(h.quitRequested, qPrintable(h.messages.join(QLatin1Char('\n'))));
        QCOMPARE(h.messages, QStringList{QStringLiteral("There is new software version 1.2.0.0 can be download.")});
        QVERIFY(duringDownload);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
        QCOMPARE(h.webTexts.size(), 2);
        for (const QJsonObject &text : qAsConst(h.webTexts)) {
            const QJsonObject params = text.value(QStringLiteral("payload")).toObject().value(QStringLiteral("params")).toObject();
            QCOMPARE(params.value(QStringLiteral("Status")).toString(), QStringLiteral("Is_need_update"));
            QCOMPARE(params.value(QStringLiteral("Version")).toString(), QStringLiteral("1.2.0.0"));
        }
        QCOMPARE(fixture->server.requests(UpdateFixture::descriptionPath), before + 1);
        QCOMPARE(fixture->server.requests(packagePath), packageBefore + 1);
    }

    // Whoever answers the check names the package's path. Whatever name it
    // ends in, the download goes to a file of our own, and what it brings
    // is in no other file afterwards.
    void serverChosenNameIsNeverUsed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("setting.ini") << "setting.ini";
        QTest::newRow("update.cfg") << "update.cfg";
        QTest::newRow("ServerUpdate.cfg") << "ServerUpdate.cfg";
    }
    void serverChosenNameIsNeverUsed()
    {
        QFETCH(QString, name);
        const QString settingsFile = fixture->dataFolder() + QStringLiteral("setting.ini");
        QFile settings(settingsFile);
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray settingsBefore = settings.readAll();
        settings.close();

        // What an attacker on the path would serve: settings that open the
        // bridge to its page, 4096 bytes as the description says, signed by
        // a key this program does not trust (it has no other).
        QByteArray body = "[Web]\nAllowedOrigins=https://attacker.example\n";
        body += ';' + QByteArray(4096 - body.size() - 2, 'x') + '\n';
        QCOMPARE(body.size(), 4096);
        const QString path = QStringLiteral("/pkg/") + name;
        const QByteArray manifest = UpdateFixture::manifest(QStringLiteral("1.2.0.0"), path, body);
        fixture->server.serve(path, body);
        fixture->server.serve(UpdateFixture::descriptionPath,
                              fixture->description(QStringLiteral("1.2.0.0"), path, body.size(),
                                                   UpdateFixture::signWithStrangerKey(manifest), manifest));
        const int packageBefore = fixture->server.requests(path);
        UpdateHarness h(fixture->publicKey);
        runUpdate(h);

        QVERIFY(!h.quitRequested);
        QCOMPARE(fixture->server.requests(path), packageBefore + 1);
        QCOMPARE(h.messages, (QStringList{QStringLiteral("There is new software version 1.2.0.0 can be download."),
                                          QStringLiteral("The update was refused because the package could not be verified.")}));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), settingsBefore);
        QVERIFY(!QFile::exists(packageOnDisk()));
        QStringList files = QDir(fixture->dataFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        files.sort();
        QCOMPARE(files, (QStringList{QStringLiteral("ServerUpdate.cfg"), QStringLiteral("setting.ini"),
                                     QStringLiteral("update.cfg")}));
        for (const QString &file : qAsConst(files)) {
            QFile f(fixture->dataFolder() + file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(!f.readAll().contains("attacker.example"), qPrintable(file));
        }
    }

    // A package its publisher really signed, but for an older version, is
    // offered as a newer one: refused, and nothing of it stays.
    void replayedOlderPackageIsRefused()
    {
        const QByteArray older = fixture->makePackage({program()});
        QVERIFY(!older.isEmpty());
        fixture->publish(QStringLiteral("1.2.0.0"), packagePath, older, -1, QByteArray(), UpdateServer::Whole,
                         UpdateFixture::manifest(QStringLiteral("1.1.1005.0"), packagePath, older));
        UpdateHarness h(fixture->publicKey);
        runUpdate(h);
        QVERIFY(!h.quitRequested);
        QCOMPARE(h.messages, (QStringList{QStringLiteral("There is new software version 1.2.0.0 can be download."),
                                          QStringLiteral("The update was refused because the package could not be verified.")}));
        QTest::qWait(200);
        QVERIFY(!QFile::exists(marker));
        QVERIFY(!QFile::exists(packageOnDisk()));
        QVERIFY(!QFileInfo::exists(extraction() + QStringLiteral("Pathmere")));
    }

    // Once installed, a version is never offered again, even when the
    // running program is older (a downgrade through the package manager):
    // replaying its signed package gets "up to date".
    void installedVersionIsNeverOfferedAgain()
    {
        const QByteArray package = fixture->makePackage({program()});
        fixture->publish(QStringLiteral("1.2.0.0"), packagePath, package);
        const int packageBefore = fixture->server.requests(packagePath);
        UpdateHarness first(fixture->publicKey);
        runUpdate(first);
        QVERIFY2(first.quitRequested, qPrintable(first.messages.join(QLatin1Char('\n'))));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
        QCOMPARE(fixture->server.requests(packagePath), packageBefore + 1);

        UpdateHarness again(fixture->publicKey);
        again.coordinator.checkSWUpdate();
        QTRY_COMPARE_WITH_TIMEOUT(again.messages, QStringList{QStringLiteral("Software is up to date.")}, 5000);
        again.coordinator.checkVersionFromWeb();
        QTRY_COMPARE_WITH_TIMEOUT(again.webTexts.size(), 1, 5000);
        const QJsonObject params = again.webTexts.at(0).value(QStringLiteral("payload")).toObject()
                                       .value(QStringLiteral("params")).toObject();
        QCOMPARE(params.value(QStringLiteral("Status")).toString(), QStringLiteral("Is_not_need_update"));
        QTest::qWait(200);
        QCOMPARE(fixture->server.requests(packagePath), packageBefore + 1);
    }

    void cancelledDownloadInstallsNothing()
    {
        const QByteArray package = fixture->makePackage({program(), entry(QStringLiteral("big.bin"), QStringLiteral("random"), 200000)});
        fixture->publish(QStringLiteral("1.2.0.0"), packagePath, package, -1, QByteArray(), UpdateServer::Stall);
        const int before = fixture->server.requests(packagePath);
        UpdateHarness h(fixture->publicKey);
        h.coordinator.checkSWUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(fixture->server.requests(packagePath) == before + 1, 5000);
        QVERIFY2(h.manager()->isVisible(), qPrintable(h.messages.join(QLatin1Char('\n'))));
        QTest::qWait(200);
        QCOMPARE(UpdateFixture::mode(packageOnDisk()), 0600);
        h.manager()->cancelDownload();
        QTRY_VERIFY_WITH_TIMEOUT(!h.manager()->isVisible(), 5000);
        QTest::qWait(200);
        QCOMPARE(h.messages.size(), 1);
        QVERIFY(!h.quitRequested);
        QVERIFY(!QFile::exists(marker));
        QVERIFY(!QFile::exists(fixture->dataFolder() + QStringLiteral("update.cfg")));
        QVERIFY(!QFile::exists(packageOnDisk()));
    }

    void missingPackageAsksToDownloadAgain()
    {
        UpdateHarness h(fixture->publicKey, false);
        h.coordinator.ready4Update();
        QCOMPARE(h.messages, QStringList{QStringLiteral("File not exist, do you want to download again?")});
    }

    // Entry limits that a server cannot be trusted with, straight through
    // the unpacking.
    void archiveLimits()
    {
        QJsonArray many;
        for (int i = 0; i <= PackageInstaller::maxEntries; ++i)
            many.append(file(QStringLiteral("f%1").arg(i), QString()));
        const QByteArray package = fixture->makePackage(many);
        const QString zip = fixture->home() + QStringLiteral("/many.zip");
        QFile out(zip);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(package);
        out.close();
        QString error;
        QVERIFY(!PackageInstaller::unzipPackage(zip, extraction(), &error));
        QVERIFY2(error.contains(QStringLiteral("entries")), qPrintable(error));
        QVERIFY(!QFileInfo::exists(extraction()));

        QVERIFY(!PackageInstaller::unzipPackage(fixture->home() + QStringLiteral("/none.zip"), extraction(), &error));
    }
};

QTEST_MAIN(TestUpdateInstall)
#include "tst_updateinstall.moc"
