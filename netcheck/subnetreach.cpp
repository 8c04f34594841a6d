#include "subnetreach.h"

#include "arpprobe.h"
#include "settingscheck.h"
#include "settingsrequest.h"
#include "temporaryaddress.h"

#include <QHostAddress>

namespace {

const QString Check = QStringLiteral("subnet");
// How far below the camera subnet's broadcast address the temporary
// address is looked for: the top of a subnet is seldom a camera's.
constexpr quint32 TemporarySpan = 16;

QString text(quint32 address)
{
    return QHostAddress(address).toString();
}

} // namespace

bool SubnetReach::reachable(const DeviceRecord &device, const AdapterSurvey &survey)
{
    quint32 address = 0;
    if (!SettingsCheck::parseAddress(device.ip, &address))
        return false;
    return survey.adapterFor(address) != nullptr;
}

QList<SubnetReach::Finding> SubnetReach::evaluate(const QList<DeviceRecord> &devices, const AdapterSurvey &survey,
                                                  const QHash<QString, QString> &heardOn, const Probe &probe,
                                                  const QString &onlyMac)
{
    QList<Finding> findings;
    const QList<AdapterSurvey::Adapter> usable = survey.usable();
    if (usable.isEmpty())
        return findings;
    // Every address in use is taken: the devices' and this computer's.
    QList<DeviceRecord> taken = devices;
    for (const AdapterSurvey::Adapter &adapter : survey.adapters) {
        for (const AdapterSurvey::Ipv4 &a : adapter.addresses) {
            DeviceRecord host;
            host.ip = text(a.address);
            taken.append(host);
        }
    }
    for (const DeviceRecord &device : devices) {
        if (!onlyMac.isEmpty() && device.mac.compare(onlyMac, Qt::CaseInsensitive) != 0)
            continue;
        quint32 cameraAddress = 0;
        if (!SettingsCheck::parseAddress(device.ip, &cameraAddress) || survey.adapterFor(cameraAddress))
            continue;
        Finding finding;
        finding.device = device;
        const AdapterSurvey::Adapter *adapter = survey.find(heardOn.value(device.mac));
        if (!adapter || !adapter->up || !adapter->hasIpv4())
            adapter = survey.defaultAdapter();
        if (!adapter || !adapter->up || !adapter->hasIpv4())
            adapter = &usable.first();
        finding.adapter = adapter->name;
        const QString probeAdapter = adapter->name;
        const AssignPlanner::ProbeFunction probeHere = probe
            ? AssignPlanner::ProbeFunction([&probe, probeAdapter](const QList<quint32> &c) { return probe(probeAdapter, c); })
            : AssignPlanner::ProbeFunction();

        // 1. The next free address of the adapter's subnet.
        const AdapterSurvey::Ipv4 own = adapter->addresses.first();
        const quint32 mask = AdapterSurvey::maskOf(own.prefix);
        const quint32 network = own.address & mask;
        const quint32 broadcast = network | ~mask;
        SettingsRequest change;
        change.mask = text(mask);
        change.gateway = adapter->gateway != 0 && (adapter->gateway & mask) == network ? text(adapter->gateway)
                                                                                       : QStringLiteral("0.0.0.0");
        if (own.prefix <= 30) {
            const AssignPlanner::Plan plan = AssignPlanner::plan({device}, taken, network + 1, broadcast - 1, change, probeHere, mask);
            if (!plan.entries.isEmpty() && !plan.entries.first().desired.ip.isEmpty())
                finding.readdressed = plan.entries.first().desired;
        }

        // 2. A free address of the camera's own subnet for the adapter.
        int cameraPrefix = SettingsCheck::prefixLength(SettingsRequest::recordAddress(device.mask));
        if (cameraPrefix < 8 || cameraPrefix > 30)
            cameraPrefix = 24;
        const quint32 cameraMask = AdapterSurvey::maskOf(cameraPrefix);
        const quint32 cameraNetwork = cameraAddress & cameraMask;
        const quint32 cameraBroadcast = cameraNetwork | ~cameraMask;
        QList<DeviceRecord> takenThere = taken;
        DeviceRecord gateway;
        gateway.ip = device.gateway;   // the camera's router, if it has one there
        takenThere.append(gateway);
        DeviceRecord slot;
        slot.mac = QStringLiteral("temporary");
        // From the top of the subnet down, one address at a time.
        for (quint32 candidate = cameraBroadcast - 1;
             candidate > cameraNetwork && cameraBroadcast - candidate <= TemporarySpan; --candidate) {
            const AssignPlanner::Plan local = AssignPlanner::plan({slot}, takenThere, candidate, candidate,
                                                                  SettingsRequest(), probeHere, cameraMask);
            if (!local.entries.isEmpty() && !local.entries.first().desired.ip.isEmpty()) {
                finding.temporaryAddress = candidate;
                finding.temporaryPrefix = cameraPrefix;
                break;
            }
        }

        const QString who = QStringLiteral("%1 %2 (%3)").arg(device.model, device.name, device.mac).simplified();
        CheckResult r = CheckResult::make(
            Check, device.mac, CheckResult::Status::Warning,
            QStringLiteral("%1 at %2 is %3: its address lies in no adapter's subnet.").arg(who, device.ip, notReachableText()));
        if (!finding.readdressed.ip.isEmpty()) {
            r.sentence += QStringLiteral(" It can be moved to %1, the next free address in %2's subnet %3.")
                              .arg(finding.readdressed.ip, adapter->name, SettingsCheck::subnetText(own.address, mask));
            r.fix = QStringLiteral("pathmere-cli fix-subnet %1 --user USER").arg(device.mac);
        }
        if (finding.temporaryAddress != 0) {
            const QString command = TemporaryAddress::addCommand(adapter->name, finding.temporaryAddress, finding.temporaryPrefix);
            if (r.fix.isEmpty())
                r.fix = command;
            else
                r.alternativeFix = command;
        }
        r.reasoning.append(QStringLiteral("no adapter's subnet holds %1; the fixes use %2").arg(device.ip, adapter->name));
        if (!finding.readdressed.ip.isEmpty())
            r.reasoning.append(QStringLiteral("planned: %1 mask %2 gateway %3")
                                   .arg(finding.readdressed.ip, finding.readdressed.mask, finding.readdressed.gateway));
        finding.result = r;
        findings.append(finding);
    }
    return findings;
}

