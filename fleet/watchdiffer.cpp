#include "watchdiffer.h"

#include "fleetindex.h"
#include "settingscheck.h"


void WatchDiffer::remember(const QString &key, const DeviceRecord &device)
{
    if (!m_known.contains(key))
        m_order.append(key);
    Known &known = m_known[key];
    known.record = device;
    known.missed = 0;
    known.gone = false;
}

void WatchDiffer::setBaseline(const QList<DeviceRecord> &devices)
{
    for (const DeviceRecord &device : FleetIndex::unique(devices))
        remember(FleetIndex::identity(device), device);
}

QList<WatchEvent::Change> WatchDiffer::changesBetween(const DeviceRecord &before, const DeviceRecord &now)
{
    QList<WatchEvent::Change> changes;
    if (before.name != now.name)
        changes.append({QStringLiteral("name"), before.name, now.name});
    if (before.fwVersion != now.fwVersion)
        changes.append({QStringLiteral("fwVersion"), before.fwVersion, now.fwVersion});
    if (before.dhcp != now.dhcp) {
        const auto text = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
        changes.append({QStringLiteral("dhcp"), text(before.dhcp), text(now.dhcp)});
    }
    return changes;
}

QList<WatchEvent> WatchDiffer::round(const QList<DeviceRecord> &given)
{
    ++m_rounds;
    QList<WatchEvent> events;
    const QList<DeviceRecord> found = FleetIndex::unique(given);
    QSet<QString> answered;
    for (const DeviceRecord &device : found) {
        const QString key = FleetIndex::identity(device);
        answered.insert(key);
        const auto it = m_known.constFind(key);
        if (it == m_known.constEnd() || it->gone) {
            WatchEvent event;
            event.kind = WatchEvent::Kind::Appeared;
            event.device = device;
            events.append(event);
        } else {
            const DeviceRecord before = it->record;
            if (before.ip != device.ip) {
                WatchEvent event;
                event.kind = WatchEvent::Kind::Moved;
                event.device = device;
                event.fromIp = before.ip;
                events.append(event);
            }
            const QList<WatchEvent::Change> changes = changesBetween(before, device);
            if (!changes.isEmpty()) {
                WatchEvent event;
                event.kind = WatchEvent::Kind::Changed;
                event.device = device;
                event.changes = changes;
                events.append(event);
            }
        }
        remember(key, device);
    }

    for (const QString &key : qAsConst(m_order)) {
        Known &known = m_known[key];
        if (known.gone || answered.contains(key))
            continue;
        if (++known.missed >= MissedRoundsForGone) {
            known.gone = true;
            WatchEvent event;
            event.kind = WatchEvent::Kind::Disappeared;
            event.device = known.record;
            events.append(event);
        }
    }

    const QMap<quint32, QList<DeviceRecord>> holders = FleetIndex::conflicts(found);
    for (auto it = m_conflicts.begin(); it != m_conflicts.end();) {
        if (!holders.contains(it.key()) && ++it->quiet >= MissedRoundsForGone)
            it = m_conflicts.erase(it);
        else
            ++it;
    }
    for (auto it = holders.constBegin(); it != holders.constEnd(); ++it) {
        ConflictMemory &memory = m_conflicts[it.key()];
        memory.quiet = 0;
        bool joined = false;
        for (const DeviceRecord &device : it.value()) {
            const QString key = FleetIndex::identity(device);
            if (!memory.holders.contains(key)) {
                memory.holders.insert(key);
                joined = true;
            }
        }
        if (!joined)
            continue;
        WatchEvent event;
        event.kind = WatchEvent::Kind::Conflict;
        event.address = SettingsCheck::addressText(it.key());
        event.holders = it.value();
        events.append(event);
    }
    return events;
}

QList<DeviceRecord> WatchDiffer::present() const
{
    QList<DeviceRecord> devices;
    for (const QString &key : m_order) {
        const Known &known = m_known[key];
        if (!known.gone)
            devices.append(known.record);
    }
    return devices;
}
