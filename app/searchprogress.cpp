#include "searchprogress.h"

#include "applog.h"
#include "devicetable.h"
#include "utilitysearch.h"

#include <QProgressBar>

SearchProgress::SearchProgress(QProgressBar *searchBar, DeviceTable *table, QObject *parent)
    : QObject(parent)
    , m_searchBar(searchBar)
    , m_table(table)
{
    for (QTimer *timer : {&m_searchTimer, &m_settingTimer}) {
        timer->setInterval(TickMs);
        timer->setSingleShot(true);
    }
    connect(&m_searchTimer, &QTimer::timeout, this, &SearchProgress::searchTick);
    connect(&m_settingTimer, &QTimer::timeout, this, &SearchProgress::settingTick);
    m_searchBar->setValue(0);
}

bool SearchProgress::busy() const
{
    // The value alone reads 0 during the first tick of a search or a
    // setting; a header click there would re-sort the old list under the
    // running setting's row, so a running timer counts as well.
    return m_value != 0 || m_searchTimer.isActive() || m_settingTimer.isActive();
}

void SearchProgress::startSearch()
{
    m_settingRow = -1;
    m_value = 0;
    m_searchBar->setValue(0);
    m_searchTimer.start();
}

bool SearchProgress::tickSearch()
{
    m_value += Step;
    m_searchBar->setValue(m_value);
    if (m_value >= Full) {
        m_value = 0;
        return true;
    }
    m_searchTimer.start();
    return false;
}

void SearchProgress::startSetting(int row)
{
    m_table->addProgressBar(row);
    m_failCase = 0;
    m_value = 0;
    m_settingRow = row;
    m_settingTimer.start();
}

SearchProgress::SettingStep SearchProgress::tickSetting()
{
    const int row = m_settingRow;
    if (!m_table->hasDevice(row)) {
        appLog(LogSystem::LogMajorMsg, "setting row %d is gone, setting ended.", row);
        m_table->removeProgressBar(row);
        m_value = 0;
        m_settingRow = -1;
        return SettingRowGone;
    }

    m_value += Step;
    m_table->setProgress(row, m_value);
    if (m_value >= Full)
        return SettingFinished;
    if (m_failCase == UtilitySearch::SettingUnauthorized) {
        m_value = 0;
        m_table->removeProgressBar(row);
        return SettingRefused;
    }
    m_settingTimer.start();
    return SettingRunning;
}
