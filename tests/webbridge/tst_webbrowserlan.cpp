// The local control page in a real browser: headless Chromium opens
// web/index.html, from its file and as the program serves it, inside the
// program's namespace, where the real Pathmere
// serves the bridge and camsim plays the cameras. The page must list the
// cameras, show the outcome of a power-on and the VISCA and version checks.
#include "camsimprocess.h"
#include "nodechannelclient.h"
#include "pathmeresandbox.h"
#include "testlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

class TestWebBrowserLan : public QObject
{
    Q_OBJECT

private slots:
    // The page as Pathmere serves it over HTTP, and opened from its file:
    // Chromium sends the origin "null" for a file, which is refused unless
    // the user lists it.
    void pageListsCamerasAndPowersOne_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("nullListed");
        QTest::newRow("served") << QStringLiteral("http://127.0.0.1:15249/index.html") << false;
        QTest::newRow("file, null listed") << qEnvironmentVariable("PATHMERE_WEB_PAGE") << true;
    }

    void pageListsCamerasAndPowersOne()
    {
        QFETCH(QString, page);
        QFETCH(bool, nullListed);
        TESTLAN_REQUIRE();
        const QString nodeMissing = NodeChannelClient::unavailableReason();
        QVERIFY2(nodeMissing.isEmpty(), qPrintable(nodeMissing));
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty(), "chromium is not installed");

        QUdpSocket noticeHolder;   // keeps other sessions' notices away
        QVERIFY(noticeHolder.bind(QHostAddress::Any, 56731, QAbstractSocket::DontShareAddress));

        CamsimProcess camsim;
        QVERIFY2(camsim.start(0, {QStringLiteral("--camera"),
                                  QStringLiteral("ip=192.0.2.81,mac=02:50:4d:00:08:01,name=Stage-Left,model=PX-WEB,fw=3.1.4,power=standby"),
                                  QStringLiteral("--camera"),
                                  QStringLiteral("ip=192.0.2.82,mac=02:50:4d:00:08:02,name=Lectern,model=PX-WEB,fw=3.1.4,power=on")}),
                 qPrintable(camsim.errorText()));

        PathmereSandbox sandbox;
        QVERIFY(sandbox.isValid());
        {
            // No DNS answers in the test LAN: point the update check at a
            // loopback port nobody listens on, so the page's version check
            // ends at once with the server unreachable.
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            QSettings settings(sandbox.home() + QStringLiteral("/.local/share/Pathmere/setting.ini"), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Update/DescriptionUrl"),
                              QStringLiteral("http://127.0.0.1:%1/Skyrelay/update.cfg").arg(closed.serverPort()));
            if (nullListed)
                settings.setValue(QStringLiteral("Web/AllowedOrigins"), QStringLiteral("null"));
        }
        sandbox.start({QStringLiteral("-hide")});
        QVERIFY(QTest::qWaitFor([] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, 15248);
            return probe.waitForConnected(200);
        }, 20000));

        QProcess browser;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NODE_PATH"), qEnvironmentVariable("PATHMERE_WEB_NODE_DIR") + QStringLiteral("/node_modules"));
        browser.setProcessEnvironment(env);
        browser.start(QStringLiteral("node"), {qEnvironmentVariable("PATHMERE_WEB_BROWSER_SCRIPT"),
                                               page,
                                               qEnvironmentVariable("PATHMERE_WEB_SCREENSHOT"),
                                               QStringLiteral("02:50:4d:00:08:01"), QStringLiteral("2")});
        QVERIFY(browser.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return browser.state() == QProcess::NotRunning; }, 90000));
        const QByteArray out = browser.readAllStandardOutput();
        const QJsonObject result = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
        QVERIFY2(!result.isEmpty() && !result.contains(QStringLiteral("error")),
                 qPrintable(QString::fromUtf8(out + browser.readAllStandardError())));

        QVERIFY2(result.value(QStringLiteral("listed")).toBool(), qPrintable(QString::fromUtf8(out)));
        QVERIFY(result.value(QStringLiteral("connection")).toString().startsWith(QLatin1String("Connected")));
        const QJsonArray rows = result.value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.size(), 2);
        QStringList macs;
        for (const QJsonValue &row : rows) {
            const QJsonArray cells = row.toArray();
            QCOMPARE(cells.at(0).toString(), QStringLiteral("PX-WEB"));
            macs << cells.at(4).toString();
        }
        macs.sort();
        QCOMPARE(macs, (QStringList{QStringLiteral("02:50:4d:00:08:01"), QStringLiteral("02:50:4d:00:08:02")}));

        QVERIFY2(result.value(QStringLiteral("poweredOn")).toBool(), qPrintable(QString::fromUtf8(out)));
        QVERIFY(camsim.count(QStringLiteral("power")) >= 1 || QTest::qWaitFor([&] {
            return camsim.count(QStringLiteral("power")) >= 1; }, 2000));
        QVERIFY(result.value(QStringLiteral("viscaChecked")).toBool());
        QVERIFY(result.value(QStringLiteral("versionChecked")).toBool());
        QVERIFY(!result.value(QStringLiteral("versionState")).toString().isEmpty());
        // Every message is shown in words, not only as the program's code word.
        const QJsonArray messages = result.value(QStringLiteral("messages")).toArray();
        bool completedInWords = false;
        for (const QJsonValue &m : messages) {
            if (m.toString().contains(QLatin1String("The camera completed the power-on command")))
                completedInWords = true;
        }
        QVERIFY(completedInWords);
        QVERIFY(QFile::exists(result.value(QStringLiteral("screenshot")).toString()));
        camsim.stop();
    }
};

QTEST_GUILESS_MAIN(TestWebBrowserLan)
#include "tst_webbrowserlan.moc"
