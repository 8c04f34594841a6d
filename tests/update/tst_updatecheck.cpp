// The update check against a real HTTP server on loopback: the version
// order, the decision whether to download, what the web page hears, checks
// that meet, the check of the day that fails or has no server to ask, and
// the modes of the data (tst_updatewindow checks the check of the day
// through the window).

#include "updatefixture.h"
#include "updateharness.h"
#include "privatestore.h"
#include "updatepaths.h"
#include "updateversion.h"

#include "recordinglogger.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private:
    UpdateFixture *fixture = nullptr;
    const QString packagePath = QStringLiteral("/pkg/Pathmere-1.1.1011.0.zip");

    // Waits until the description was fetched and every answer had time
    // to arrive.
    void settle(int descriptionRequestsBefore)
    {
        QTRY_VERIFY_WITH_TIMEOUT(fixture->server.requests(UpdateFixture::descriptionPath) > descriptionRequestsBefore, 5000);
        QTest::qWait(300);
    }

    void recordDownloaded(const QString &version, qint64 size, qint64 sizeOnDisk)
    {
        QSettings local(fixture->dataFolder() + QStringLiteral("update.cfg"), QSettings::IniFormat);
        local.setValue(QStringLiteral("OTA/Version"), version);
        local.setValue(QStringLiteral("OTA/Path"), fixture->server.url(packagePath));
        local.setValue(QStringLiteral("OTA/FileSize"), size);
        QFile file(UpdatePaths::packageFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(int(sizeOnDisk), 'z'));
    }

