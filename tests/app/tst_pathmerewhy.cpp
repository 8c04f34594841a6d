// The window on a test LAN whose firewall drops the search's answers, as a
// user meets it: the search lists nothing, the line under the table offers
// "Why?", and the checks it opens name the firewall rule and its fix, the
// same fix `pathmere-cli doctor` prints. Once the fix is run, the camera is
// listed and the line goes.

#include "camsimprocess.h"
#include "networkcheckdialog.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "testlan.h"
#include "whyline.h"
#include "windowlanscene.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

const char DropTable[] = "table inet pmwhy {\n chain input {\n  type filter hook input priority 0; policy accept;\n"
                         "  ct state established,related accept\n  udp dport 8000 drop\n }\n}\n";
const char Fix[] = "sudo nft insert rule inet pmwhy input udp dport 8000 accept";

bool nft(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("nft"), arguments);
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The dialog's row for a check and the fix shown beneath it.
QString fixShownFor(const QTreeWidget *list, const QString &where)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        if (item->text(1) != where)
            continue;
        for (int c = 0; c < item->childCount(); ++c) {
            if (item->child(c)->text(1) == QLatin1String("fix"))
                return item->child(c)->text(2);
        }
    }
    return QString();
}

} // namespace

class TestPathmereWhy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firewallDropNamedUnderTheTable();

private:
    WindowLanScene scene;
};

void TestPathmereWhy::initTestCase()
{
    TESTLAN_REQUIRE();
    const QString failed = scene.start({"--camera", "mac=02:50:4d:00:0d:21,model=ZR-20,name=Gate,ip=192.0.2.41"});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY(nft({QStringLiteral("-f"), QStringLiteral("-")}, DropTable));
}

void TestPathmereWhy::cleanupTestCase()
{
    nft({QStringLiteral("delete"), QStringLiteral("table"), QStringLiteral("inet"), QStringLiteral("pmwhy")});
}

void TestPathmereWhy::firewallDropNamedUnderTheTable()
{
    QVERIFY(scene.openWindow());
    scene.search();
    QCOMPARE(scene.access->rowCount(), 0);
    WhyLine *why = scene.access->whyLine();
    QVERIFY(why);
    QVERIFY2(why->isShown() && why->text().contains(QLatin1String(">Why?</a>")), qPrintable(why->text()));
    // The line offers; it opens nothing by itself.
    QTest::qWait(200);
    QVERIFY(!why->dialog());
    QVERIFY(!QApplication::activeModalWidget());

    auto *label = scene.window->findChild<QLabel *>(QStringLiteral("whyLabel"));
    QVERIFY(label && label->isVisible());
    emit label->linkActivated(QStringLiteral("why"));
    NetworkCheckDialog *dialog = why->dialog();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QSignalSpy done(dialog, &NetworkCheckDialog::finished);
    QVERIFY(done.wait(60000));
    // The window stays usable while the checks run and after.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(scene.access->searchButton()->isEnabled());

    const auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("checkList"));
    QVERIFY(list);
    const QString where = QStringLiteral("firewall udp 8000");
    QString shown;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        shown += list->topLevelItem(i)->text(0) + QLatin1Char(' ') + list->topLevelItem(i)->text(1) + QLatin1Char('\n');
    QCOMPARE(fixShownFor(list, where), QString::fromLatin1(Fix));
    bool named = false;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        if (item->text(1) == where) {
            named = item->text(0) == QLatin1String("problem")
                    && item->text(2).contains(QLatin1String("drops incoming UDP port 8000"));
        }
    }
    QVERIFY2(named, qPrintable(shown));

    // The command line names the same rule with the same fix.
    QProcess cli;
    cli.start(qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli"),
              {QStringLiteral("doctor"), QStringLiteral("--no-live"), QStringLiteral("--no-probe"),
               QStringLiteral("--format"), QStringLiteral("json")});
    QVERIFY(cli.waitForFinished(30000));
    QString fromDoctor;
    const QJsonArray checks =
        QJsonDocument::fromJson(cli.readAllStandardOutput()).object().value(QStringLiteral("checks")).toArray();
    for (const QJsonValue &v : checks) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("check")).toString() == QLatin1String("firewall")
            && o.value(QStringLiteral("subject")).toString() == QLatin1String("udp 8000"))
            fromDoctor = o.value(QStringLiteral("fix")).toString();
    }
    QCOMPARE(fromDoctor, QString::fromLatin1(Fix));

    // The fix as shown, run as root already is: the camera is listed.
    QVERIFY(nft(QString::fromLatin1(Fix).split(QLatin1Char(' ')).mid(2)));
    dialog->close();
    scene.search();
    QCOMPARE(scene.access->rowCount(), 1);
    QVERIFY2(!why->isShown(), qPrintable(why->text()));
}

QTEST_MAIN(TestPathmereWhy)
#include "tst_pathmerewhy.moc"
