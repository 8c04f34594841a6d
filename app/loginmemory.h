#ifndef LOGINMEMORY_H
#define LOGINMEMORY_H

#include "credentials.h"
#include "devicerecord.h"

#include <QObject>
#include <QPointer>

class ApplySettingsJob;
class KeyringJob;
class QCheckBox;
class QLineEdit;

// "Remember" beside the password in the Login group: a camera's login from
// the desktop's keyring fills the form when the camera is selected, and a
// confirmed Apply with "Remember" ticked stores the form's login for that
// camera. Every keyring call runs off the GUI thread (KeyringJob); none asks
// to unlock a locked keyring on a mere selection. Without a Secret Service
// the box is disabled and its tooltip says why.
class LoginMemory : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LoginMemory)

public:
    LoginMemory(QLineEdit *userId, QLineEdit *password, QCheckBox *remember, QObject *parent = nullptr);

    // Whether a keyring answers at all, asked once: a lookup that matches
    // nothing of ours. Not from the constructor, so that a window can ask
    // after its first frame rather than before it.
    void probeKeyring();

    // The form now shows device: its login (its own entry, then its site's)
    // fills the fields when the keyring has one, unless the user typed in
    // them meanwhile. A lookup for the camera shown before is dropped.
    void fillFor(const DeviceRecord &device);
    // An Apply with login starts for device: stored per camera once the job
    // confirms it, when "Remember" is ticked then.
    void watchApply(ApplySettingsJob *job, const DeviceRecord &device, const Credentials &login);
    // The settings with login were confirmed on device: stored for that
    // camera when "Remember" is ticked.
    void rememberConfirmed(const DeviceRecord &device, const Credentials &login);

signals:
    // For whoever waits on the keyring (tests): a lookup ended, with the
    // fields filled or not; a login was stored.
    void lookupFinished(bool filled);
    void loginStored();

private:
    void setUnavailable(const QString &why);

    QLineEdit *const m_userId;
    QLineEdit *const m_password;
    QCheckBox *const m_remember;
    QPointer<KeyringJob> m_lookup;
    bool m_typed = false;   // the user edited the login since the last selection
};

#endif // LOGINMEMORY_H