private slots:
    void initTestCase()
    {
        fixture = new UpdateFixture;
        QVERIFY(fixture->isValid());
    }
    void cleanupTestCase() { delete fixture; }
    void init() { fixture->resetDataFolder(); }

    void versionsCompareNumberByNumber_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<bool>("newer");
        QTest::newRow("shorter number is older") << "1.1.999.0" << false;
        QTest::newRow("same") << "1.1.1010.0" << false;
        QTest::newRow("same, fewer parts") << "1.1.1010" << false;
        QTest::newRow("next build") << "1.1.1011.0" << true;
        QTest::newRow("minor") << "1.2" << true;
        QTest::newRow("extra part") << "1.1.1010.0.1" << true;
        QTest::newRow("older major") << "0.9.9999.9" << false;
        QTest::newRow("letters") << "1.1.1011.0-beta" << false;
        QTest::newRow("empty part") << "1..2" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("sign") << "+2.0" << false;
        QTest::newRow("huge part") << "1.1.99999999999.0" << false;
    }
    void versionsCompareNumberByNumber()
    {
        QFETCH(QString, candidate);
        QFETCH(bool, newer);
        QCOMPARE(UpdateVersion::isNewer(candidate, UpdateVersion::programVersion()), newer);
    }

    // What a user (or the daily) check decides, and what the user is asked.
    void decision_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("recorded");   // 0 none, 1 whole file on disk, 2 a part on disk
        QTest::addColumn<bool>("needDownload");
        QTest::addColumn<QString>("message");
        QTest::newRow("first run, newer") << "1.1.1011.0" << 0 << true
                                          << "There is new software version 1.1.1011.0 can be download.";
        QTest::newRow("string-greater but older") << "1.1.999.0" << 0 << true << "Software is up to date.";
        QTest::newRow("already downloaded") << "1.1.1011.0" << 1 << false << "";
        QTest::newRow("only a part on disk") << "1.1.1011.0" << 2 << true
                                             << "There is new software version 1.1.1011.0 can be download.";
    }
    void decision()
    {
        QFETCH(QString, version);
        QFETCH(int, recorded);
        QFETCH(bool, needDownload);
        QFETCH(QString, message);
        const qint64 size = 1000;
        fixture->server.serve(UpdateFixture::descriptionPath, fixture->description(version, packagePath, size, "c2ln"));
        if (recorded)
            recordDownloaded(version, size, recorded == 1 ? size : size / 2);
        UpdateHarness h(fixture->publicKey, false);
        QSignalSpy spy(h.manager(), &DownloadManager::versionUpdate);
        const int before = fixture->server.requests(UpdateFixture::descriptionPath);
        h.coordinator.checkSWUpdate();
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.at(0).at(0).toBool(), needDownload);
        QCOMPARE(h.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(QFile::exists(fixture->dataFolder() + QStringLiteral("ServerUpdate.cfg")));
        settle(before);
        // Answered "No": nothing was fetched.
        QCOMPARE(fixture->server.requests(packagePath), 0);
    }

    void descriptionsThatAreNotOne()
    {
        UpdateHarness h(fixture->publicKey);
        QSignalSpy version(h.manager(), &DownloadManager::versionUpdate);
        QSignalSpy fail(h.manager(), &DownloadManager::prepareUpdateFail);

        // Sections, but none handled: versionUpdate(false).
        fixture->server.serve(UpdateFixture::descriptionPath, "[Firmware]\nVersion=9.9\nPath=http://127.0.0.1/x.zip\n");
        h.coordinator.checkSWUpdate();
        QVERIFY(version.wait(5000));
        QCOMPARE(version.takeFirst().at(0).toBool(), false);

        // An error page served as if it were the description: no signal.
        fixture->server.serve(UpdateFixture::descriptionPath, "<html><body>Oops</body></html>");
        int before = fixture->server.requests(UpdateFixture::descriptionPath);
        h.coordinator.checkSWUpdate();
        settle(before);
        QVERIFY(version.isEmpty() && fail.isEmpty() && h.messages.isEmpty());

        // Larger than any description: refused as a failed download.
        fixture->server.serve(UpdateFixture::descriptionPath,
                              "[OTA]\nVersion=1.2\n;" + QByteArray(int(DownloadManager::maxDescriptionSize), 'x') + "\n");
        h.coordinator.checkSWUpdate();
        QVERIFY(fail.wait(5000));
        QCOMPARE(fail.takeFirst().at(0).toInt(), int(DownloadManager::DescriptionDownloadFail));
        QCOMPARE(h.messages, QStringList{QStringLiteral("Download cfg file fail !!")});

        // 404.
        fixture->server.remove(UpdateFixture::descriptionPath);
        h.coordinator.checkSWUpdate();
        QVERIFY(fail.wait(5000));
        QCOMPARE(h.messages.size(), 2);
        QVERIFY(version.isEmpty());
    }

    // The web page's "CheckVersion": a status answer, never a download.
    void webCheck_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("answered");
        QTest::newRow("newer") << "1.2.0.0" << "Is_need_update" << "1.2.0.0";
        QTest::newRow("string-greater but older") << "1.1.999.0" << "Is_not_need_update" << "";
        QTest::newRow("same") << "1.1.1010.0" << "Is_not_need_update" << "";
    }
    void webCheck()
    {
        QFETCH(QString, version);
        QFETCH(QString, status);
        QFETCH(QString, answered);
        fixture->server.serve(UpdateFixture::descriptionPath, fixture->description(version, packagePath, 10, "c2ln"));
        UpdateHarness h(fixture->publicKey);
        QSignalSpy spy(h.manager(), &DownloadManager::versionUpdate);
        h.coordinator.checkVersionFromWeb();
        QTRY_COMPARE_WITH_TIMEOUT(h.webTexts.size(), 1, 5000);
        const QJsonObject payload = h.webTexts.at(0).value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.value(QStringLiteral("name")).toString(), QStringLiteral("CheckVersion"));
        const QJsonObject params = payload.value(QStringLiteral("params")).toObject();
        QCOMPARE(params.value(QStringLiteral("Status")).toString(), status);
        QVERIFY(params.value(QStringLiteral("Version")).isString());
        QCOMPARE(params.value(QStringLiteral("Version")).toString(), answered);
        QTest::qWait(200);
        QVERIFY(spy.isEmpty());
        QCOMPARE(h.manager()->startNextDownload(), 0);
        QCOMPARE(fixture->server.requests(packagePath), 0);
        QVERIFY(h.messages.isEmpty());
    }

    void webCheckWithServerDown()
    {
        // A port nobody listens on: the page hears error 6, the user nothing.
        fixture->pointAtClosedPort();
        UpdateHarness h(fixture->publicKey);
        h.coordinator.checkVersionFromWeb();
        QTRY_COMPARE_WITH_TIMEOUT(h.webTexts.size(), 1, 5000);
        QCOMPARE(h.webTexts.at(0).value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Message"));
        QVERIFY(QJsonDocument(h.webTexts.at(0)).toJson().contains("Download_cfg_Fail"));
        QVERIFY(h.messages.isEmpty());
    }

    // The check of the day that cannot reach its server: logged and shown
    // as a status line, never as a box that takes the user's next click. A
    // check the user asks for still answers with its box.
    void dayCheckFailureIsNoBox()
    {
        fixture->pointAtClosedPort();
        const LogCapture logger;

        UpdateHarness h(fixture->publicKey);
        QSignalSpy fail(h.manager(), &DownloadManager::prepareUpdateFail);
        QSignalSpy status(&h.coordinator, &UpdateCoordinator::statusLineChanged);
        h.coordinator.windowShown(true);
        QVERIFY(fail.wait(5000));
        QTest::qWait(100);
        QCOMPARE(h.messages, QStringList());
        QVERIFY(h.webTexts.isEmpty());
        QCOMPARE(status.size(), 1);
        QVERIFY2(h.coordinator.statusLine().startsWith(QStringLiteral("Automatic update check failed at ")),
                 qPrintable(h.coordinator.statusLine()));
        QVERIFY(logger.messages().contains(
            QStringLiteral("Automatic update check failed: the update description could not be downloaded.")));

        h.coordinator.checkSWUpdate();
        QVERIFY(fail.wait(5000));
        QTRY_COMPARE_WITH_TIMEOUT(h.messages, QStringList{QStringLiteral("Download cfg file fail !!")}, 2000);
    }

    // A build that cannot install an update (no release key), or that has
    // no update server (the placeholder host, no Update/DescriptionUrl),
    // never goes to the network for one.
    void buildWithoutUpdateServerNeverChecks()
    {
        fixture->server.serve(UpdateFixture::descriptionPath, fixture->description("1.2.0.0", packagePath, 10, "c2ln"));
        const int before = fixture->server.requests(UpdateFixture::descriptionPath);
        const QString packageManager = QStringLiteral("This build gets its updates from the package manager.");
        {
            UpdateHarness keyless{QByteArray()};
            QVERIFY(!keyless.coordinator.updatesItself());
            keyless.coordinator.windowShown(true);
            keyless.coordinator.checkSWUpdate();
            keyless.coordinator.checkVersionFromWeb();
            QTRY_COMPARE_WITH_TIMEOUT(keyless.webTexts.size(), 1, 5000);
            const QJsonObject params = keyless.webTexts.at(0).value(QStringLiteral("payload")).toObject()
                                           .value(QStringLiteral("params")).toObject();
            QCOMPARE(params.value(QStringLiteral("Status")).toString(), QStringLiteral("Is_not_need_update"));
            QCOMPARE(keyless.messages, QStringList{packageManager});
            QCOMPARE(keyless.manager()->state(), int(DownloadManager::Idle));
        }

        QSettings settings(fixture->dataFolder() + QStringLiteral("setting.ini"), QSettings::IniFormat);
        const QString named = settings.value(QStringLiteral("Update/DescriptionUrl")).toString();
        if (UpdatePaths::isPlaceholderHost(UpdatePaths::defaultDescriptionUrl().host())) {
            settings.remove(QStringLiteral("Update/DescriptionUrl"));
            settings.remove(QStringLiteral("Common/AppOpenDate"));
            settings.sync();
            UpdateHarness placeholder(fixture->publicKey);
            QVERIFY(!placeholder.coordinator.updatesItself());
            placeholder.coordinator.windowShown(true);
            QCOMPARE(placeholder.manager()->state(), int(DownloadManager::Idle));
            placeholder.coordinator.checkSWUpdate();
            QCOMPARE(placeholder.manager()->state(), int(DownloadManager::Idle));
            QCOMPARE(placeholder.messages, QStringList{packageManager});
        }
        QTest::qWait(300);
        QCOMPARE(fixture->server.requests(UpdateFixture::descriptionPath), before);

        // A server named in setting.ini is a real one: the day's check runs.
        settings.setValue(QStringLiteral("Update/DescriptionUrl"), named);
        settings.remove(QStringLiteral("Common/AppOpenDate"));
        settings.sync();
        UpdateHarness configured(fixture->publicKey, false);
        QVERIFY(configured.coordinator.updatesItself());
        configured.coordinator.windowShown(true);
        QTRY_COMPARE_WITH_TIMEOUT(fixture->server.requests(UpdateFixture::descriptionPath), before + 1, 5000);
    }

    // The day's check, the page and the user ask at once: one description
    // answers all three, and the question of the day stands.
    void checksAskedDuringACheckJoinIt()
    {
        fixture->server.serve(UpdateFixture::descriptionPath, fixture->description("1.2.0.0", packagePath, 10, "c2ln"));
        const int before = fixture->server.requests(UpdateFixture::descriptionPath);
        UpdateHarness h(fixture->publicKey, false);
        h.coordinator.windowShown(true);
        h.coordinator.checkVersionFromWeb();
        h.coordinator.checkSWUpdate();
        QTRY_COMPARE_WITH_TIMEOUT(h.webTexts.size(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(h.messages.size(), 1, 5000);
        QTest::qWait(300);
        QCOMPARE(h.messages, QStringList{QStringLiteral("There is new software version 1.2.0.0 can be download.")});
        const QJsonObject params = h.webTexts.at(0).value(QStringLiteral("payload")).toObject()
                                       .value(QStringLiteral("params")).toObject();
        QCOMPARE(params.value(QStringLiteral("Status")).toString(), QStringLiteral("Is_need_update"));
        QCOMPARE(params.value(QStringLiteral("Version")).toString(), QStringLiteral("1.2.0.0"));
        QCOMPARE(fixture->server.requests(UpdateFixture::descriptionPath), before + 1);
    }

    // What an older build left readable by others is narrowed, and what
    // this one writes is private from the start.
    void dataIsPrivate()
    {
        QVERIFY(QFile::setPermissions(fixture->dataFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                                 | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                                                 | QFile::ExeOther));
        const QString settingsFile = fixture->dataFolder() + QStringLiteral("setting.ini");
        QVERIFY(QFile::setPermissions(settingsFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                        | QFile::ReadOther));
        fixture->server.serve(UpdateFixture::descriptionPath, fixture->description("1.2.0.0", packagePath, 10, "c2ln"));
        UpdateHarness h(fixture->publicKey, false);
        QSignalSpy spy(h.manager(), &DownloadManager::versionUpdate);
        h.coordinator.windowShown(true);
        QVERIFY(spy.wait(5000));
        QCOMPARE(UpdateFixture::mode(fixture->dataFolder()), 0700);
        QCOMPARE(UpdateFixture::mode(settingsFile), 0600);
        QCOMPARE(UpdateFixture::mode(fixture->dataFolder() + QStringLiteral("ServerUpdate.cfg")), 0600);
        QCOMPARE(QSettings(settingsFile, QSettings::IniFormat).value(QStringLiteral("Common/AppOpenDate")).toString(),
                 QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    }

    // What the private store makes and what it refuses to touch: a link
    // planted where one of our files goes is never followed.
    void privateStoreFollowsNoLink()
    {
        const QString root = fixture->home() + QStringLiteral("/store");
        QDir(root).removeRecursively();
        const QString folder = root + QStringLiteral("/a/b/Pathmere/");
        QVERIFY(PrivateStore::makeFolder(folder));
        QCOMPARE(UpdateFixture::mode(folder), 0700);

        const QString outside = root + QStringLiteral("/outside.txt");
        QFile target(outside);
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write("keep");
        target.close();
        QVERIFY(QFile::setPermissions(outside, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        const int outsideMode = UpdateFixture::mode(outside);
        const QString link = folder + QStringLiteral("setting.ini");
        QVERIFY(QFile::link(outside, link));
        QVERIFY(!PrivateStore::prepareFile(link));
        QVERIFY(!PrivateStore::narrowFile(link));
        QCOMPARE(UpdateFixture::mode(outside), outsideMode);

        QFile made;
        QVERIFY(PrivateStore::createNew(link, &made));
        made.write("new");
        made.close();
        QVERIFY(!QFileInfo(link).isSymLink());
        QCOMPARE(UpdateFixture::mode(link), 0600);
        QFile kept(outside);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep"));

        QVERIFY(PrivateStore::narrowFile(root + QStringLiteral("/none")));
        QVERIFY(!QFile::exists(root + QStringLiteral("/none")));
    }

    void descriptionUrlFromSettings()
    {
        QSettings settings(fixture->dataFolder() + QStringLiteral("setting.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Update/DescriptionUrl"), QStringLiteral("file:///etc/passwd"));
        settings.sync();
        const DownloadManager refused;
        QCOMPARE(refused.descriptionUrl().host(), QUrl(QStringLiteral("http://" PATHMERE_UPDATE_HOST)).host());
        QCOMPARE(refused.descriptionUrl().path(), QStringLiteral("/Skyrelay/update.cfg"));
        settings.remove(QStringLiteral("Update/DescriptionUrl"));
        settings.sync();
        QCOMPARE(DownloadManager().descriptionUrl(), refused.descriptionUrl());
    }

    // The built-in URL is https; plain http is taken only when setting.ini
    // names it, and the log says so.
    void plainHttpOnlyWhenNamed()
    {
        QSettings settings(fixture->dataFolder() + QStringLiteral("setting.ini"), QSettings::IniFormat);
        settings.remove(QStringLiteral("Update/DescriptionUrl"));
        settings.sync();
        QCOMPARE(DownloadManager().descriptionUrl().scheme(), QStringLiteral("https"));

        const LogCapture logger;
        const QString http = QStringLiteral("http://192.0.2.10:8080/Skyrelay/update.cfg");
        settings.setValue(QStringLiteral("Update/DescriptionUrl"), http);
        settings.sync();
        QCOMPARE(DownloadManager().descriptionUrl().toString(), http);
        QVERIFY(logger.messages().contains(
            QStringLiteral("Update description over plain http, as Update/DescriptionUrl in setting.ini says: ") + http));
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
