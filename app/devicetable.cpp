#include "devicetable.h"

#include "dpiscaler.h"

#include <QProgressBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTableWidget>

#include <algorithm>

namespace {

const int columnWidths[DeviceTable::ColumnCount] = {40, 80, 100, 120, 120, 120, 120, 140, 140};

const QString &sortKey(const DeviceRecord &device, int column)
{
    switch (column) {
    case DeviceTable::ColumnModel: return device.model;
    case DeviceTable::ColumnName: return device.name;
    case DeviceTable::ColumnFwVersion: return device.fwVersion;
    case DeviceTable::ColumnIpv4: return device.ip;
    case DeviceTable::ColumnMac: return device.mac;
    default: return device.ipv6;
    }
}

} // namespace

DeviceTable::DeviceTable(QTableWidget *table, double dpiScale, QObject *parent)
    : QObject(parent)
    , m_table(table)
{
    m_table->clearContents();
    m_table->setRowCount(0);
    const DpiScaler scaler(dpiScale);
    for (int column = 0; column < ColumnCount; ++column)
        m_table->setColumnWidth(column, scaler.scaled(columnWidths[column]));
    // The setting progress bars look the same whatever the desktop style.
    m_barStyle = QStyleFactory::create(QStringLiteral("Fusion"));
    if (m_barStyle)
        m_barStyle->setParent(this);
}

void DeviceTable::setDevices(const QList<DeviceRecord> &devices)
{
    m_devices = devices;
}

void DeviceTable::showDevices(const QList<DeviceRecord> &devices)
{
    m_devices = devices;
    fillRows();
}

void DeviceTable::fillRows()
{
    const int rows = m_devices.size();
    // One repaint for the whole list instead of one per cell.
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(rows);
    const QString working = tr("Working");
    for (int row = 0; row < rows; ++row) {
        const DeviceRecord &device = m_devices.at(row);
        const QString texts[ColumnCount] = {
            QString::number(row + 1), working, QString(),
            device.model, device.name, device.fwVersion,
            device.ip, device.mac, device.ipv6,
        };
        for (int column = 0; column < ColumnCount; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    m_table->setUpdatesEnabled(true);
}

void DeviceTable::removeRows()
{
    m_table->setRowCount(0);
}

bool DeviceTable::isSortable(int column)
{
    return column >= ColumnModel && column < ColumnCount;
}

void DeviceTable::sortBy(int column)
{
    const bool ascending = (m_sortToggle == 0);
    m_sortToggle = ascending ? 1 : 0;
    std::sort(m_devices.begin(), m_devices.end(),
              [column, ascending](const DeviceRecord &a, const DeviceRecord &b) {
                  return ascending ? sortKey(a, column) < sortKey(b, column)
                                   : sortKey(b, column) < sortKey(a, column);
              });
}

int DeviceTable::currentRow() const
{
    return m_table->currentRow();
}

const DeviceRecord *DeviceTable::currentDevice() const
{
    const int row = m_table->currentRow();
    return hasDevice(row) ? &m_devices.at(row) : nullptr;
}

void DeviceTable::setStatus(int row, const QString &text)
{
    m_table->setItem(row, ColumnStatus, new QTableWidgetItem(text));
}

void DeviceTable::addProgressBar(int row)
{
    if (m_table->cellWidget(row, ColumnProgress))
        m_table->removeCellWidget(row, ColumnProgress);
    auto *bar = new QProgressBar;
    if (m_barStyle)
        bar->setStyle(m_barStyle);
    bar->setRange(0, 100);
    bar->setValue(0);
    m_table->setCellWidget(row, ColumnProgress, bar);
    bar->show();
}

void DeviceTable::setProgress(int row, int value)
{
    if (auto *bar = qobject_cast<QProgressBar *>(m_table->cellWidget(row, ColumnProgress)))
        bar->setValue(value);
}

void DeviceTable::removeProgressBar(int row)
{
    if (row >= 0 && row < m_table->rowCount())
        m_table->removeCellWidget(row, ColumnProgress);
}
