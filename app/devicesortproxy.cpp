#include "devicesortproxy.h"

#include "devicetablemodel.h"

DeviceSortProxy::DeviceSortProxy(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    // The order changes only when a header is clicked, never under a row
    // whose setting runs.
    setDynamicSortFilter(false);
}

QVariant DeviceSortProxy::data(const QModelIndex &index, int role) const
{
    if (index.isValid() && index.column() == DeviceTableModel::ColumnNo && role == Qt::DisplayRole)
        return QString::number(index.row() + 1);
    return QSortFilterProxyModel::data(index, role);
}

bool DeviceSortProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto *model = static_cast<const DeviceTableModel *>(sourceModel());
    return DeviceTableModel::text(model->device(left.row()), left.column())
        < DeviceTableModel::text(model->device(right.row()), right.column());
}
