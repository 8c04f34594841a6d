#ifndef DEVICETABLEMODEL_H
#define DEVICETABLEMODEL_H

#include "devicemarks.h"
#include "devicerecord.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// The one home of the device list the window shows: one row per device in
// the coordinator's order, and each row's status ("Working" until a setting
// says otherwise). The table shows it through DeviceSortProxy.
class DeviceTableModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceTableModel)

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

    explicit DeviceTableModel(QObject *parent = nullptr);

    const QList<DeviceRecord> &devices() const { return m_devices; }
    // Replaces the list; every row's status starts again at "Working".
    void setDevices(const QList<DeviceRecord> &devices);
    const DeviceRecord &device(int row) const { return m_devices.at(row); }
    // A status set here also shows as the cell's tool tip: the column is
    // narrow, and "Unauthorized" does not fit it at every scale.
    void setStatus(int row, const QString &text);
    void resetStatuses();
    // Marks the rows of cameras not reachable from this computer and of
    // address conflicts: a warning sign on the address, the reason as every
    // cell's tool tip, and "Conflict" as the status while no other is set.
    void setMarks(const DeviceMarks &marks);
    const DeviceMarks &marks() const { return m_marks; }
    // The reason a row is marked, empty when it is not.
    QString markText(int row) const;

    // The text a column shows for device (the row number aside).
    static QString text(const DeviceRecord &device, int column);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<DeviceRecord> m_devices;
    // Parallel to m_devices; empty: "Working", without a tool tip.
    QList<QString> m_statuses;
    DeviceMarks m_marks;
};

#endif // DEVICETABLEMODEL_H
