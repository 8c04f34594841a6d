#include "fleetindex.h"

#include "settingscheck.h"
#include "wakeonlan.h"

#include <QSet>

QString FleetIndex::identity(const DeviceRecord &device)
{
    if (!WakeOnLan::isMacText(device.mac))
        return QString();
    return device.mac.toLower() + QLatin1Char('|') + device.model;
}

QList<DeviceRecord> FleetIndex::unique(const QList<DeviceRecord> &devices, int *dropped)
{
    QList<DeviceRecord> result;
    QSet<QString> seen;
    for (const DeviceRecord &device : devices) {
        const QString key = identity(device);
        if (key.isEmpty() || seen.contains(key))
            continue;
        seen.insert(key);
        result.append(device);
    }
    if (dropped)
        *dropped = devices.size() - result.size();
    return result;
}

QMap<quint32, QList<DeviceRecord>> FleetIndex::conflicts(const QList<DeviceRecord> &devices)
{
    QMap<quint32, QList<DeviceRecord>> byAddress;
    for (const DeviceRecord &device : unique(devices)) {
        quint32 address = 0;
        if (SettingsCheck::parseAddress(device.ip, &address) && address != 0)
            byAddress[address].append(device);
    }
    for (auto it = byAddress.begin(); it != byAddress.end();) {
        if (it.value().size() < 2)
            it = byAddress.erase(it);
        else
            ++it;
    }
    return byAddress;
}
