#ifndef DEVICESORTPROXY_H
#define DEVICESORTPROXY_H

#include <QSortFilterProxyModel>

// The device list as the table shows it: sorted by a column's text as
// QString's operator< orders it (ordinal, case-sensitive; addresses sort as
// text), or in the list's own order, and numbered by the row it stands in.
class DeviceSortProxy : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceSortProxy)

public:
    explicit DeviceSortProxy(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};

#endif // DEVICESORTPROXY_H
