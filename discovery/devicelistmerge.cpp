#include "devicelistmerge.h"

#include "applog.h"

#include <algorithm>

bool DeviceListMerge::prepare(DeviceRecord *record, int searchType)
{
    record->searchType = searchType;
    if (searchType != DeviceRecord::BroadcastSearch) {
        record->mac = record->mac.toLower();
        record->clearNetworkSettings();
    }
    return !record->name.isEmpty() && !record->model.isEmpty();
}

void DeviceListMerge::append(QList<DeviceRecord> *list, int searchType, const QList<DeviceRecord> &records)
{
    if (searchType == DeviceRecord::BroadcastSearch) {
        // A whole fleet answers the utility search: when every record is
        // kept as it came, the list shares the source's records instead of
        // copying each of their texts.
        const bool allListed = std::all_of(records.cbegin(), records.cend(), [](const DeviceRecord &r) {
            return r.searchType == DeviceRecord::BroadcastSearch && !r.name.isEmpty() && !r.model.isEmpty();
        });
        if (allListed && list->isEmpty()) {
            *list = records;
            return;
        }
    }
    list->reserve(list->size() + records.size());
    for (DeviceRecord record : records) {
        const bool listed = prepare(&record, searchType);
        if (searchType == DeviceRecord::Onvif) {
            // Cameras behind one address share the MAC the neighbour table
            // gives them, and one without an entry has none: ONVIF rows are
            // told apart by endpoint (the search already keeps one each), and
            // only a row of the maker's own protocols with the same MAC
            // means the same camera, which that row already shows.
            if (!record.mac.isEmpty() && findSameMac(otherSources(*list, searchType), record))
                continue;
        } else if (searchType != DeviceRecord::BroadcastSearch && findSameMac(*list, record)) {
            continue;
        }
        if (listed)
            list->append(record);
    }
}

QList<DeviceRecord> DeviceListMerge::otherSources(const QList<DeviceRecord> &list, int searchType)
{
    QList<DeviceRecord> others;
    for (const DeviceRecord &listed : list) {
        if (listed.searchType != searchType)
            others.append(listed);
    }
    return others;
}

bool DeviceListMerge::findSameMac(const QList<DeviceRecord> &list, const DeviceRecord &record)
{
    for (const DeviceRecord &listed : list) {
        if (listed.mac != record.mac)
            continue;
        appLog(LogSystem::LogMajorMsg, "Find same mac address.");
        appLog(LogSystem::LogMajorMsg, "old search type=%d, current search type=%d",
               listed.searchType, record.searchType);
        appLog(LogSystem::LogMajorMsg, "IP=%s, mac=%s, model=%s, name=%s, fwVersion=%s",
               qPrintable(listed.ip), qPrintable(listed.mac), qPrintable(listed.model),
               qPrintable(listed.name), qPrintable(listed.fwVersion));
        return true;
    }
    return false;
}
