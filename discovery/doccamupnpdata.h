#ifndef DOCCAMUPNPDATA_H
#define DOCCAMUPNPDATA_H

#include "devicerecord.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <array>

// One device found by an SSDP source: a wireless document camera, filled from
// its description document, or a control box, of which only name, model, ip
// and macText are set. Travels through queued signals, so it is registered
// with the meta-type system as "DocCamUpnpData".
struct DocCamUpnpData
{
    using MacBytes = std::array<quint8, 6>;

    QString name;
    QString serialNo;
    MacBytes macBytes{};
    QString macText;          // as the device wrote it, "-" turned into ":", upper case
    QString model;
    quint32 numberField = 0;
    quint32 addressField = 0;
    QString hexTextField;
    MacBytes bssid{};
    QString textField;
    quint32 responderAddress = 0;
    QString ip;
    QString udnKey;           // UUID followed directly by ip
    bool ispState = false;
    QString usePasscode;
    quint32 major = 1;
    quint32 minor = 0;
    QString fwVersion;

    // Registers the type under its name; safe to call more than once.
    static void registerMetaType();
    // The coordinator's records of a source's finds: name, serial number,
    // model, ip, firmware and MAC text, with the source's search type.
    static QList<DeviceRecord> toDeviceRecords(const QList<DocCamUpnpData> &found, int searchType);
};

Q_DECLARE_METATYPE(DocCamUpnpData)

#endif // DOCCAMUPNPDATA_H
