#ifndef SETTINGSREQUEST_H
#define SETTINGSREQUEST_H

#include "devicerecord.h"
#include "settingscheck.h"

#include <QByteArray>
#include <QString>

// What `set` and `assign` change on one camera. As in the window's form, a
// field not given keeps the camera's current value; the record sent always
// carries every field.
class SettingsRequest
{
public:
    bool dhcpGiven = false;
    bool dhcp = false;
    QString ip;        // empty: keep
    QString mask;
    QString gateway;
    QString dns1;
    QString dns2;

    // The record the camera should show once the change is applied (its
    // settings: CameraSettings::fromRecord).
    DeviceRecord desired(const DeviceRecord &current) const;
    // The address the record carries for an address text, however odd the
    // text is.
    static quint32 recordAddress(const QString &text);
    // desired's static setting as the record carries it, for the check.
    static SettingsCheck::Planned planned(const DeviceRecord &desired);
    // The fields of a record read back, one indented line each; the password
    // only as given or not.
    static QString recordText(const QByteArray &record);
};

#endif // SETTINGSREQUEST_H
