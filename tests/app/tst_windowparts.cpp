// The main window's parts on their own, at the edges the whole window cannot
// easily reach: the segment commands a poll takes, the progress outcomes of a
// setting, and which table columns sort.
#include "devicelistcsv.h"
#include "devicetable.h"
#include "adapterchooser.h"
#include "devicetablemodel.h"
#include "ipctrl.h"
#include "networkcheckdialog.h"
#include "sampleadapter.h"
#include "samplecamera.h"
#include "searchprogress.h"
#include "segmentpoll.h"
#include "sessionsegment.h"
#include "settingsform.h"
#include "singleinstance.h"
#include "subnetmove.h"
#include "utilityprotocol.h"
#include "utilitysearch.h"
#include "usermessage.h"
#include "whyline.h"

#include <QAction>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QLabel>
#include <QProcess>
#include <QTreeWidget>
#include <QProgressBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

QWidget *cellWidget(const QTableView &view, int row, int column)
{
    return view.indexWidget(view.model()->index(row, column));
}

QString cellText(const QTableView &view, int row, int column)
{
    return view.model()->index(row, column).data().toString();
}

DeviceRecord device(const QString &mac, const QString &ipv6)
{
    DeviceRecord d = sampleCamera(mac, QStringLiteral("PX"), QString(), mac);
    d.ipv6 = ipv6;
    return d;
}

// One adapter, lan0, in 192.0.2.0/24.
AdapterSurvey lan0Survey()
{
    AdapterSurvey survey;
    survey.adapters.append(sampleAdapter(QStringLiteral("lan0"), QStringLiteral("192.0.2.1")));
    return survey;
}

} // namespace

class TestWindowParts : public QObject
{
    Q_OBJECT

private slots:
    void segmentCommandsAreTakenOnce();
    void settingOutcomes_data();
    void settingOutcomes();
    void searchEndsAfterFiftyTicks();
    void sortableColumnsAndDirection();
    void exportWritesTheListedDevices();
    void rowsMarkedUnreachableAndConflict();
    void whyLineAndItsChecks();
    void subnetMoveAsksOnceAndApplies();
};

void TestWindowParts::segmentCommandsAreTakenOnce()
{
    const QString key = QStringLiteral("pathmere-parts-%1").arg(getpid());
    SegmentPoll poll(key);
    // No segment at all: nothing to do, and no error either.
    QCOMPARE(poll.takeCommand(), SegmentPoll::NoCommand);

    SessionSegment owner(key);
    QCOMPARE(owner.create(SingleInstance::segmentSize), SessionSegment::Outcome::Created);
    const QList<QPair<QByteArray, SegmentPoll::Command>> commands = {
        {SingleInstance::showCommand(), SegmentPoll::ShowWindow},
        {SingleInstance::closeCommand(), SegmentPoll::CloseProgram},
        {QByteArrayLiteral("Reboot_Camera"), SegmentPoll::NoCommand},
    };
    for (const auto &command : commands) {
        QVERIFY(SingleInstance::writeCommand(owner, command.first));
        QCOMPARE(poll.takeCommand(), command.second);
        // Taken means gone: the next poll finds nothing, whatever it was.
        QCOMPARE(poll.takeCommand(), SegmentPoll::NoCommand);
    }
}

void TestWindowParts::settingOutcomes_data()
{
    QTest::addColumn<int>("failCase");
    QTest::addColumn<bool>("listReplaced");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("outcome");
    QTest::newRow("runs") << 0 << false << 1 << int(SearchProgress::SettingRunning);
    QTest::newRow("finishes at 100 %") << 0 << false << 50 << int(SearchProgress::SettingFinished);
    QTest::newRow("refused") << int(UtilitySearch::SettingUnauthorized) << false << 1 << int(SearchProgress::SettingRefused);
    QTest::newRow("row gone") << 0 << true << 1 << int(SearchProgress::SettingRowGone);
}

