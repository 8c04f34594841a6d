// The main window's parts on their own, at the edges the whole window cannot
// easily reach: the segment commands a poll takes, the progress outcomes of a
// setting, and which table columns sort.
#include "devicelistcsv.h"
#include "devicetable.h"
#include "searchprogress.h"
#include "segmentpoll.h"
#include "sessionsegment.h"
#include "singleinstance.h"
#include "utilitysearch.h"

#include <QAction>
#include <QFile>
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
    DeviceRecord d;
    d.mac = mac;
    d.name = mac;
    d.model = QStringLiteral("PX");
    d.ipv6 = ipv6;
    return d;
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

QTEST_MAIN(TestWindowParts)
#include "tst_windowparts.moc"
