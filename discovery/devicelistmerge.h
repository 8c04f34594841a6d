#ifndef DEVICELISTMERGE_H
#define DEVICELISTMERGE_H

#include "devicerecord.h"

#include <QList>

// The rules by which what the sources found becomes one device list, free of
// any instance state. Records keep the order of their sources (the utility
// search first) and, for one MAC, the first source wins.
class DeviceListMerge
{
public:
    // Prepares a record a source found under searchType for the list: the
    // type set and, for every source but the utility search, the MAC in
    // lower case and no network settings (only the utility search's can be
    // changed, so only its are shown). False when it is not listed at all:
    // a name or a model is missing.
    static bool prepare(DeviceRecord *record, int searchType);

    // Appends the records of one source. The utility search's are not
    // checked by MAC; any other source's record is dropped when a listed
    // one has its MAC (with the three log lines of findSameMac). An ONVIF
    // record is dropped only for a row of another source with its MAC (a
    // camera that answers the maker's search too is listed once, as the
    // maker's row, which can show and change more); ONVIF rows sharing a
    // MAC, or with none known, are all kept.
    static void append(QList<DeviceRecord> *list, int searchType, const QList<DeviceRecord> &records);

    // True (and the three log lines) when a record of list has record's mac.
    static bool findSameMac(const QList<DeviceRecord> &list, const DeviceRecord &record);

private:
    static QList<DeviceRecord> otherSources(const QList<DeviceRecord> &list, int searchType);
};

#endif // DEVICELISTMERGE_H
