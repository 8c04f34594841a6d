#ifndef FLEETINDEX_H
#define FLEETINDEX_H

#include "devicerecord.h"

#include <QList>
#include <QMap>
#include <QString>

// How the watch and the report tell devices apart and find two on one
// address: a device is its MAC and model (what the search merges by), and
// an address is in conflict when devices of different identity answer from
// it.
class FleetIndex
{
public:
    // "00:11:22:33:44:55|MODEL", the MAC in lower case; empty for a record
    // without a well-formed MAC, which nothing here can follow.
    static QString identity(const DeviceRecord &device);

    // The devices in list order, each identity once (the first record
    // wins), without records that have no identity; *dropped (optional)
    // counts the records left out.
    static QList<DeviceRecord> unique(const QList<DeviceRecord> &devices, int *dropped = nullptr);

    // Every IPv4 address (as numbers, so the map runs in address order)
    // that two or more devices of different identity hold, with those
    // devices in list order. 0.0.0.0 and texts that are no address are
    // nobody's address and never a conflict.
    static QMap<quint32, QList<DeviceRecord>> conflicts(const QList<DeviceRecord> &devices);

private:
    FleetIndex() = delete;
};

#endif // FLEETINDEX_H
