#include "devicetablemodel.h"

#include <QCoreApplication>

DeviceTableModel::DeviceTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void DeviceTableModel::setDevices(const QList<DeviceRecord> &devices)
{
    beginResetModel();
    m_devices = devices;
    m_statuses = QVector<QString>(devices.size()).toList();
    endResetModel();
}

void DeviceTableModel::setStatus(int row, const QString &text)
{
    if (row < 0 || row >= m_statuses.size())
        return;
    m_statuses[row] = text;
    const QModelIndex cell = index(row, ColumnStatus);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::ToolTipRole});
}

void DeviceTableModel::resetStatuses()
{
    if (m_statuses.isEmpty())
        return;
    for (QString &status : m_statuses)
        status.clear();
    emit dataChanged(index(0, ColumnStatus), index(m_statuses.size() - 1, ColumnStatus), {Qt::DisplayRole, Qt::ToolTipRole});
}

QString DeviceTableModel::text(const DeviceRecord &device, int column)
{
    switch (column) {
    case ColumnModel: return device.model;
    case ColumnName: return device.name;
    case ColumnFwVersion: return device.fwVersion;
    case ColumnIpv4: return device.ip;
    case ColumnMac: return device.mac;
    case ColumnIpv6: return device.ipv6;
    default: return QString();
    }
}

int DeviceTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_devices.size();
}

int DeviceTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_devices.size())
        return QVariant();
    const int row = index.row();
    if (index.column() == ColumnStatus) {
        if (role == Qt::DisplayRole)
            return m_statuses.at(row).isEmpty() ? QCoreApplication::translate("Pathmere", "Working") : m_statuses.at(row);
        if (role == Qt::ToolTipRole && !m_statuses.at(row).isEmpty())
            return m_statuses.at(row);
        return QVariant();
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    if (index.column() == ColumnNo)
        return QString::number(row + 1);
    return text(m_devices.at(row), index.column());
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const headers[ColumnCount] = {
        QT_TRANSLATE_NOOP("Pathmere", "No."), QT_TRANSLATE_NOOP("Pathmere", "Status"),
        QT_TRANSLATE_NOOP("Pathmere", "Progress"), QT_TRANSLATE_NOOP("Pathmere", "Model Name"),
        QT_TRANSLATE_NOOP("Pathmere", "Device Name"), QT_TRANSLATE_NOOP("Pathmere", "FW version"),
        QT_TRANSLATE_NOOP("Pathmere", "IPv4 Address"), QT_TRANSLATE_NOOP("Pathmere", "MAC Address"),
        QT_TRANSLATE_NOOP("Pathmere", "IPv6 Address")};
    if (section < 0 || section >= ColumnCount)
        return QVariant();
    return QCoreApplication::translate("Pathmere", headers[section]);
}
