#include "devicetable.h"
#include "adaptersurvey.h"

#include "devicelistcsv.h"
#include "devicesortproxy.h"
#include "dpiscaler.h"
#include "usermessage.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QProgressBar>
#include <QSaveFile>
#include <QStyle>
#include <QStyleFactory>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace {

const int columnWidths[DeviceTable::ColumnCount] = {40, 80, 100, 120, 120, 120, 120, 140, 140};

} // namespace

DeviceTable::DeviceTable(QTableView *view, double dpiScale, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_model(new DeviceTableModel(this))
    , m_proxy(new DeviceSortProxy(this))
{
    m_proxy->setSourceModel(m_model);
    m_view->setModel(m_proxy);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_keepingRow)
            emit selectionChanged();
    });
    // Header clicks sort through sortBy(), with the window's own rules.
    m_view->setSortingEnabled(false);
    m_view->horizontalHeader()->setSectionsClickable(true);
    m_exportAction = new QAction(tr("Export list…"), this);
    connect(m_exportAction, &QAction::triggered, this, &DeviceTable::exportList);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        emit contextMenuRequested();
        QMenu menu(m_view);
        menu.addActions(menuActions());
        menu.exec(m_view->viewport()->mapToGlobal(at));
    });
    const DpiScaler scaler(dpiScale);
    for (int column = 0; column < ColumnCount; ++column)
        m_view->setColumnWidth(column, scaler.scaled(columnWidths[column]));
}

QList<QAction *> DeviceTable::menuActions() const
{
    QList<QAction *> actions{m_exportAction};
    for (QAction *action : m_menuActions) {
        if (action)
            actions.append(action);
    }
    return actions;
}

AdapterSurvey DeviceTable::survey() const
{
    return m_surveyReader ? m_surveyReader() : AdapterSurvey::read();
}

QList<DeviceRecord> DeviceTable::devices() const
{
    QList<DeviceRecord> shown;
    const int rows = rowCount();
    shown.reserve(rows);
    for (int row = 0; row < rows; ++row)
        shown.append(m_model->device(sourceRow(row)));
    return shown;
}

void DeviceTable::showDevices(const QList<DeviceRecord> &devices)
{
    // A new list stands in the coordinator's order until the next sort.
    m_proxy->sort(-1);
    m_model->setDevices(devices);
    m_model->setMarks(DeviceMarks::of(devices, survey()));
}

void DeviceTable::removeRows()
{
    showDevices({});
}

bool DeviceTable::isSortable(int column)
{
    return column >= ColumnModel && column < ColumnCount;
}

void DeviceTable::sortBy(int column)
{
    const bool ascending = (m_sortToggle == 0);
    m_sortToggle = ascending ? 1 : 0;
    m_model->resetStatuses();
    // The selected row stays where it is and shows the record that now
    // stands there, as rows filled anew would; the view would follow the
    // record.
    const QModelIndex current = m_view->currentIndex();
    m_proxy->sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (current.isValid()) {
        m_keepingRow = true;
        m_view->setCurrentIndex(m_proxy->index(current.row(), current.column()));
        m_keepingRow = false;
    }
}

int DeviceTable::sourceRow(int row) const
{
    return m_proxy->mapToSource(m_proxy->index(row, 0)).row();
}

int DeviceTable::rowCount() const
{
    return m_proxy->rowCount();
}

int DeviceTable::currentRow() const
{
    return m_view->currentIndex().row();
}

const DeviceRecord *DeviceTable::currentDevice() const
{
    const int row = currentRow();
    return hasDevice(row) ? &m_model->device(sourceRow(row)) : nullptr;
}

void DeviceTable::setStatus(int row, const QString &text)
{
    if (hasDevice(row))
        m_model->setStatus(sourceRow(row), text);
}

void DeviceTable::addProgressBar(int row)
{
    const QModelIndex cell = m_proxy->index(row, ColumnProgress);
    if (!cell.isValid())
        return;
    auto *bar = new QProgressBar;
    // The setting progress bars look the same whatever the desktop style.
    // Made for the first bar: most starts never show one.
    if (!m_barStyle) {
        m_barStyle = QStyleFactory::create(QStringLiteral("Fusion"));
        if (m_barStyle)
            m_barStyle->setParent(this);
    }
    if (m_barStyle)
        bar->setStyle(m_barStyle);
    bar->setRange(0, 100);
    bar->setValue(0);
    // The view deletes the widget it replaces.
    m_view->setIndexWidget(cell, bar);
    bar->show();
}

void DeviceTable::setProgress(int row, int value)
{
    if (auto *bar = qobject_cast<QProgressBar *>(m_view->indexWidget(m_proxy->index(row, ColumnProgress))))
        bar->setValue(value);
}

void DeviceTable::removeProgressBar(int row)
{
    const QModelIndex cell = m_proxy->index(row, ColumnProgress);
    if (cell.isValid())
        m_view->setIndexWidget(cell, nullptr);
}

bool DeviceTable::exportTo(const QString &path, QString *error) const
{
    // QSaveFile: an export that fails half way leaves any earlier file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(DeviceListCsv::write(devices())) < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void DeviceTable::exportList()
{
    const QString path = QFileDialog::getSaveFileName(m_view->window(), tr("Export list"),
                                                      QStringLiteral("cameras.csv"), tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportTo(path, &error))
        UserMessage::warning(m_view->window(), tr("Export list"), tr("The list could not be written: %1").arg(error));
}