void TestWindowParts::settingOutcomes()
{
    QFETCH(int, failCase);
    QFETCH(bool, listReplaced);
    QFETCH(int, ticks);
    QFETCH(int, outcome);

    QTableView widget;
    QProgressBar bar;
    DeviceTable table(&widget, 1.0);
    table.showDevices({device(QStringLiteral("02:00:00:00:00:01"), QString()),
                       device(QStringLiteral("02:00:00:00:00:02"), QString())});
    SearchProgress progress(&bar, &table);

    progress.startSetting(1);
    // Busy from the start, although no tick has moved the value yet.
    QVERIFY(progress.busy());
    QCOMPARE(progress.value(), 0);
    QVERIFY(cellWidget(widget, 1, DeviceTable::ColumnProgress));
    progress.setFailCase(failCase);
    if (listReplaced)
        table.showDevices({device(QStringLiteral("02:00:00:00:00:01"), QString())});

    SearchProgress::SettingStep step = SearchProgress::SettingRunning;
    for (int i = 0; i < ticks; ++i)
        step = progress.tickSetting();
    QCOMPARE(int(step), outcome);

    switch (step) {
    case SearchProgress::SettingRunning:
        QCOMPARE(progress.value(), SearchProgress::Step);
        QCOMPARE(progress.settingRow(), 1);
        break;
    case SearchProgress::SettingFinished:
        QCOMPARE(progress.value(), SearchProgress::Full);
        QCOMPARE(qobject_cast<QProgressBar *>(cellWidget(widget, 1, DeviceTable::ColumnProgress))->value(), 100);
        break;
    case SearchProgress::SettingRefused:
        QCOMPARE(progress.value(), 0);
        QCOMPARE(progress.settingRow(), 1);
        QVERIFY(!cellWidget(widget, 1, DeviceTable::ColumnProgress));
        break;
    case SearchProgress::SettingRowGone:
        QCOMPARE(progress.value(), 0);
        QCOMPARE(progress.settingRow(), -1);
        QVERIFY(!cellWidget(widget, 1, DeviceTable::ColumnProgress));
        break;
    }
}

void TestWindowParts::searchEndsAfterFiftyTicks()
{
    QTableView widget;
    QProgressBar bar;
    DeviceTable table(&widget, 1.0);
    SearchProgress progress(&bar, &table);
    progress.startSearch();
    QCOMPARE(progress.settingRow(), -1);
    for (int tick = 1; tick < 50; ++tick)
        QVERIFY(!progress.tickSearch());
    QCOMPARE(bar.value(), 98);
    QVERIFY(progress.tickSearch());
    // The bar shows the full search; the count starts again from 0.
    QCOMPARE(bar.value(), 100);
    QCOMPARE(progress.value(), 0);
}

void TestWindowParts::sortableColumnsAndDirection()
{
    for (int column = -1; column <= DeviceTable::ColumnCount; ++column) {
        const bool sortable = column >= DeviceTable::ColumnModel && column < DeviceTable::ColumnCount;
        QCOMPARE(DeviceTable::isSortable(column), sortable);
    }

    QTableView widget;
    DeviceTable table(&widget, 1.0);
    table.showDevices({device(QStringLiteral("02:00:00:00:00:02"), QStringLiteral("fe80::2")),
                       device(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("fe80::1"))});
    QVERIFY(!table.currentDevice());
    QCOMPARE(cellText(widget, 0, DeviceTable::ColumnIpv6), QStringLiteral("fe80::2"));
    table.sortBy(DeviceTable::ColumnIpv6);
    QCOMPARE(table.devices().first().ipv6, QStringLiteral("fe80::1"));
    // The list and the rows are one: the rows follow the sort at once, and
    // the row numbers stay those of the rows.
    QCOMPARE(cellText(widget, 0, DeviceTable::ColumnIpv6), QStringLiteral("fe80::1"));
    QCOMPARE(cellText(widget, 0, DeviceTable::ColumnNo), QStringLiteral("1"));
    widget.setCurrentIndex(widget.model()->index(1, DeviceTable::ColumnName));
    QVERIFY(table.currentDevice());
    QCOMPARE(table.currentDevice()->mac, QStringLiteral("02:00:00:00:00:02"));
}

