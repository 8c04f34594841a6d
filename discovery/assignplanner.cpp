#include "assignplanner.h"

#include "camerasettings.h"
#include "settingscheck.h"

#include <QHostAddress>

#include <algorithm>

namespace {

bool toIpv4(const QString &text, quint32 *address)
{
    bool ok = false;
    const QHostAddress parsed(text);
    *address = parsed.toIPv4Address(&ok);
    return ok && !text.isEmpty();
}

} // namespace

AssignPlanner::Plan AssignPlanner::plan(QList<DeviceRecord> cameras, const QList<DeviceRecord> &allDevices,
                                        quint32 first, quint32 last, const SettingsRequest &change,
                                        const ProbeFunction &probe, quint32 mask)
{
    const auto reserved = [mask](quint32 address) {
        return mask != 0 && !SettingsCheck::isHostInSubnet(address, mask);
    };
    std::sort(cameras.begin(), cameras.end(),
              [](const DeviceRecord &a, const DeviceRecord &b) { return a.mac < b.mac; });

    QSet<quint32> held;
    for (const DeviceRecord &device : allDevices) {
        quint32 address = 0;
        if (toIpv4(device.ip, &address))
            held.insert(address);
    }

    SettingsRequest fields = change;
    fields.dhcpGiven = false;
    fields.ip.clear();

    Plan plan;
    QSet<quint32> claimed;
    QList<int> needing;
    // Keepers first, so an earlier camera never takes a later one's address.
    for (int i = 0; i < cameras.size(); ++i) {
        Entry entry;
        entry.current = cameras.at(i);
        quint32 address = 0;
        if (toIpv4(entry.current.ip, &address) && address >= first && address <= last && !claimed.contains(address)
            && !reserved(address)) {
            claimed.insert(address);
            entry.keepsAddress = true;
            entry.desired = fields.desired(entry.current);
            entry.desired.dhcp = false;
            entry.unchanged = CameraSettings::fromRecord(entry.desired).shownBy(entry.current);
        } else {
            needing.append(i);
        }
        plan.entries.append(entry);
    }

    quint64 next = first;
    QSet<quint32> probeRefused;
    int pending = 0;
    while (pending < needing.size()) {
        // The next batch of free addresses, one per camera still waiting.
        QList<quint32> candidates;
        while (candidates.size() < needing.size() - pending && next <= last) {
            const quint32 address = quint32(next++);
            if (claimed.contains(address))
                continue;
            if (reserved(address)) {
                plan.skippedReserved.append(address);
                continue;
            }
            if (held.contains(address)) {
                plan.skippedHeld.append(address);
                continue;
            }
            candidates.append(address);
        }
        if (candidates.isEmpty())
            break;
        const QSet<quint32> answered = probe ? probe(candidates) : QSet<quint32>();
        for (const quint32 address : qAsConst(candidates)) {
            if (answered.contains(address)) {
                plan.skippedProbe.append(address);
                continue;
            }
            Entry &entry = plan.entries[needing.at(pending++)];
            SettingsRequest withAddress = fields;
            withAddress.ip = QHostAddress(address).toString();
            entry.desired = withAddress.desired(entry.current);
            claimed.insert(address);
        }
    }
    plan.shortBy = needing.size() - pending;
    return plan;
}
