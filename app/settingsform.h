#ifndef SETTINGSFORM_H
#define SETTINGSFORM_H

#include "camerasettings.h"
#include "credentials.h"
#include "devicerecord.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class IPCtrl;
class QLineEdit;
class QRadioButton;

// The network settings form beside the table: what it shows for a device,
// the mode buttons, the check before Apply, and the settings and login the
// form holds (discovery builds the record from them).
class SettingsForm : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SettingsForm)

public:
    // The form's widgets, as the window's .ui form has them.
    struct Fields {
        QLineEdit *name;
        QLineEdit *userId;
        QLineEdit *password;
        QRadioButton *dhcp;
        QRadioButton *staticIp;
        IPCtrl *ip;
        IPCtrl *mask;
        IPCtrl *gateway;
        IPCtrl *dns1;
        IPCtrl *dns2;
    };

    explicit SettingsForm(const Fields &fields, QObject *parent = nullptr);

    void show(const DeviceRecord &device);
    // Every field empty and neither address mode chosen.
    void clear();
    void setAddressFieldsEnabled(bool enabled);

    // False, after telling the user why, when Apply cannot write to device:
    // its MAC address is unusable or the user ID or password is missing.
    bool readyToApply(const DeviceRecord &device) const;
    // False, after one box naming the problem, when what the form shows
    // would break device or its network: an address with an empty field, a
    // malformed mask, address or gateway, or an address that another of
    // devices or this computer holds. DHCP sends no address of the form's.
    bool plannedSettingAcceptable(const DeviceRecord &device, const QList<DeviceRecord> &devices) const;
    // What the form shows, for a settings record.
    CameraSettings settings() const;
    Credentials credentials() const;

private:
    void clearAddresses();

    const Fields f;
};

#endif // SETTINGSFORM_H
