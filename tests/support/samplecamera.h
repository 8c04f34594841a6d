#ifndef SAMPLECAMERA_H
#define SAMPLECAMERA_H

#include "devicerecord.h"

#include <QString>

// A camera as a search reports it, every field filled with what a camera in
// 192.0.2.0/24 sends, so that a field lost or mixed up on its way shows.
// A suite sets only the fields its case is about. Header-only: the support
// library itself does not link the program's libraries.
inline DeviceRecord sampleCamera(const QString &mac, const QString &model, const QString &ip,
                                 const QString &name = QStringLiteral("cam"))
{
    DeviceRecord record;
    record.mac = mac;
    record.model = model;
    record.fwVersion = QStringLiteral("1.0");
    record.ip = ip;
    record.mask = QStringLiteral("255.255.255.0");
    record.gateway = QStringLiteral("192.0.2.1");
    record.name = name;
    record.dhcp = true;
    record.dns1 = QStringLiteral("192.0.2.53");
    record.dns2 = QStringLiteral("192.0.2.54");
    record.ipv6 = QStringLiteral("fe80::1");
    return record;
}

#endif // SAMPLECAMERA_H
