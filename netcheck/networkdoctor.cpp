#include "networkdoctor.h"

#include "adaptercheck.h"
#include "arpprobe.h"
#include "containerhints.h"
#include "firewallcheck.h"
#include "firewallreader.h"
#include "livesearchcheck.h"
#include "livesearchrun.h"
#include "portholdercheck.h"
#include "rpfiltercheck.h"
#include "utilityprotocol.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QtConcurrent>

// What is read from the system, off the GUI thread.
struct NetworkDoctor::Readings
{
    AdapterSurvey survey;
    ContainerHints hints;
    FirewallReader::Snapshot firewall;
    QList<RpFilterCheck::Setting> rpFilter;
    PortHolderCheck::Reading port;
};

QList<quint16> NetworkDoctor::portsForSources(int mask)
{
    const struct { DeviceRecord::SearchType type; QList<quint16> ports; } sources[] = {
        {DeviceRecord::BroadcastSearch, {8000}},
        {DeviceRecord::DocumentCamera, {1900}},
        {DeviceRecord::ControlBox, {1988, 1688}},
        {DeviceRecord::Onvif, {3702}}};
    QList<quint16> ports;
    for (const auto &source : sources) {
        if (mask & (1 << source.type))
            ports += source.ports;
    }
    return ports.isEmpty() ? QList<quint16>{8000} : ports;
}

NetworkDoctor::NetworkDoctor(QObject *parent)
    : QObject(parent)
    , watcher(new QFutureWatcher<void>(this))
{
    connect(watcher, &QFutureWatcher<void>::finished, this, &NetworkDoctor::readingsDone);
}

NetworkDoctor::~NetworkDoctor()
{
    // The reading thread writes into readings: let it end first.
    watcher->waitForFinished();
    delete readings;
}

void NetworkDoctor::start(const Options &chosen)
{
    if (running)
        return;
    running = true;
    options = chosen;
    all.clear();
    findings.clear();
    conflictList.clear();
    found.clear();
    strictAdapters.clear();
    delete readings;
    readings = new Readings;
    Readings *target = readings;
    watcher->setFuture(QtConcurrent::run([target]() {
        target->survey = AdapterSurvey::read();
        target->hints = ContainerHints::read();
        target->firewall = FirewallReader::read();
        QStringList names;
        for (const AdapterSurvey::Adapter &a : target->survey.usable())
            names.append(a.name);
        target->rpFilter = RpFilterCheck::read(names);
        target->port = PortHolderCheck::read(UtilityProtocol::Port);
    }));
}

void NetworkDoctor::readingsDone()
{
    adapters = readings->survey;
    QList<AdapterSurvey::Adapter> usable = adapters.usable();
    if (!options.onlyAdapter.isEmpty()) {
        QList<AdapterSurvey::Adapter> chosen;
        for (const AdapterSurvey::Adapter &a : qAsConst(usable)) {
            if (a.name == options.onlyAdapter)
                chosen.append(a);
        }
        usable = chosen;
    }
    all += AdapterCheck::evaluate(adapters, readings->hints);
    QList<FirewallCheck::Adapter> firewallAdapters;
    for (const AdapterSurvey::Adapter &a : qAsConst(usable))
        firewallAdapters.append(FirewallCheck::Adapter{a.name, a.addresses.first().address});
    all += FirewallCheck::evaluate(readings->firewall, options.ports, firewallAdapters);
    bool hasDefault = adapters.defaultAdapter() != nullptr;
    all += RpFilterCheck::evaluate(readings->rpFilter, hasDefault);
    for (const RpFilterCheck::Setting &s : qAsConst(readings->rpFilter)) {
        if (s.effective() == 1)
            strictAdapters.append(s.adapter);
    }
    all += PortHolderCheck::evaluate(readings->port, QCoreApplication::applicationPid());

    if (!options.liveSearch || usable.isEmpty()) {
        finish();
        return;
    }
    QList<LiveSearchRun::Adapter> searchFrom;
    for (const AdapterSurvey::Adapter &a : qAsConst(usable))
        searchFrom.append(LiveSearchRun::Adapter{a.name, QHostAddress(a.addresses.first().address).toString()});
    live = new LiveSearchRun(this);
    connect(live, &LiveSearchRun::finished, this, &NetworkDoctor::liveDone);
    live->start(searchFrom, options.listenMs);
}

void NetworkDoctor::liveDone()
{
    const QList<LiveSearchRun::AdapterResult> results = live->results();
    all += LiveSearchCheck::evaluate(results, strictAdapters);
    found = live->allDevices();
    QHash<QString, QString> heardOn;
    for (const LiveSearchRun::AdapterResult &r : results) {
        for (const DeviceRecord &d : r.devices) {
            if (!heardOn.contains(d.mac))
                heardOn.insert(d.mac, r.adapter);
        }
    }
    live->deleteLater();
    live = nullptr;

    SubnetReach::Probe probe;
    if (options.probeConflicts) {
        probe = [](const QString &adapter, const QList<quint32> &candidates) {
            return ArpProbe::probe(adapter, candidates).inUse;
        };
    }
    findings = SubnetReach::evaluate(found, adapters, heardOn, probe);
    for (const SubnetReach::Finding &f : qAsConst(findings))
        all.append(f.result);
    conflictList = AddressConflicts::sameAddress(found);
    QStringList notes;
    if (options.probeConflicts && !found.isEmpty()) {
        const AddressConflicts::ProbeOutcome probed = AddressConflicts::probe(found, adapters);
        notes = probed.notes;
        const QList<AddressConflicts::Conflict> answered = AddressConflicts::fromProbe(found, probed.answeredBy);
        for (const AddressConflicts::Conflict &c : answered) {
            bool known = false;
            for (const AddressConflicts::Conflict &k : qAsConst(conflictList))
                known = known || k.ip == c.ip;
            if (!known)
                conflictList.append(c);
        }
    }
    all += AddressConflicts::evaluate(conflictList, notes);
    finish();
}

void NetworkDoctor::finish()
{
    running = false;
    emit finished(all);
}
