#ifndef SEARCHPROGRESS_H
#define SEARCHPROGRESS_H

#include <QObject>
#include <QTimer>

class DeviceTable;
class QProgressBar;

// The progress of a search or of a setting: fifty ticks of 100 ms, 2 % each.
// A search shows it in the window's progress bar and lists the devices at
// 100 %; a setting shows it in its row's bar and searches again at 100 %,
// unless the camera refused the user ID or password first. While either
// runs, the table and its form stay inert (busy()).
class SearchProgress : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SearchProgress)

public:
    static constexpr int TickMs = 100;
    static constexpr int Step = 2;
    static constexpr int Full = 100;

    enum SettingStep {
        SettingRunning,
        SettingRowGone,    // the list was replaced under it: ended
        SettingRefused,    // the camera refused the user ID or password: ended
        SettingFinished    // 100 %: time to search again
    };

    SearchProgress(QProgressBar *searchBar, DeviceTable *table, QObject *parent = nullptr);

    int value() const { return m_value; }
    // The row whose setting runs or ran last; -1 after a search started.
    int settingRow() const { return m_settingRow; }
    // Why the camera refused the running setting (UtilitySearch::SettingFailCase).
    void setFailCase(int failCase) { m_failCase = failCase; }

    // A search or a setting is running.
    bool busy() const;

    void startSearch();
    // One tick of the search; true when it is over.
    bool tickSearch();

    // Starts the setting of row with a bar of its own at 0.
    void startSetting(int row);
    SettingStep tickSetting();

signals:
    void searchTick();
    void settingTick();

private:
    QProgressBar *const m_searchBar;
    DeviceTable *const m_table;
    QTimer m_searchTimer;
    QTimer m_settingTimer;
    int m_value = 0;
    int m_settingRow = -1;
    int m_failCase = 0;
};

#endif // SEARCHPROGRESS_H
