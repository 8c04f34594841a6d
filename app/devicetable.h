#ifndef DEVICETABLE_H
#define DEVICETABLE_H

#include "adaptersurvey.h"
#include "devicerecord.h"
#include "devicetablemodel.h"

#include <QAction>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class DeviceSortProxy;
class QStyle;
class QTableView;

// The window's device table: the list (DeviceTableModel) shown through a
// sort proxy in the form's view, sorting by a column header (each sort flips
// the direction, whichever column), a row's status text and setting
// progress bar, and the export of the list. Rows are counted as the view
// shows them.
class DeviceTable : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceTable)

public:
    enum Column {
        ColumnNo = DeviceTableModel::ColumnNo,
        ColumnStatus = DeviceTableModel::ColumnStatus,
        ColumnProgress = DeviceTableModel::ColumnProgress,
        ColumnModel = DeviceTableModel::ColumnModel,
        ColumnName = DeviceTableModel::ColumnName,
        ColumnFwVersion = DeviceTableModel::ColumnFwVersion,
        ColumnIpv4 = DeviceTableModel::ColumnIpv4,
        ColumnMac = DeviceTableModel::ColumnMac,
        ColumnIpv6 = DeviceTableModel::ColumnIpv6,
        ColumnCount = DeviceTableModel::ColumnCount
    };

    // view is the form's; its columns get their design widths at dpiScale.
    DeviceTable(QTableView *view, double dpiScale, QObject *parent = nullptr);

    // The list in the order the rows show it.
    QList<DeviceRecord> devices() const;
    // What showDevices found about the list's cameras (reach, conflicts).
    const DeviceMarks &marks() const { return m_model->marks(); }
    // This computer's adapters, which the marks are judged against; a test
    // gives its own (an empty reader: the system's).
    AdapterSurvey survey() const;
    void setSurveyReader(std::function<AdapterSurvey()> reader) { m_surveyReader = std::move(reader); }
    // Shows a new list in its own order.
    void showDevices(const QList<DeviceRecord> &devices);
    void removeRows();

    // 0 before the first sort and after a descending one, 1 after an ascending one.
    int sortToggle() const { return m_sortToggle; }
    static bool isSortable(int column);
    // Sorts the rows by column, flipping the direction. As rows filled
    // anew, every status reads "Working" again.
    void sortBy(int column);

    // The selected row's device; null when no row is selected.
    const DeviceRecord *currentDevice() const;
    int currentRow() const;
    int rowCount() const;
    bool hasDevice(int row) const { return row >= 0 && row < rowCount(); }

    void setStatus(int row, const QString &text);
    // A fresh progress bar at 0 in the row's progress cell.
    void addProgressBar(int row);
    void setProgress(int row, int value);
    void removeProgressBar(int row);

    // The table's context menu offers this; it asks for a file name and
    // writes the list there as CSV.
    QAction *exportAction() const { return m_exportAction; }
    // Another choice the context menu offers, after the export (not owned).
    void addMenuAction(QAction *action) { m_menuActions.append(action); }
    QList<QAction *> menuActions() const;
    // Writes the list as CSV to path, whole or not at all; false, with the
    // reason, when it cannot.
    bool exportTo(const QString &path, QString *error) const;

signals:
    // The user selected another row (not a row kept in place by a sort).
    void selectionChanged();
    // A right click asks for the context menu; its actions are gathered next.
    void contextMenuRequested();

private slots:
    void exportList();

private:
    int sourceRow(int row) const;

    QTableView *const m_view;
    DeviceTableModel *const m_model;
    DeviceSortProxy *const m_proxy;
    int m_sortToggle = 0;
    bool m_keepingRow = false;
    QStyle *m_barStyle = nullptr;
    QAction *m_exportAction = nullptr;
    QList<QPointer<QAction>> m_menuActions;
    std::function<AdapterSurvey()> m_surveyReader;
};

#endif // DEVICETABLE_H
