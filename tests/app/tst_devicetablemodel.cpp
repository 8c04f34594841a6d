// The device list's one home and the order the table shows it in, without a
// window: rows and columns, the roles each cell answers, the sort proxy's
// text order and its numbering, and a status set in place that keeps the
// user's selection and the order the user chose.

#include "devicesortproxy.h"
#include "devicetablemodel.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QtTest>

namespace {

DeviceRecord device(const QString &model, const QString &name, const QString &ip, const QString &mac)
{
    DeviceRecord record;
    record.model = model;
    record.name = name;
    record.fwVersion = QStringLiteral("1.0.%1").arg(name.size());
    record.ip = ip;
    record.mac = mac;
    record.ipv6 = QStringLiteral("fe80::%1").arg(name.size());
    return record;
}

// Three devices in the coordinator's order; every sortable column orders
// them differently, and addresses sort as text (".10" before ".9").
QList<DeviceRecord> threeDevices()
{
    return {
        device(QStringLiteral("PTZ-2"), QStringLiteral("hall"), QStringLiteral("192.0.2.9"), QStringLiteral("02:00:00:00:00:03")),
        device(QStringLiteral("BOX-1"), QStringLiteral("Yard"), QStringLiteral("192.0.2.10"), QStringLiteral("02:00:00:00:00:01")),
        device(QStringLiteral("ptz-1"), QStringLiteral("Atrium"), QStringLiteral("198.51.100.7"), QStringLiteral("02:00:00:00:00:02")),
    };
}

QStringList column(const QAbstractItemModel &model, int col, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, col).data(role).toString();
    return texts;
}

} // namespace

class TestDeviceTableModel : public QObject
{
    Q_OBJECT

private slots:
    void rowsColumnsAndHeaders();
    void cellsAndRoles();
    void statusInPlace();
    void proxySortsByTextAndNumbersItsRows_data();
    void proxySortsByTextAndNumbersItsRows();
    void statusKeepsSelectionAndOrder();
    void newListResetsStatuses();
};

