#ifndef OTHERMAKERSCHOICE_H
#define OTHERMAKERSCHOICE_H

#include <QObject>

class QAction;
class SearchManager;

// The device table's "Include other makers (ONVIF)": whether the window's
// search runs the WS-Discovery source beside the utility search. Off until
// the user turns it on (the window searches as it always did), and kept in
// the program's setting.ini between starts.
class OtherMakersChoice : public QObject
{
    Q_OBJECT

public:
    static const char SettingKey[];   // "Search/IncludeOtherMakers"

    // Reads the stored choice and gives manager the search types it means.
    OtherMakersChoice(SearchManager *manager, QObject *parent = nullptr);

    QAction *action() const { return m_action; }
    bool isOn() const;
    // What the window's search runs with the choice on or off.
    static int searchTypes(bool includeOtherMakers);
    // The stored choice (false when none was ever stored).
    static bool stored();

private:
    Q_DISABLE_COPY(OtherMakersChoice)

    void take(bool on);

    SearchManager *const m_manager;
    QAction *const m_action;
};

#endif // OTHERMAKERSCHOICE_H
