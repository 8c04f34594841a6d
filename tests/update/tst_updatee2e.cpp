// The real program updating itself as a user sees it, on Xvfb: the check of
// the day finds a newer version, "Yes" in the question box downloads it from
// a loopback server, and the new "Pathmere" (a script that records that it
// ran) starts while the old program ends. A package signed with another key
// is refused with the old program still running. The descriptions are
// written by pathmere-update-sign, as a publisher would, with the build
// tree's test key, which this build of the program trusts.

#include "pathmeresandbox.h"
#include "privatenetwork.h"
#include "updatefixture.h"
#include "staticfileserver.h"
#include "xvfbserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

class TestUpdateEndToEnd : public QObject
{
    Q_OBJECT

private:
    XvfbServer xserver;
    UpdateFixture *fixture = nullptr;
    StaticFileServer server;
    QString www;
    QString base;

    // Publishes package as version 1.2.0.0 with the description that
    // pathmere-update-sign writes for secretKey (PEM, or its own format).
    bool publish(const QByteArray &package, const QString &secretKey)
    {
        QDir().mkpath(www + QStringLiteral("/Skyrelay"));
        const QString zipPath = www + QStringLiteral("/Pathmere-1.2.0.0.zip");
        QFile zip(zipPath);
        if (!zip.open(QIODevice::WriteOnly))
            return false;
        zip.write(package);
        zip.close();
        QProcess sign;
        sign.start(QStringLiteral(PATHMERE_UPDATE_SIGN), {QStringLiteral("describe"), secretKey, zipPath,
                                                          QStringLiteral("1.2.0.0"),
                                                          base + QStringLiteral("/Pathmere-1.2.0.0.zip")});
        if (!sign.waitForFinished(10000) || sign.exitCode() != 0)
            return false;
        QFile description(www + QStringLiteral("/Skyrelay/update.cfg"));
        return description.open(QIODevice::WriteOnly) && description.write(sign.readAllStandardOutput()) > 0;
    }

    // Starts the program with the server published and answers "Yes" to
    // the question of the day's check.
    QProcess *startAndAgree(PathmereSandbox &sandbox, const QString &marker)
    {
        QDir().mkpath(sandbox.home() + QStringLiteral("/.local/share/Pathmere"));
        QSettings(sandbox.home() + QStringLiteral("/.local/share/Pathmere/setting.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("Update/DescriptionUrl"), base + QStringLiteral("/Skyrelay/update.cfg"));
        sandbox.useDisplay(xserver.display());
        sandbox.setEnv(QStringLiteral("UPDATE_MARKER"), marker);
        QProcess *process = sandbox.start();
        const pid_t pid = pid_t(process->processId());
        if (!xserver.waitForViewableWindow(pid, QStringLiteral("Software Update"), PathmereSandbox::StartTimeoutMs))
            return nullptr;
        QString box;
        for (const XvfbServer::Window &w : xserver.windows(pid)) {
            if (w.title == QLatin1String("Software Update") && w.viewable)
                box = w.id;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), xserver.display());
        QProcess xdotool;
        xdotool.setProcessEnvironment(env);
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box,
                                                  QStringLiteral("key"), QStringLiteral("alt+y")});
        return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0 ? process : nullptr;
    }

private slots:
    void initTestCase()
    {
        if (QStringLiteral(PATHMERE_UPDATE_TEST_SECRET_KEY).isEmpty())
            QSKIP("this build trusts a release key, not a test key of the build tree");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        QVERIFY2(xserver.start(), "Xvfb did not start");
        fixture = new UpdateFixture;
        QVERIFY(fixture->isValid());
        www = fixture->home() + QStringLiteral("/www");
        QVERIFY(QDir().mkpath(www));
        QVERIFY(server.start(www));
        base = server.baseUrl();
    }
    void cleanupTestCase()
    {
        server.stop();
        delete fixture;
    }

    void newVersionReplacesTheProgram()
    {
        PathmereSandbox sandbox;
        QVERIFY(sandbox.isValid());
        const QString marker = sandbox.root() + QStringLiteral("/new-program-ran.txt");
        const QByteArray package = fixture->makePackage({QJsonObject{
            {QStringLiteral("name"), QStringLiteral("Pathmere")},
            {QStringLiteral("text"), QStringLiteral("#!/bin/sh\npwd > \"$UPDATE_MARKER\"\n")},
            {QStringLiteral("mode"), 0755}}});
        QVERIFY(!package.isEmpty());
        QVERIFY(publish(package, QStringLiteral(PATHMERE_UPDATE_TEST_SECRET_KEY)));

        QProcess *process = startAndAgree(sandbox, marker);
        QVERIFY2(process, qPrintable(sandbox.logText()));
        QVERIFY2(process->waitForFinished(30000), qPrintable(sandbox.logText()));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
        const QString data = sandbox.home() + QStringLiteral("/.local/share/Pathmere/");
        QFile ran(marker);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(ran.readAll().trimmed()) + QLatin1Char('/'),
                 QFileInfo(data + QStringLiteral("tmpOTAUpdateFile")).canonicalFilePath() + QLatin1Char('/'));
        QVERIFY(!QFile::exists(data + QStringLiteral("OTAUpdatePackage.zip")));
        QVERIFY(sandbox.logText().contains(QStringLiteral("Update started")));
    }

    void packageOfAnotherKeyIsRefused()
    {
        PathmereSandbox sandbox;
        QVERIFY(sandbox.isValid());
        const QString marker = sandbox.root() + QStringLiteral("/new-program-ran.txt");
        const QByteArray package = fixture->makePackage({QJsonObject{
            {QStringLiteral("name"), QStringLiteral("Pathmere")},
            {QStringLiteral("text"), QStringLiteral("#!/bin/sh\npwd > \"$UPDATE_MARKER\"\n")},
            {QStringLiteral("mode"), 0755}}});
        // Signed with a key of its own, which this program does not trust.
        const QString strangerKey = fixture->home() + QStringLiteral("/stranger.key");
        QFile::remove(strangerKey);
        QCOMPARE(QProcess::execute(QStringLiteral(PATHMERE_UPDATE_SIGN), {QStringLiteral("keygen"), strangerKey}), 0);
        QVERIFY(publish(package, strangerKey));

        QProcess *process = startAndAgree(sandbox, marker);
        QVERIFY2(process, qPrintable(sandbox.logText()));
        QVERIFY2(sandbox.waitForLog(QStringLiteral("Update not installed: the signature does not match the package"), 30000),
                 qPrintable(sandbox.logText()));
        QVERIFY(xserver.waitForViewableWindow(pid_t(process->processId()), QStringLiteral("Software Update"), 10000));
        QTest::qWait(500);
        QCOMPARE(process->state(), QProcess::Running);
        QVERIFY(!QFile::exists(marker));
        QVERIFY(!QFileInfo::exists(sandbox.home() + QStringLiteral("/.local/share/Pathmere/tmpOTAUpdateFile/Pathmere")));
    }
};

int main(int argc, char *argv[])
{
    // The program listens on a machine-wide loopback port; a network
    // namespace of our own keeps other runs out (and the update server in).
    const bool isolated = PrivateNetwork::enter();
    QCoreApplication app(argc, argv);
    if (isolated)
        PrivateNetwork::ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")});
    TestUpdateEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updatee2e.moc"
