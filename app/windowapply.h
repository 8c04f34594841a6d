#ifndef WINDOWAPPLY_H
#define WINDOWAPPLY_H

#include "camerasettings.h"
#include "credentials.h"
#include "devicerecord.h"
#include "utilitysearch.h"

#include <QList>
#include <QObject>
#include <QString>

class ApplySettingsJob;
class DeviceTable;
class LoginMemory;
class OnvifRowApply;
class SearchManager;

// The window's Apply, from the form's settings to the confirming search: a
// row of the maker's cameras gets an ApplySettingsJob paced by the window's
// own ticks (the job waits to be told to confirm and to conclude, since the
// confirming search is the one the window runs at the end of the setting's
// ticks); another maker's row goes through OnvifRowApply, which confirms by
// itself. One setting at a time: a new one ends the one before.
class WindowApply : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(WindowApply)

public:
    enum class Started {
        Paced,   // the window runs the setting's ticks and then its search
        Onvif    // finished in onvifFinished()
    };

    // searchManager, table and logins outlive this object.
    WindowApply(SearchManager *searchManager, DeviceTable *table, LoginMemory *logins, QObject *parent = nullptr);
    ~WindowApply() override;

    Started start(const DeviceRecord &device, const CameraSettings &settings, const Credentials &credentials,
                  const QString &adapter, int tableRow);
    // A paced setting waits for its confirming search: true when this call
    // started it (the window then starts no search of its own).
    bool confirm();
    // The paced setting's confirming search is over: the list it found, or
    // none when no setting was confirming (the caller shows the search's).
    bool conclude(QList<DeviceRecord> *found);
    // Whatever runs is dropped.
    void end();

signals:
    void settingFailed(UtilitySearch::SettingFailCase failCase);
    void onvifFinished(bool confirmed);

private:
    SearchManager *const searchManager;
    LoginMemory *const logins;
    OnvifRowApply *const onvif;
    ApplySettingsJob *job = nullptr;
};

#endif // WINDOWAPPLY_H