QList<SubnetReach::Finding> SubnetReach::planFor(const QList<DeviceRecord> &devices, const AdapterSurvey &survey,
                                                 const QString &mac, const QString &searchAddress, const Probe &probe)
{
    // Without a MAC, evaluate would plan for every camera out of reach.
    if (mac.isEmpty())
        return {};
    QHash<QString, QString> heardOn;
    const QStringList addresses = searchAddress.split(QLatin1Char('\n'));
    for (const QString &line : addresses) {
        quint32 address = 0;
        if (!SettingsCheck::parseAddress(line.trimmed(), &address))
            continue;
        if (const AdapterSurvey::Adapter *chosen = survey.adapterFor(address)) {
            for (const DeviceRecord &device : devices) {
                if (device.mac.compare(mac, Qt::CaseInsensitive) == 0)
                    heardOn.insert(device.mac, chosen->name);
            }
            break;
        }
    }
    return evaluate(devices, survey, heardOn, probe, mac);
}

SubnetReach::Probe SubnetReach::arpProbe(QStringList *notes)
{
    return [notes](const QString &adapter, const QList<quint32> &candidates) {
        const ArpProbe::Result probed = ArpProbe::probe(adapter, candidates);
        if (!probed.probed && notes && !notes->contains(probed.reason))
            notes->append(probed.reason);
        return probed.inUse;
    };
}
