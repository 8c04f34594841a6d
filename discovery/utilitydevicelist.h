#ifndef UTILITYDEVICELIST_H
#define UTILITYDEVICELIST_H

#include "utilitysearchcaminfo.h"

#include <QHash>
#include <QList>
#include <QString>

#include <vector>

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
        IpChanged,    // a known camera that now reports another IPv4 address
        Refused       // a camera not seen before, but the list is full
    };

    // Twice the largest fleet the benchmarks answer with; a real site has
    // hundreds. Past it, forged replies from one host would grow the list,
    // the table and the page's reply without end.
    static constexpr int MaxDevices = 16384;

    // A known camera takes the new firmware, ip, mask, gateway and name, and
    // the serial number only when the new one is not empty; its dhcp flag,
    // DNS servers and IPv6 text stay as first reported.
    MergeResult merge(const UtilitySearchCamInfo &info);
    // The same, taking the record over when it is a new camera. *position
    // (when given) is the record's place in records(), -1 when refused.
    MergeResult merge(UtilitySearchCamInfo &&info, int *position = nullptr);

    void clear();
    const QList<UtilitySearchCamInfo> &records() const { return list; }
    int size() const { return list.size(); }

private:
    // The case-folded key texts of a record and their hash; records compare
    // equal exactly when both folded texts do.
    struct Key
    {
        uint hash;
        QString mac;
        QString model;
    };

    Key keyOf(const UtilitySearchCamInfo &info);
    static QString foldCase(const QString &text);
    int find(const Key &key) const;      // position in list, or -1
    void insertIndex(uint hash, int position);
    static MergeResult update(UtilitySearchCamInfo &known, const UtilitySearchCamInfo &info);

    QList<UtilitySearchCamInfo> list;
    std::vector<Key> keys;               // parallel to list
    std::vector<int> index;              // open addressing over keys; -1 free, power-of-two size
    // A fleet's replies share one model text; it is folded once.
    QString lastModel;
    QString lastFoldedModel;
    uint lastModelHash = qHash(QString());   // of lastFoldedModel
};

#endif // UTILITYDEVICELIST_H
