#ifndef UTILITYDEVICELIST_H
#define UTILITYDEVICELIST_H

#include "utilitysearchcaminfo.h"

#include <QHash>
#include <QList>
#include <QString>

// The cameras found by one utility search, one record per (MAC, model) pair
// compared without regard to letter case, in the order they first answered.
// An index keeps each merge O(1), which matters when a whole fleet answers
// within milliseconds.
class UtilityDeviceList
{
public:
    enum class MergeResult {
        Appended,     // a camera not seen before
        Updated,      // a known camera, same IPv4 address
        IpChanged     // a known camera that now reports another IPv4 address
    };

    // A known camera takes the new firmware, ip, mask, gateway and name, and
    // the serial number only when the new one is not empty; its dhcp flag,
    // DNS servers and IPv6 text stay as first reported.
    MergeResult merge(const UtilitySearchCamInfo &info);

    void clear();
    const QList<UtilitySearchCamInfo> &records() const { return list; }
    int size() const { return list.size(); }

private:
    static QString indexKey(const QString &mac, const QString &model);

    QList<UtilitySearchCamInfo> list;
    QHash<QString, int> index;   // indexKey -> position in list
};

#endif // UTILITYDEVICELIST_H
