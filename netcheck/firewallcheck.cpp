#include "firewallcheck.h"

#include "firewalldstate.h"
#include "iptablesruleset.h"
#include "nftruleset.h"
#include "ufwstate.h"

#include <QHash>

namespace {

const QString Check = QStringLiteral("firewall");
constexpr quint16 SearchPort = 8000;

struct Source
{
    QString name;       // "nftables", "iptables", "iptables (legacy)"
    NftRuleset nft;
    IptablesRuleset iptables;
    bool isNft = false;

    ChainWalk::Verdict evaluate(const InboundDatagram &datagram) const
    {
        return isNft ? nft.evaluate(datagram) : iptables.evaluate(datagram);
    }
};

// The command that lets port in ahead of the chain that drops it.
QString ruleFix(const Source &source, const QString &chainKey, quint16 port)
{
    const QStringList parts = chainKey.split(QLatin1Char(' '));
    if (source.isNft && parts.size() == 3)
        return QStringLiteral("sudo nft insert rule %1 %2 %3 udp dport %4 accept").arg(parts.at(0), parts.at(1), parts.at(2)).arg(port);
    const QString tool = source.name == QLatin1String("iptables (legacy)") ? QStringLiteral("iptables-legacy")
                                                                            : QStringLiteral("iptables");
    if (parts.size() == 2)
        return QStringLiteral("sudo %1 -t %2 -I %3 -p udp --dport %4 -j ACCEPT").arg(tool, parts.at(0), parts.at(1)).arg(port);
    return QStringLiteral("sudo %1 -I INPUT -p udp --dport %2 -j ACCEPT").arg(tool).arg(port);
}

QString joined(const QStringList &names)
{
    return names.join(QStringLiteral(", "));
}

} // namespace

QString FirewallCheck::rootCommand()
{
    return QStringLiteral("sudo pathmere-cli doctor");
}