// "Export list…" writes what the table lists, in the CSV pathmere-cli
// prints; a file that cannot be written leaves an earlier export whole.
void TestWindowParts::exportWritesTheListedDevices()
{
    QTableView widget;
    DeviceTable table(&widget, 1.0);
    QCOMPARE(widget.contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(table.exportAction()->text(), QStringLiteral("Export list…"));
    DeviceRecord odd = device(QStringLiteral("02:00:00:00:00:02"), QString());
    odd.name = QStringLiteral("Hall \"A\", left");
    const QList<DeviceRecord> listed{device(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("2001:db8::1")), odd};
    table.showDevices(listed);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cameras.csv"));
    QString error;
    QVERIFY2(table.exportTo(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(written, DeviceListCsv::write(listed));
    QVERIFY(written.contains("\"Hall \"\"A\"\", left\""));

    QVERIFY(!table.exportTo(dir.filePath(QStringLiteral("missing/cameras.csv")), &error));
    QVERIFY(!error.isEmpty());
}

// A camera in no adapter's subnet and two devices on one address are
// marked so one look tells: "Conflict" as the status, a warning sign on the
// address, the reason as the row's tool tip. A status of its own
// ("Unauthorized") still shows; unmarked rows carry nothing.
void TestWindowParts::rowsMarkedUnreachableAndConflict()
{
    const AdapterSurvey survey = lan0Survey();
    QList<DeviceRecord> list;
    for (const char *ip : {"192.0.2.10", "192.0.2.10", "203.0.113.5", "192.0.2.11"}) {
        DeviceRecord d = device(QStringLiteral("02:00:00:00:00:0%1").arg(list.size()), QString());
        d.ip = QLatin1String(ip);
        list.append(d);
    }
    DeviceTableModel model;
    model.setDevices(list);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QCOMPARE(model.index(0, DeviceTableModel::ColumnStatus).data().toString(), QStringLiteral("Working"));
    model.setMarks(DeviceMarks::of(list, survey));
    QCOMPARE(changed.size(), 1);

    const auto cell = [&model](int row, int column, int role = Qt::DisplayRole) {
        return model.index(row, column).data(role);
    };
    for (int row : {0, 1}) {
        QCOMPARE(cell(row, DeviceTableModel::ColumnStatus).toString(), QStringLiteral("Conflict"));
        QVERIFY(cell(row, DeviceTableModel::ColumnIpv4, Qt::DecorationRole).value<QIcon>().isNull() == false);
        QVERIFY(cell(row, DeviceTableModel::ColumnName, Qt::ToolTipRole).toString().contains(
            QLatin1String("Conflict: 192.0.2.10 is answered by 02:00:00:00:00:00 and 02:00:00:00:00:01")));
        QCOMPARE(cell(row, DeviceTableModel::ColumnIpv4).toString(), QStringLiteral("192.0.2.10"));
    }
    QCOMPARE(cell(2, DeviceTableModel::ColumnStatus).toString(), QStringLiteral("Working"));
    QVERIFY(!cell(2, DeviceTableModel::ColumnIpv4, Qt::DecorationRole).value<QIcon>().isNull());
    const QString why = cell(2, DeviceTableModel::ColumnMac, Qt::ToolTipRole).toString();
    QVERIFY2(why.contains(QLatin1String("not reachable from this computer"))
                 && why.contains(QLatin1String("fix-subnet 02:00:00:00:00:02")), qPrintable(why));
    QVERIFY(!why.contains(QLatin1String("Conflict")));
    for (int column = 0; column < DeviceTableModel::ColumnCount; ++column) {
        QVERIFY(!cell(3, column, Qt::ToolTipRole).isValid());
        QVERIFY(!cell(3, column, Qt::DecorationRole).isValid());
    }

    model.setStatus(0, QStringLiteral("Unauthorized"));
    QCOMPARE(cell(0, DeviceTableModel::ColumnStatus).toString(), QStringLiteral("Unauthorized"));
    QCOMPARE(cell(0, DeviceTableModel::ColumnStatus, Qt::ToolTipRole).toString(), QStringLiteral("Unauthorized"));
    // A new list starts unmarked: the old marks were about other devices.
    model.setDevices(list);
    QCOMPARE(cell(1, DeviceTableModel::ColumnStatus).toString(), QStringLiteral("Working"));
    QVERIFY(!cell(2, DeviceTableModel::ColumnIpv4, Qt::DecorationRole).isValid());
    QVERIFY(!cell(2, DeviceTableModel::ColumnIpv4, Qt::ToolTipRole).isValid());
}

// The line under the table shows after a search that listed nothing or a
// camera out of reach, and opens nothing by itself; its link opens the
// checks beside the window, not modal, with the findings doctor prints.
// Neither runs the live search here: this test is outside any test LAN.
void TestWindowParts::whyLineAndItsChecks()
{
    QWidget window;
    QLabel label(&window);
    WhyLine why(&label, 1.0, &window);
    NetworkDoctor::Options options;
    options.liveSearch = false;
    options.probeConflicts = false;
    why.setOptions(options);
    QVERIFY(!why.isShown());

    why.showFor({}, DeviceMarks());
    QVERIFY(why.isShown());
    QVERIFY2(why.text().contains(QLatin1String("found no camera")) && why.text().contains(QLatin1String(">Why?</a>")),
             qPrintable(why.text()));
    DeviceRecord home = device(QStringLiteral("02:00:00:00:00:01"), QString());
    home.ip = QStringLiteral("192.0.2.10");
    DeviceRecord lost = device(QStringLiteral("02:00:00:00:00:02"), QString());
    lost.ip = QStringLiteral("203.0.113.5");
    const AdapterSurvey survey = lan0Survey();
    why.showFor({home}, DeviceMarks::of({home}, survey));
    QVERIFY(!why.isShown());
    why.showFor({home, lost}, DeviceMarks::of({home, lost}, survey));
    QVERIFY2(why.isShown() && why.text().contains(QLatin1String("1 camera is not reachable from this computer")),
             qPrintable(why.text()));
    QTest::qWait(100);
    QVERIFY(!why.dialog());
    QVERIFY(!window.findChild<QDialog *>());

    QSignalSpy opened(&why, &WhyLine::dialogOpened);
    emit label.linkActivated(QStringLiteral("why"));
    QCOMPARE(opened.size(), 1);
    NetworkCheckDialog *dialog = why.dialog();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QSignalSpy done(dialog, &NetworkCheckDialog::finished);
    QVERIFY(done.wait(30000) || !dialog->results().isEmpty());

    const auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("checkList"));
    QVERIFY(list);
    QStringList listed;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        listed.append(list->topLevelItem(i)->text(1));
    QVERIFY(!listed.isEmpty());
    QCOMPARE(list->topLevelItemCount(), dialog->results().size());

    QProcess cli;
    cli.start(qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli"),
              {QStringLiteral("doctor"), QStringLiteral("--no-live"), QStringLiteral("--no-probe"),
               QStringLiteral("--format"), QStringLiteral("json")});
    QVERIFY(cli.waitForFinished(30000));
    const QJsonArray checks = QJsonDocument::fromJson(cli.readAllStandardOutput())
                                  .object().value(QStringLiteral("checks")).toArray();
    QStringList fromDoctor;
    for (const QJsonValue &v : checks) {
        const QJsonObject o = v.toObject();
        const QString subject = o.value(QStringLiteral("subject")).toString();
        fromDoctor.append(subject.isEmpty() ? o.value(QStringLiteral("check")).toString()
                                            : o.value(QStringLiteral("check")).toString() + QLatin1Char(' ') + subject);
    }
    QCOMPARE(listed, fromDoctor);
}

QTEST_MAIN(TestWindowParts)
#include "tst_windowparts.moc"

// The table's "Move into this computer's subnet...": only for a row marked
// unreachable; one question names the planned address (the next free one
// in the searching adapter's subnet, probed); Yes fills the form with the
// planned static settings and presses Apply, No changes nothing.
void TestWindowParts::subnetMoveAsksOnceAndApplies()
{
    QWidget window;
    QTableView view(&window);
    DeviceTable table(&view, 1.0, &window);
    // lan0 192.0.2.1/24 without a router; lan1 198.51.100.1/24 routed
    // through 198.51.100.254, the adapter the window searches on.
    table.setSurveyReader([] {
        AdapterSurvey survey = lan0Survey();
        AdapterSurvey::Adapter lan1 = sampleAdapter(QStringLiteral("lan1"), QStringLiteral("198.51.100.1"));
        lan1.defaultRoute = true;
        lan1.gateway = QHostAddress(QStringLiteral("198.51.100.254")).toIPv4Address();
        survey.adapters.append(lan1);
        return survey;
    });
    QLineEdit name(&window), user(&window), password(&window);
    QRadioButton dhcp(&window), staticIp(&window);
    IPCtrl ip(&window), mask(&window), gateway(&window), dns1(&window), dns2(&window);
    SettingsForm form({&name, &user, &password, &dhcp, &staticIp, &ip, &mask, &gateway, &dns1, &dns2}, &window);
    QComboBox box(&window);
    AdapterChooser adapters(&box, &window);
    adapters.setAdapters({{QStringLiteral("lan0"), QStringLiteral("192.0.2.1")},
                          {QStringLiteral("lan1"), QStringLiteral("198.51.100.1")}});
    box.setCurrentIndex(0);
    QPushButton applyButton(&window);
    QSignalSpy applied(&applyButton, &QPushButton::clicked);
    SubnetMove move(&table, &form, &adapters, &applyButton, &window);
    QList<quint32> probed;
    move.setProbe([&probed](const QString &adapter, const QList<quint32> &candidates) {
        probed += candidates;
        // 192.0.2.3 answers the probe: somebody not in the list holds it.
        return adapter == QLatin1String("lan0")
            ? QSet<quint32>{QHostAddress(QStringLiteral("192.0.2.3")).toIPv4Address()} : QSet<quint32>();
    });
    QStringList asked;
    UserMessage::setObserver([&asked](const QString &, const QString &text) { asked.append(text); });

    QList<DeviceRecord> list;
    for (const char *at : {"192.0.2.2", "203.0.113.5"}) {
        DeviceRecord d = device(QStringLiteral("02-50-4D-00-00-0%1").arg(list.size() + 1), QString());
        d.ip = QLatin1String(at);
        d.mask = QStringLiteral("255.255.255.0");
        d.gateway = QStringLiteral("203.0.113.254");
        d.dhcp = true;
        d.dns1 = QStringLiteral("203.0.113.53");
        list.append(d);
    }
    // Another maker's camera the neighbour table did not know: no MAC to plan for.
    DeviceRecord nameless = list.last();
    nameless.mac.clear();
    nameless.ip = QStringLiteral("203.0.113.6");
    list.append(nameless);
    table.showDevices(list);
    QAction *action = move.action();
    table.addMenuAction(action);
    QVERIFY(!action->isEnabled());
    view.selectRow(0);
    QVERIFY(!action->isEnabled());
    view.selectRow(2);
    QVERIFY(!action->isEnabled());
    view.selectRow(1);
    QVERIFY(action->isEnabled());
    // Apply cannot be pressed (a search runs): nor can the move.
    applyButton.setEnabled(false);
    emit table.contextMenuRequested();
    QVERIFY(!action->isEnabled());
    applyButton.setEnabled(true);
    emit table.contextMenuRequested();
    QVERIFY(action->isEnabled());

    // No: the question was asked once and nothing changed.
    form.show(list.at(1));
    const auto shown = [&form] {
        const CameraSettings now = form.settings();
        return QStringList{UtilityProtocol::ipv4ToText(now.ip), UtilityProtocol::ipv4ToText(now.mask),
                           UtilityProtocol::ipv4ToText(now.gateway), now.dhcp ? QStringLiteral("dhcp") : QString()};
    };
    const QStringList before = shown();
    UserMessage::setQuestionAnswer(false);
    action->trigger();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first(), QStringLiteral("Give 02-50-4D-00-00-02 the address 192.0.2.4 in lan0's subnet 192.0.2.0/24?"));
    QVERIFY(probed.contains(QHostAddress(QStringLiteral("192.0.2.3")).toIPv4Address()));
    QCOMPARE(shown(), before);
    QVERIFY(dhcp.isChecked());
    QCOMPARE(applied.size(), 0);

    // Yes on lan1: static, its mask, its router kept, the DNS as it was;
    // the login is the form's, left for Apply.
    box.setCurrentIndex(1);
    user.setText(QStringLiteral("admin"));
    password.setText(QStringLiteral("secret"));
    UserMessage::setQuestionAnswer(true);
    action->trigger();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked.last(), QStringLiteral("Give 02-50-4D-00-00-02 the address 198.51.100.2 in lan1's subnet 198.51.100.0/24?"));
    QCOMPARE(applied.size(), 1);
    QVERIFY(staticIp.isChecked() && !dhcp.isChecked() && ip.isEnabled());
    const CameraSettings planned = form.settings();
    QCOMPARE(UtilityProtocol::ipv4ToText(planned.ip), QStringLiteral("198.51.100.2"));
    QCOMPARE(UtilityProtocol::ipv4ToText(planned.mask), QStringLiteral("255.255.255.0"));
    QCOMPARE(UtilityProtocol::ipv4ToText(planned.gateway), QStringLiteral("198.51.100.254"));
    QCOMPARE(UtilityProtocol::ipv4ToText(planned.dns1), QStringLiteral("203.0.113.53"));
    QVERIFY(!planned.dhcp);
    QCOMPARE(form.credentials().userId, QStringLiteral("admin"));

    // lan0 has no router: the form's gateway is left empty (none).
    box.setCurrentIndex(0);
    action->trigger();
    QCOMPARE(applied.size(), 2);
    QVERIFY(gateway.isBlank());
    QCOMPARE(UtilityProtocol::ipv4ToText(form.settings().ip), QStringLiteral("192.0.2.4"));
    UserMessage::setObserver({});
}
