#include "devicetable.h"

#include "devicelistcsv.h"
#include "dpiscaler.h"
#include "usermessage.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QProgressBar>
#include <QSaveFile>
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
    m_exportAction = new QAction(tr("Export list…"), this);
    connect(m_exportAction, &QAction::triggered, this, &DeviceTable::exportList);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu(m_table);
        menu.addAction(m_exportAction);
        menu.exec(m_table->viewport()->mapToGlobal(at));
    });
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
    auto *item = new QTableWidgetItem(text);
    // The column is narrow: "Unauthorized" does not fit it at every scale.
    item->setToolTip(text);
    m_table->setItem(row, ColumnStatus, item);
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

bool DeviceTable::exportTo(const QString &path, QString *error) const
{
    // QSaveFile: an export that fails half way leaves any earlier file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(DeviceListCsv::write(m_devices)) < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void DeviceTable::exportList()
{
    const QString path = QFileDialog::getSaveFileName(m_table->window(), tr("Export list"),
                                                      QStringLiteral("cameras.csv"), tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportTo(path, &error))
        UserMessage::warning(m_table->window(), tr("Export list"), tr("The list could not be written: %1").arg(error));
}
