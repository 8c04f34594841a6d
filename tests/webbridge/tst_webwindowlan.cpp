// The main window's side of the web page's device list, in-process so the
// table can be watched: a page's UpdateDeviceList runs a search of its own,
// answers six seconds later with the simulated cameras, and leaves the
// table, its list, the progress bar and the buttons as they were. Runs in
// the namespace test LAN; the page is Qt's JavaScript client under Node.js.
#include "discoveryservice.h"
#include "camsimprocess.h"
#include "nodechannelclient.h"
#include "pathmeretestaccess.h"
#include "testlan.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

class TestWebWindowLan : public QObject
{
    Q_OBJECT

private slots:
    void pageSearchLeavesTheTableAlone()
    {
        TESTLAN_REQUIRE();
        const QString nodeMissing = NodeChannelClient::unavailableReason();
        QVERIFY2(nodeMissing.isEmpty(), qPrintable(nodeMissing));

        CamsimProcess camsim;
        QVERIFY2(camsim.start(0, {QStringLiteral("--camera"), QStringLiteral("ip=192.0.2.91,mac=02:50:4d:00:09:01,name=North"),
                                  QStringLiteral("--camera"), QStringLiteral("ip=192.0.2.92,mac=02:50:4d:00:09:02,name=South")}),
                 qPrintable(camsim.errorText()));

        DiscoveryService discovery;
        Pathmere window;
        PathmereTestAccess access(&window);
        DeviceRecord shown;
        shown.name = QStringLiteral("Shown-Before");
        shown.model = QStringLiteral("OLD-1");
        shown.ip = QStringLiteral("192.0.2.99");
        shown.mac = QStringLiteral("02:50:4d:00:09:99");
        access.showDevices({shown});
        QCOMPARE(access.rowCount(), 1);

        NodeChannelClient node;
        QVERIFY(node.start());
        node.open(QStringLiteral("page"), QStringLiteral("ws://127.0.0.1:15248"));
        QVERIFY2(node.waitReady(QStringLiteral("page")), qPrintable(node.errorOutput()));

        QElapsedTimer clock;
        clock.start();
        node.send(QStringLiteral("page"), QStringLiteral(R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}})"));
        bool untouched = true;
        const bool answered = node.waitFor([&] {
            untouched = untouched && access.rowCount() == 1 && access.progressBar()->value() == 0
                && access.searchButton()->isEnabled() && access.searchProgress() == 0;
            return !node.texts(QStringLiteral("page")).isEmpty();
        }, 12000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY(answered);
        QVERIFY(untouched);
        QVERIFY2(elapsed >= 5900 && elapsed < 9000, qPrintable(QString::number(elapsed)));

        const QJsonArray devices = node.texts(QStringLiteral("page")).first().value(QStringLiteral("payload")).toObject()
                                       .value(QStringLiteral("params")).toArray();
        QStringList names;
        for (const QJsonValue &d : devices)
            names << d.toObject().value(QStringLiteral("Name")).toString();
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("North"), QStringLiteral("South")}));

        // The table and the list behind its rows still show the old search.
        QCOMPARE(access.rowCount(), 1);
        QCOMPARE(access.deviceList().size(), 1);
        QCOMPARE(access.deviceList().first().mac, shown.mac);
        int shownCells = 0;
        for (int column = 0; column < access.table()->model()->columnCount(); ++column)
            shownCells += access.cell(0, column) == QLatin1String("Shown-Before") ? 1 : 0;
        QVERIFY(shownCells == 1);
        camsim.stop();
    }
};

QTEST_MAIN(TestWebWindowLan)
#include "tst_webwindowlan.moc"