QList<CheckResult> FirewallCheck::evaluate(const FirewallReader::Snapshot &snapshot, const QList<quint16> &ports,
                                           const QList<Adapter> &adapters)
{
    QList<CheckResult> results;
    QList<Source> sources;
    QStringList unreadable;   // tools that refused this user
    bool unparsed = false;    // a tool printed rules this check could not read
    const auto addIptables = [&](const FirewallReader::Output &output, const QString &name) {
        if (!output.ok()) {
            if (output.denied())
                unreadable.append(name);
            return;
        }
        Source source;
        source.name = name;
        QString error;
        if (!source.iptables.parse(output.out, &error)) {
            unparsed = true;
            results.append(CheckResult::make(Check, name, CheckResult::Status::Warning,
                                             QStringLiteral("The rules iptables-save printed could not be read: %1.").arg(error)));
            return;
        }
        sources.append(source);
    };
    if (snapshot.nft.ok()) {
        Source source;
        source.name = QStringLiteral("nftables");
        source.isNft = true;
        QString error;
        if (source.nft.parse(snapshot.nft.out, &error))
            sources.append(source);
        else {
            unparsed = true;
            results.append(CheckResult::make(Check, source.name, CheckResult::Status::Warning,
                                             QStringLiteral("nftables' ruleset could not be read: %1.").arg(error)));
        }
    } else if (snapshot.nft.denied()) {
        unreadable.append(QStringLiteral("nft"));
    }
    // nft shows what iptables-nft wrote too; iptables-save is the way in
    // only where nft is missing or could not be read.
    if (sources.isEmpty())
        addIptables(snapshot.iptables, QStringLiteral("iptables"));
    addIptables(snapshot.iptablesLegacy, QStringLiteral("iptables (legacy)"));

    // firewalld: the zone of each adapter.
    const bool firewalld = FirewalldState::isRunning(snapshot.firewalldState.out);
    QHash<QString, QString> zoneOf;
    QHash<QString, FirewalldState::Zone> zones;
    const QString defaultZone = QString::fromUtf8(snapshot.firewalldDefaultZone.out.trimmed());
    if (firewalld) {
        const QHash<QString, QStringList> active = FirewalldState::parseActiveZones(snapshot.firewalldActiveZones.out);
        for (auto it = active.cbegin(); it != active.cend(); ++it) {
            for (const QString &name : it.value())
                zoneOf.insert(name, it.key());
        }
        for (auto it = snapshot.firewalldZones.cbegin(); it != snapshot.firewalldZones.cend(); ++it) {
            if (it.value().ok())
                zones.insert(it.key(), FirewalldState::parseZone(it.key(), it.value().out));
        }
    }
    const UfwState ufw = snapshot.ufw.ok() ? UfwState::parse(snapshot.ufw.out) : UfwState();
    const bool ufwUnreadable = snapshot.ufw.denied();
    QHash<QString, QList<quint16>> ufwApps;
    if (snapshot.pathmereProfileInstalled)
        ufwApps.insert(QStringLiteral("Pathmere"), {SearchPort});

    QList<Adapter> targets = adapters;
    if (targets.isEmpty())
        targets.append(Adapter());

    for (const quint16 port : ports) {
        const QString subject = QStringLiteral("udp %1").arg(port);
        // The front end's own command, where one is in use.
        QString frontFix;
        QStringList frontClosed;
        if (firewalld) {
            const bool service = port == SearchPort && snapshot.pathmereServiceInstalled;
            const QStringList servicesOpening = port == SearchPort ? QStringList{QStringLiteral("pathmere")} : QStringList();
            for (const Adapter &adapter : qAsConst(targets)) {
                const QString zoneName = zoneOf.value(adapter.name, defaultZone);
                const auto zone = zones.constFind(zoneName);
                if (zone == zones.constEnd() || FirewalldState::zoneOpens(*zone, port, servicesOpening))
                    continue;
                frontClosed.append(QStringLiteral("%1 (firewalld zone %2)").arg(adapter.name, zoneName));
                if (frontFix.isEmpty())
                    frontFix = QStringLiteral("sudo firewall-cmd --permanent --zone=%1 %2 && sudo firewall-cmd --reload")
                                   .arg(zoneName, service ? QStringLiteral("--add-service=pathmere")
                                                          : QStringLiteral("--add-port=%1/udp").arg(port));
            }
        }
        if (ufw.active) {
            for (const Adapter &adapter : qAsConst(targets)) {
                QString decidedBy;
                if (ufw.lets(port, adapter.name, ufwApps, &decidedBy) != ChainWalk::Tri::No)
                    continue;
                frontClosed.append(QStringLiteral("%1 (ufw: %2)").arg(adapter.name, decidedBy));
                if (frontFix.isEmpty())
                    frontFix = port == SearchPort && snapshot.pathmereProfileInstalled
                        ? QStringLiteral("sudo ufw allow Pathmere")
                        : QStringLiteral("sudo ufw allow %1/udp").arg(port);
            }
        }

        if (sources.isEmpty()) {
            if (!frontClosed.isEmpty()) {
                CheckResult r = CheckResult::make(Check, subject, CheckResult::Status::Problem,
                                                  QStringLiteral("The firewall does not let incoming UDP port %1 in on %2.")
                                                      .arg(port).arg(joined(frontClosed)),
                                                  frontFix);
                results.append(r);
            } else if (!unreadable.isEmpty() || ufwUnreadable) {
                QStringList tools = unreadable;
                if (ufwUnreadable)
                    tools.append(QStringLiteral("ufw"));
                results.append(CheckResult::make(Check, subject, CheckResult::Status::Warning,
                                                 QStringLiteral("The firewall's rules cannot be read without root (%1 refused), "
                                                                "so whether incoming UDP port %2 gets in is not known.")
                                                     .arg(joined(tools)).arg(port),
                                                 rootCommand()));
            } else if (!unparsed) {
                results.append(CheckResult::make(Check, subject, CheckResult::Status::Ok,
                                                 QStringLiteral("No firewall tool (nft, iptables-save, firewall-cmd, ufw) is "
                                                                "installed to read rules with; nothing known filters UDP port %1.")
                                                     .arg(port)));
            }
            continue;
        }

        QStringList dropped;
        QStringList unsure;
        QStringList accepted;
        QStringList reasoning;
        QString fix;
        for (const Adapter &adapter : qAsConst(targets)) {
            QStringList droppedWays;
            bool adapterUnsure = false;
            for (const bool broadcast : {true, false}) {
                InboundDatagram datagram;
                datagram.port = port;
                datagram.interfaceName = adapter.name;
                datagram.broadcast = broadcast;
                datagram.destination = adapter.address;
                for (const Source &source : qAsConst(sources)) {
                    const ChainWalk::Verdict verdict = source.evaluate(datagram);
                    if (verdict.outcome == ChainWalk::Outcome::Accepted)
                        continue;
                    if (reasoning.isEmpty()) {
                        reasoning.append(QStringLiteral("%1, %2:").arg(source.name, datagram.describe()));
                        reasoning += verdict.reasoning;
                    }
                    if (fix.isEmpty()) {
                        const QString chain = verdict.droppedBy.isEmpty() ? verdict.unsureIn.value(0) : verdict.droppedBy.first();
                        fix = ruleFix(source, chain, port);
                    }
                    if (verdict.outcome == ChainWalk::Outcome::Dropped) {
                        const QString way = broadcast ? QStringLiteral("broadcast") : QStringLiteral("unicast");
                        if (!droppedWays.contains(way))
                            droppedWays.append(way);
                    } else {
                        adapterUnsure = true;
                    }
                }
            }
            const QString name = adapter.name.isEmpty() ? QStringLiteral("any adapter") : adapter.name;
            if (!droppedWays.isEmpty())
                dropped.append(droppedWays.size() == 2 ? name : QStringLiteral("%1 (by %2)").arg(name, droppedWays.first()));
            else if (adapterUnsure)
                unsure.append(name);
            else
                accepted.append(name);
        }
        if (!frontFix.isEmpty())
            fix = frontFix;
        QStringList sourceNames;
        for (const Source &source : qAsConst(sources))
            sourceNames.append(source.name);
        CheckResult r;
        if (!dropped.isEmpty()) {
            r = CheckResult::make(Check, subject, CheckResult::Status::Problem,
                                  QStringLiteral("The firewall (%1) drops incoming UDP port %2 on %3: the cameras' answers "
                                                 "never reach the search.")
                                      .arg(joined(sourceNames)).arg(port).arg(joined(dropped)),
                                  fix);
        } else if (!unsure.isEmpty()) {
            r = CheckResult::make(Check, subject, CheckResult::Status::Warning,
                                  QStringLiteral("Whether the firewall (%1) lets incoming UDP port %2 in on %3 cannot be "
                                                 "told from its rules (see the reasoning).")
                                      .arg(joined(sourceNames)).arg(port).arg(joined(unsure)),
                                  fix);
        } else {
            r = CheckResult::make(Check, subject, CheckResult::Status::Ok,
                                  QStringLiteral("The firewall (%1) lets incoming UDP port %2 in on %3.")
                                      .arg(joined(sourceNames)).arg(port).arg(joined(accepted)));
        }
        r.reasoning = reasoning;
        results.append(r);
    }
    return results;
}
