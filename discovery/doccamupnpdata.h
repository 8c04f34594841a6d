#ifndef DOCCAMUPNPDATA_H
#define DOCCAMUPNPDATA_H

#include "devicerecord.h"

#include <QMetaType>
#include <QString>

#include <array>

// One device found by an SSDP source: a wireless document camera, filled from
// its description document, or a control box. What the device list shows of
// it (name, serial number, model, ip, firmware and the MAC as the device
// wrote it, "-" turned into ":", upper case) is filled straight into device;
// the rest is what the description carries beyond that. Travels through
// queued signals, so it is registered with the meta-type system as
// "DocCamUpnpData".
struct DocCamUpnpData
{
    using MacBytes = std::array<quint8, 6>;

    DeviceRecord device;
    MacBytes macBytes{};
    quint32 numberField = 0;
    quint32 addressField = 0;
    QString hexTextField;
    MacBytes bssid{};
    QString textField;
    quint32 responderAddress = 0;
    QString udnKey;           // UUID followed directly by the device's ip
    bool ispState = false;
    QString usePasscode;
    quint32 major = 1;
    quint32 minor = 0;

    // Registers the type under its name; safe to call more than once.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(DocCamUpnpData)

#endif // DOCCAMUPNPDATA_H
