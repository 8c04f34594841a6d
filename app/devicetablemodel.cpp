#include "devicetablemodel.h"

#include "subnetreach.h"

#include <QApplication>
#include <QStyle>

DeviceTableModel::DeviceTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void DeviceTableModel::setDevices(const QList<DeviceRecord> &devices)
{
    beginResetModel();
    m_devices = devices;
    m_marks = DeviceMarks();
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

void DeviceTableModel::setMarks(const DeviceMarks &marks)
{
    m_marks = marks;
    if (!m_devices.isEmpty())
        emit dataChanged(index(0, 0), index(m_devices.size() - 1, ColumnCount - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole, Qt::DecorationRole});
}

QString DeviceTableModel::markText(int row) const
{
    if (row < 0 || row >= m_devices.size())
        return QString();
    const DeviceRecord &device = m_devices.at(row);
    QStringList reasons;
    if (!m_marks.reachable(device))
        reasons.append(QCoreApplication::translate("Pathmere", "%1: its address lies in no adapter's subnet. "
                                                               "Readdress it with: pathmere-cli fix-subnet %2 --user USER")
                           .arg(SubnetReach::notReachableText(), device.mac));
    if (m_marks.conflict(device)) {
        const QStringList sentences = m_marks.conflictSentences();
        for (const QString &sentence : sentences) {
            if (sentence.contains(QLatin1Char(' ') + device.ip + QLatin1Char(' ')))
                reasons.append(sentence);
        }
    }
    return reasons.join(QLatin1Char('\n'));
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
    const bool conflict = m_marks.conflict(m_devices.at(row));
    if (index.column() == ColumnStatus) {
        if (role == Qt::DisplayRole && m_statuses.at(row).isEmpty())
            return conflict ? DeviceMarks::conflictText() : QCoreApplication::translate("Pathmere", "Working");
        if (role == Qt::DisplayRole)
            return m_statuses.at(row);
        if (role == Qt::ToolTipRole && !m_statuses.at(row).isEmpty())
            return m_statuses.at(row);
    }
    if (role == Qt::ToolTipRole) {
        const QString reason = markText(row);
        return reason.isEmpty() ? QVariant() : reason;
    }
    if (role == Qt::DecorationRole && index.column() == ColumnIpv4 && (conflict || !m_marks.reachable(m_devices.at(row))))
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    if (index.column() == ColumnStatus)
        return QVariant();
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
