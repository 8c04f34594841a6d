#include "fleetreport.h"

#include "fleetindex.h"
#include "versionorder.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

bool addressLess(const DeviceRecord &a, const DeviceRecord &b)
{
    quint32 x = 0;
    quint32 y = 0;
    const bool hasX = SettingsCheck::parseAddress(a.ip, &x);
    const bool hasY = SettingsCheck::parseAddress(b.ip, &y);
    if (hasX != hasY)
        return hasX;
    if (x != y)
        return x < y;
    return a.mac < b.mac;
}

// Firmware texts of one model, counted and put in order; the newest and
// oldest are those whose numbers are greatest and least (several texts
// may share them: "2.1" and "V2.1.0").
FleetReport::Model summarize(const QString &name, const QList<DeviceRecord> &cameras)
{
    FleetReport::Model model;
    model.model = name;
    model.cameras = cameras.size();
    QHash<QString, int> counts;
    for (const DeviceRecord &camera : cameras)
        ++counts[camera.fwVersion];
    QVector<quint32> newest;
    QVector<quint32> oldest;
    bool any = false;
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
        FleetReport::Firmware firmware;
        firmware.version = it.key();
        firmware.cameras = it.value();
        QVector<quint32> numbers;
        firmware.comparable = VersionOrder::firmwareNumbers(it.key(), &numbers);
        if (firmware.comparable) {
            if (!any || VersionOrder::compare(numbers, newest) > 0)
                newest = numbers;
            if (!any || VersionOrder::compare(numbers, oldest) < 0)
                oldest = numbers;
            any = true;
        }
        model.firmware.append(firmware);
    }
    std::sort(model.firmware.begin(), model.firmware.end(), [](const FleetReport::Firmware &a, const FleetReport::Firmware &b) {
        return VersionOrder::compareFirmware(a.version, b.version) > 0;
    });
    for (FleetReport::Firmware &firmware : model.firmware) {
        QVector<quint32> numbers;
        if (!firmware.comparable || !VersionOrder::firmwareNumbers(firmware.version, &numbers))
            continue;
        firmware.newest = VersionOrder::compare(numbers, newest) == 0;
        firmware.oldest = VersionOrder::compare(numbers, oldest) == 0;
        if (firmware.newest && model.newest.isEmpty())
            model.newest = firmware.version;
        if (firmware.oldest)
            model.oldest = firmware.version;
    }
    for (const DeviceRecord &camera : cameras) {
        QVector<quint32> numbers;
        if (any && VersionOrder::firmwareNumbers(camera.fwVersion, &numbers) && VersionOrder::compare(numbers, newest) < 0)
            model.behind.append(camera);
    }
    return model;
}

} // namespace

FleetReport FleetReport::make(const QList<DeviceRecord> &given, const QList<SettingsCheck::HostAddress> &adapters)
{
    FleetReport report;
    QList<DeviceRecord> devices = FleetIndex::unique(given, &report.duplicatesDropped);
    std::stable_sort(devices.begin(), devices.end(), [](const DeviceRecord &a, const DeviceRecord &b) {
        if (a.model != b.model)
            return a.model < b.model;
        return addressLess(a, b);
    });
    report.cameras = devices.size();

    QList<QString> modelOrder;
    QHash<QString, QList<DeviceRecord>> byModel;
    for (const DeviceRecord &device : qAsConst(devices)) {
        if (!byModel.contains(device.model))
            modelOrder.append(device.model);
        byModel[device.model].append(device);
        if (device.searchType != DeviceRecord::BroadcastSearch)
            ++report.modeUnknown;
        else if (device.dhcp)
            ++report.dhcp;
        else
            ++report.fixed;
    }
    for (const QString &model : qAsConst(modelOrder))
        report.models.append(summarize(model, byModel.value(model)));
    std::stable_sort(report.models.begin(), report.models.end(), [](const Model &a, const Model &b) {
        return a.cameras > b.cameras;
    });

    const QMap<quint32, QList<DeviceRecord>> conflicts = FleetIndex::conflicts(devices);
    for (auto it = conflicts.constBegin(); it != conflicts.constEnd(); ++it)
        report.conflicts.append({SettingsCheck::addressText(it.key()), it.value()});

    QList<SettingsCheck::HostAddress> networks;
    for (const SettingsCheck::HostAddress &adapter : adapters) {
        if ((adapter.address >> 24) == 127 || SettingsCheck::prefixLength(adapter.mask) < 0)
            continue;
        const QString subnet = SettingsCheck::subnetText(adapter.address, adapter.mask);
        if (report.subnets.contains(subnet))
            continue;
        report.subnets.append(subnet);
        networks.append(adapter);
    }
    report.subnetsKnown = !networks.isEmpty();
    QSet<QString> outside;
    if (report.subnetsKnown) {
        for (const DeviceRecord &device : qAsConst(devices)) {
            quint32 address = 0;
            const bool parsed = SettingsCheck::parseAddress(device.ip, &address);
            const bool inside = parsed && std::any_of(networks.cbegin(), networks.cend(), [address](const SettingsCheck::HostAddress &n) {
                return (address & n.mask) == (n.address & n.mask);
            });
            if (!inside) {
                report.outsideSubnets.append(device);
                outside.insert(FleetIndex::identity(device));
            }
        }
    }

    QSet<QString> behind;
    QHash<QString, QString> newest;
    for (const Model &model : qAsConst(report.models)) {
        newest.insert(model.model, model.newest);
        for (const DeviceRecord &device : model.behind)
            behind.insert(FleetIndex::identity(device));
    }
    QSet<QString> inConflict;
    for (const Conflict &conflict : qAsConst(report.conflicts)) {
        for (const DeviceRecord &device : conflict.devices)
            inConflict.insert(FleetIndex::identity(device));
    }
    for (const DeviceRecord &device : qAsConst(devices)) {
        const QString key = FleetIndex::identity(device);
        report.devices.append({device, newest.value(device.model), behind.contains(key), inConflict.contains(key),
                               outside.contains(key)});
    }
    return report;
}
