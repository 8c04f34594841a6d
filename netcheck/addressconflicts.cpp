#include "addressconflicts.h"

#include "arpprobe.h"
#include "settingscheck.h"

#include <QMap>

namespace {
const QString Check = QStringLiteral("conflict");
}

QList<AddressConflicts::Conflict> AddressConflicts::sameAddress(const QList<DeviceRecord> &devices)
{
    QMap<QString, QStringList> byAddress;   // ordered, so the results are too
    for (const DeviceRecord &device : devices) {
        quint32 address = 0;
        if (!SettingsCheck::parseAddress(device.ip, &address) || address == 0)
            continue;
        QStringList &macs = byAddress[device.ip];
        if (!macs.contains(device.mac, Qt::CaseInsensitive))
            macs.append(device.mac);
    }
    QList<Conflict> conflicts;
    for (auto it = byAddress.cbegin(); it != byAddress.cend(); ++it) {
        if (it.value().size() > 1)
            conflicts.append(Conflict{it.key(), it.value(), false});
    }
    return conflicts;
}

QList<AddressConflicts::Conflict> AddressConflicts::fromProbe(const QList<DeviceRecord> &devices,
                                                              const QMultiHash<quint32, QString> &answeredBy)
{
    QList<Conflict> conflicts;
    for (const DeviceRecord &device : devices) {
        quint32 address = 0;
        if (!SettingsCheck::parseAddress(device.ip, &address))
            continue;
        Conflict conflict{device.ip, {device.mac}, true};
        const QList<QString> answers = answeredBy.values(address);
        for (const QString &mac : answers) {
            if (mac.compare(device.mac, Qt::CaseInsensitive) != 0 && !conflict.macs.contains(mac, Qt::CaseInsensitive))
                conflict.macs.append(mac);
        }
        if (conflict.macs.size() > 1)
            conflicts.append(conflict);
    }
    return conflicts;
}

AddressConflicts::ProbeOutcome AddressConflicts::probe(const QList<DeviceRecord> &devices, const AdapterSurvey &survey)
{
    ProbeOutcome outcome;
    QMap<QString, QList<quint32>> byAdapter;
    for (const DeviceRecord &device : devices) {
        quint32 address = 0;
        if (!SettingsCheck::parseAddress(device.ip, &address))
            continue;
        const AdapterSurvey::Adapter *adapter = survey.adapterFor(address);
        if (adapter && !byAdapter[adapter->name].contains(address))
            byAdapter[adapter->name].append(address);
    }
    for (auto it = byAdapter.cbegin(); it != byAdapter.cend(); ++it) {
        const ArpProbe::Result result = ArpProbe::probe(it.key(), it.value().mid(0, ArpProbe::MaxAddresses));
        if (!result.probed) {
            outcome.notes.append(QStringLiteral("no ARP probe on %1: %2").arg(it.key(), result.reason));
            continue;
        }
        for (auto a = result.answeredBy.cbegin(); a != result.answeredBy.cend(); ++a)
            outcome.answeredBy.insert(a.key(), a.value());
    }
    return outcome;
}

QSet<QString> AddressConflicts::conflictingMacs(const QList<Conflict> &conflicts)
{
    QSet<QString> macs;
    for (const Conflict &c : conflicts) {
        for (const QString &mac : c.macs)
            macs.insert(mac.toLower());
    }
    return macs;
}

QList<CheckResult> AddressConflicts::evaluate(const QList<Conflict> &conflicts, const QStringList &probeNotes)
{
    QList<CheckResult> results;
    for (const Conflict &c : conflicts) {
        CheckResult r = CheckResult::make(
            Check, c.ip, CheckResult::Status::Problem,
            c.fromProbe
                ? QStringLiteral("Conflict: %1 answers the search from %2, and %3 answered an ARP probe for that address too.")
                      .arg(c.macs.first(), c.ip, c.macs.mid(1).join(QStringLiteral(", ")))
                : QStringLiteral("Conflict: %1 answer the search with one address, %2.")
                      .arg(c.macs.join(QStringLiteral(" and ")), c.ip),
            QStringLiteral("pathmere-cli set %1 --ip ADDRESS --user USER").arg(c.macs.first()));
        results.append(r);
    }
    if (conflicts.isEmpty()) {
        CheckResult r = CheckResult::make(Check, QString(), probeNotes.isEmpty() ? CheckResult::Status::Ok
                                                                                : CheckResult::Status::Warning,
                                          probeNotes.isEmpty()
                                              ? QStringLiteral("No two devices answer with one address.")
                                              : QStringLiteral("No two devices answer the search with one address; "
                                                               "other hosts on the cameras' addresses were not probed."),
                                          probeNotes.isEmpty() ? QString() : QStringLiteral("sudo pathmere-cli doctor"));
        r.reasoning = probeNotes;
        results.append(r);
    }
    return results;
}