void TestDeviceTableModel::rowsColumnsAndHeaders()
{
    DeviceTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), int(DeviceTableModel::ColumnCount));
    QCOMPARE(model.columnCount(), 9);

    model.setDevices(threeDevices());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.devices().size(), 3);
    QCOMPARE(model.device(1).name, QStringLiteral("Yard"));
    // A table model has no children.
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    QCOMPARE(model.columnCount(model.index(0, 0)), 0);

    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"No.", "Status", "Progress", "Model Name", "Device Name", "FW version",
                                   "IPv4 Address", "MAC Address", "IPv6 Address"}));
    QVERIFY(!model.headerData(DeviceTableModel::ColumnCount, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(-1, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    model.setDevices({});
    QCOMPARE(model.rowCount(), 0);
}

void TestDeviceTableModel::cellsAndRoles()
{
    DeviceTableModel model;
    model.setDevices(threeDevices());
    const DeviceRecord &second = model.device(1);

    QCOMPARE(column(model, DeviceTableModel::ColumnNo), QStringList({"1", "2", "3"}));
    QCOMPARE(column(model, DeviceTableModel::ColumnStatus), QStringList({"Working", "Working", "Working"}));
    // The progress column is drawn by the table, not the model.
    QCOMPARE(column(model, DeviceTableModel::ColumnProgress), QStringList({"", "", ""}));
    QCOMPARE(model.index(1, DeviceTableModel::ColumnModel).data().toString(), second.model);
    QCOMPARE(model.index(1, DeviceTableModel::ColumnName).data().toString(), second.name);
    QCOMPARE(model.index(1, DeviceTableModel::ColumnFwVersion).data().toString(), second.fwVersion);
    QCOMPARE(model.index(1, DeviceTableModel::ColumnIpv4).data().toString(), second.ip);
    QCOMPARE(model.index(1, DeviceTableModel::ColumnMac).data().toString(), second.mac);
    QCOMPARE(model.index(1, DeviceTableModel::ColumnIpv6).data().toString(), second.ipv6);
    for (int c = DeviceTableModel::ColumnModel; c < DeviceTableModel::ColumnCount; ++c)
        QCOMPARE(DeviceTableModel::text(second, c), model.index(1, c).data().toString());

    // Only the status answers a tool tip, and only once it is set; no cell
    // answers roles it has nothing for.
    QVERIFY(!model.index(0, DeviceTableModel::ColumnStatus).data(Qt::ToolTipRole).isValid());
    QVERIFY(!model.index(0, DeviceTableModel::ColumnName).data(Qt::ToolTipRole).isValid());
    QVERIFY(!model.index(0, DeviceTableModel::ColumnName).data(Qt::EditRole).isValid());
    QVERIFY(!model.index(0, DeviceTableModel::ColumnNo).data(Qt::DecorationRole).isValid());
    QVERIFY(!model.data(QModelIndex()).isValid());
}

void TestDeviceTableModel::statusInPlace()
{
    DeviceTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDevices(threeDevices());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.setStatus(2, QStringLiteral("Unauthorized"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(2, DeviceTableModel::ColumnStatus));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(2, DeviceTableModel::ColumnStatus));
    QCOMPARE(reset.count(), 0);
    QCOMPARE(column(model, DeviceTableModel::ColumnStatus), QStringList({"Working", "Working", "Unauthorized"}));
    QCOMPARE(model.index(2, DeviceTableModel::ColumnStatus).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Unauthorized"));

    // Rows that do not exist are left alone.
    model.setStatus(3, QStringLiteral("x"));
    model.setStatus(-1, QStringLiteral("x"));
    QCOMPARE(changed.count(), 1);

    model.resetStatuses();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toModelIndex(), model.index(0, DeviceTableModel::ColumnStatus));
    QCOMPARE(changed.at(1).at(1).toModelIndex(), model.index(2, DeviceTableModel::ColumnStatus));
    QCOMPARE(column(model, DeviceTableModel::ColumnStatus), QStringList({"Working", "Working", "Working"}));
    QVERIFY(!model.index(2, DeviceTableModel::ColumnStatus).data(Qt::ToolTipRole).isValid());
    QCOMPARE(reset.count(), 0);

    // Nothing to reset in an empty list.
    DeviceTableModel empty;
    QSignalSpy emptyChanged(&empty, &QAbstractItemModel::dataChanged);
    empty.resetStatuses();
    QCOMPARE(emptyChanged.count(), 0);
}

void TestDeviceTableModel::proxySortsByTextAndNumbersItsRows_data()
{
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("names");

    // Ordinal and case-sensitive: upper case before lower case.
    QTest::newRow("model") << int(DeviceTableModel::ColumnModel) << int(Qt::AscendingOrder)
                           << QStringList({"Yard", "hall", "Atrium"});
    QTest::newRow("name") << int(DeviceTableModel::ColumnName) << int(Qt::AscendingOrder)
                          << QStringList({"Atrium", "Yard", "hall"});
    QTest::newRow("name down") << int(DeviceTableModel::ColumnName) << int(Qt::DescendingOrder)
                               << QStringList({"hall", "Yard", "Atrium"});
    QTest::newRow("ipv4 as text") << int(DeviceTableModel::ColumnIpv4) << int(Qt::AscendingOrder)
                                  << QStringList({"Yard", "hall", "Atrium"});
    QTest::newRow("mac") << int(DeviceTableModel::ColumnMac) << int(Qt::AscendingOrder)
                         << QStringList({"Yard", "Atrium", "hall"});
    QTest::newRow("list order") << -1 << int(Qt::AscendingOrder) << QStringList({"hall", "Yard", "Atrium"});
}

void TestDeviceTableModel::proxySortsByTextAndNumbersItsRows()
{
    QFETCH(int, sortColumn);
    QFETCH(int, order);
    QFETCH(QStringList, names);

    DeviceTableModel model;
    model.setDevices(threeDevices());
    DeviceSortProxy proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    proxy.sort(sortColumn, Qt::SortOrder(order));

    QCOMPARE(column(proxy, DeviceTableModel::ColumnName), names);
    // Numbered by the row a device stands in, whatever its place in the list.
    QCOMPARE(column(proxy, DeviceTableModel::ColumnNo), QStringList({"1", "2", "3"}));
    // Every other cell is the device's own.
    for (int row = 0; row < proxy.rowCount(); ++row) {
        const QModelIndex source = proxy.mapToSource(proxy.index(row, DeviceTableModel::ColumnMac));
        QCOMPARE(proxy.index(row, DeviceTableModel::ColumnMac).data().toString(), model.device(source.row()).mac);
        QCOMPARE(proxy.index(row, DeviceTableModel::ColumnIpv4).data().toString(), model.device(source.row()).ip);
    }
}

void TestDeviceTableModel::statusKeepsSelectionAndOrder()
{
    DeviceTableModel model;
    model.setDevices(threeDevices());
    DeviceSortProxy proxy;
    proxy.setSourceModel(&model);
    proxy.sort(DeviceTableModel::ColumnName, Qt::AscendingOrder);
    QItemSelectionModel selection(&proxy);

    // The user selects "Yard" (row 2 of the list, row 2 of the view).
    const QModelIndex yard = proxy.index(1, DeviceTableModel::ColumnName);
    QCOMPARE(yard.data().toString(), QStringLiteral("Yard"));
    selection.setCurrentIndex(yard, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QSignalSpy selectionChanged(&selection, &QItemSelectionModel::selectionChanged);
    QSignalSpy currentChanged(&selection, &QItemSelectionModel::currentChanged);
    QSignalSpy layout(&proxy, &QAbstractItemModel::layoutChanged);

    // A status set under it, and one whose text would sort the rows anew.
    model.setStatus(1, QStringLiteral("Unauthorized"));
    model.setStatus(0, QStringLiteral("Setting and checking"));
    QCOMPARE(selectionChanged.count(), 0);
    QCOMPARE(currentChanged.count(), 0);
    QCOMPARE(layout.count(), 0);
    QCOMPARE(selection.currentIndex().row(), 1);
    QCOMPARE(selection.selectedRows().size(), 1);
    QCOMPARE(selection.selectedRows().first().row(), 1);
    QCOMPARE(proxy.mapToSource(selection.currentIndex()).row(), 1);
    QCOMPARE(proxy.index(1, DeviceTableModel::ColumnStatus).data().toString(), QStringLiteral("Unauthorized"));
    QCOMPARE(proxy.index(1, DeviceTableModel::ColumnStatus).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Unauthorized"));
    QCOMPARE(proxy.index(2, DeviceTableModel::ColumnStatus).data().toString(), QStringLiteral("Setting and checking"));
    QCOMPARE(column(proxy, DeviceTableModel::ColumnName), QStringList({"Atrium", "Yard", "hall"}));

    // Sorting by another column moves the selection with its device.
    proxy.sort(DeviceTableModel::ColumnMac, Qt::AscendingOrder);
    QCOMPARE(selection.currentIndex().data().toString(), QStringLiteral("Yard"));
    QCOMPARE(proxy.mapToSource(selection.currentIndex()).row(), 1);
}

void TestDeviceTableModel::newListResetsStatuses()
{
    DeviceTableModel model;
    model.setDevices(threeDevices());
    model.setStatus(0, QStringLiteral("Failed"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QList<DeviceRecord> two = threeDevices().mid(1);
    model.setDevices(two);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(column(model, DeviceTableModel::ColumnStatus), QStringList({"Working", "Working"}));
    QCOMPARE(column(model, DeviceTableModel::ColumnName), QStringList({"Yard", "Atrium"}));
    // A status set after the list shrank cannot reach past it.
    model.setStatus(2, QStringLiteral("Failed"));
    QCOMPARE(column(model, DeviceTableModel::ColumnStatus), QStringList({"Working", "Working"}));
}

QTEST_MAIN(TestDeviceTableModel)
#include "tst_devicetablemodel.moc"
