#ifndef SEARCHSOURCE_H
#define SEARCHSOURCE_H

#include "devicerecord.h"

#include <QList>
#include <QString>

// A discovery source the coordinator runs besides the utility search: the
// document camera and control box SSDP managers (search types 1 and 2) plug
// in through this, so the coordinator needs no knowledge of their protocols.
class SearchSource
{
public:
    virtual ~SearchSource() = default;

    // The adapter address the next search binds to ("" for every address).
    virtual void setBindAddress(const QString &adapterIp) = 0;
    // Starts one search; the coordinator calls it 500 ms after setBindAddress.
    virtual void startBroadcast() = 0;
    // Ends the search and returns what it found, converted to device records
    // (name, serialNo, model, ip, fwVersion and the MAC text; the coordinator
    // sets searchType and lower-cases the MAC).
    virtual QList<DeviceRecord> takeDeviceRecords() = 0;
    // Ends a running search without taking its list (coordinator shutdown).
    virtual void stopDiscovery() = 0;
};

#endif // SEARCHSOURCE_H
