#include "doccamupnpdata.h"

void DocCamUpnpData::registerMetaType()
{
    qRegisterMetaType<DocCamUpnpData>("DocCamUpnpData");
}

QList<DeviceRecord> DocCamUpnpData::toDeviceRecords(const QList<DocCamUpnpData> &found, int searchType)
{
    QList<DeviceRecord> records;
    records.reserve(found.size());
    for (const DocCamUpnpData &data : found) {
        DeviceRecord record;
        record.searchType = searchType;
        record.name = data.name;
        record.serialNo = data.serialNo;
        record.model = data.model;
        record.ip = data.ip;
        record.fwVersion = data.fwVersion;
        record.mac = data.macText;
        records.append(record);
    }
    return records;
}
