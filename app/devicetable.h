#ifndef DEVICETABLE_H
#define DEVICETABLE_H

#include "devicerecord.h"

#include <QList>
#include <QObject>

class QAction;
class QProgressBar;
class QStyle;
class QTableWidget;

// The device list and the table that shows it: one row per device in list
// order, sorting by a column header (each sort flips the direction, whichever
// column), and a row's status text and setting progress bar.
class DeviceTable : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceTable)

public:
    enum Column {
        ColumnNo,
        ColumnStatus,
        ColumnProgress,
        ColumnModel,
        ColumnName,
        ColumnFwVersion,
        ColumnIpv4,
        ColumnMac,
        ColumnIpv6,
        ColumnCount
    };

    // table is the form's widget; its columns get their design widths at dpiScale.
    DeviceTable(QTableWidget *table, double dpiScale, QObject *parent = nullptr);

    const QList<DeviceRecord> &devices() const { return m_devices; }
    // Replaces the list; the rows stay as they are until fillRows().
    void setDevices(const QList<DeviceRecord> &devices);
    // Replaces the list and shows it.
    void showDevices(const QList<DeviceRecord> &devices);
    void fillRows();
    void removeRows();

    // 0 before the first sort and after a descending one, 1 after an ascending one.
    int sortToggle() const { return m_sortToggle; }
    static bool isSortable(int column);
    // Sorts the list (not the rows) by column, flipping the direction.
    void sortBy(int column);

    // The selected row's device; null when no row of the list is selected.
    const DeviceRecord *currentDevice() const;
    int currentRow() const;
    bool hasDevice(int row) const { return row >= 0 && row < m_devices.size(); }

    void setStatus(int row, const QString &text);
    // A fresh progress bar at 0 in the row's progress cell.
    void addProgressBar(int row);
    void setProgress(int row, int value);
    void removeProgressBar(int row);

    // The table's context menu offers this; it asks for a file name and
    // writes the list there as CSV.
    QAction *exportAction() const { return m_exportAction; }
    // Writes the list as CSV to path, whole or not at all; false, with the
    // reason, when it cannot.
    bool exportTo(const QString &path, QString *error) const;

private slots:
    void exportList();

private:
    QTableWidget *const m_table;
    QList<DeviceRecord> m_devices;
    int m_sortToggle = 0;
    QStyle *m_barStyle = nullptr;
    QAction *m_exportAction = nullptr;
};

#endif // DEVICETABLE_H
