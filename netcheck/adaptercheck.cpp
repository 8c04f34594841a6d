#include "adaptercheck.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

const QString Check = QStringLiteral("adapters");

bool inNet(quint32 address, const char *network, int prefix)
{
    return (address & AdapterSurvey::maskOf(prefix)) == (QHostAddress(QLatin1String(network)).toIPv4Address() & AdapterSurvey::maskOf(prefix));
}

QString addressesText(const AdapterSurvey::Adapter &adapter)
{
    QStringList texts;
    for (const AdapterSurvey::Ipv4 &a : adapter.addresses)
        texts.append(QStringLiteral("%1/%2").arg(QHostAddress(a.address).toString()).arg(a.prefix));
    return texts.join(QStringLiteral(", "));
}

} // namespace

AdapterCheck::Kind AdapterCheck::kindOf(const QString &name)
{
    static const QRegularExpression containerBridge(
        QStringLiteral("^(docker\\d*|br-[0-9a-f]{12}|cni.*|podman.*|lxcbr\\d*|lxdbr\\d*|incusbr\\d*|flannel.*|cali.*|"
                       "weave|kube-bridge|cilium.*)$"));
    static const QRegularExpression containerLink(QStringLiteral("^(veth.*)$"));
    static const QRegularExpression vmNetwork(QStringLiteral("^(virbr.*|vboxnet.*|vmnet.*|vnet\\d+)$"));
    static const QRegularExpression vpn(QStringLiteral("^(tun.*|tap.*|wg.*|ppp.*|tailscale.*|zt.*|ipsec.*|nordlynx|proton.*)$"));
    if (containerBridge.match(name).hasMatch())
        return Kind::ContainerBridge;
    if (containerLink.match(name).hasMatch())
        return Kind::ContainerLink;
    if (vmNetwork.match(name).hasMatch())
        return Kind::VmNetwork;
    if (vpn.match(name).hasMatch())
        return Kind::VpnTunnel;
    return Kind::Physical;
}

QString AdapterCheck::kindText(Kind kind)
{
    switch (kind) {
    case Kind::ContainerBridge:
        return QStringLiteral("a container bridge");
    case Kind::ContainerLink:
        return QStringLiteral("a container's link");
    case Kind::VmNetwork:
        return QStringLiteral("a virtual machines' network");
    case Kind::VpnTunnel:
        return QStringLiteral("a VPN tunnel");
    case Kind::Physical:
        break;
    }
    return QString();
}

QString AdapterCheck::natReason(const AdapterSurvey::Adapter &adapter)
{
    const Kind kind = kindOf(adapter.name);
    if (kind == Kind::ContainerBridge || kind == Kind::VmNetwork)
        return QStringLiteral("the default route goes through %1, %2").arg(adapter.name, kindText(kind));
    for (const AdapterSurvey::Ipv4 &a : adapter.addresses) {
        const QString address = QHostAddress(a.address).toString();
        const bool gatewayInside = adapter.gateway != 0
            && (adapter.gateway & AdapterSurvey::maskOf(a.prefix)) == (a.address & AdapterSurvey::maskOf(a.prefix));
        if (inNet(a.address, "10.0.2.0", 24) && (adapter.gateway == QHostAddress(QStringLiteral("10.0.2.2")).toIPv4Address()))
            return QStringLiteral("%1 has %2 with the gateway 10.0.2.2, the user-mode NAT of VirtualBox and QEMU")
                .arg(adapter.name, address);
        if (inNet(a.address, "172.17.0.0", 16) && gatewayInside)
            return QStringLiteral("%1 has %2 in Docker's default bridge network 172.17.0.0/16").arg(adapter.name, address);
        if (inNet(a.address, "10.88.0.0", 16) && gatewayInside)
            return QStringLiteral("%1 has %2 in Podman's default network 10.88.0.0/16").arg(adapter.name, address);
        if (inNet(a.address, "192.168.122.0", 24) && adapter.gateway == QHostAddress(QStringLiteral("192.168.122.1")).toIPv4Address())
            return QStringLiteral("%1 has %2 behind 192.168.122.1, libvirt's default NAT network").arg(adapter.name, address);
    }
    if (adapter.vethPeer)
        return QStringLiteral("the default route goes through %1, a virtual link whose other end is in another network "
                              "namespace, as a container's adapter is").arg(adapter.name);
    return QString();
}

QList<CheckResult> AdapterCheck::evaluate(const AdapterSurvey &survey, const ContainerHints &hints)
{
    QList<CheckResult> results;
    const AdapterSurvey::Adapter *defaultAdapter = survey.defaultAdapter();
    int usable = 0;
    int physical = 0;
    for (const AdapterSurvey::Adapter &adapter : survey.adapters) {
        if (adapter.loopback)
            continue;
        const Kind kind = kindOf(adapter.name);
        if (!adapter.up) {
            if (adapter.hasIpv4())
                results.append(CheckResult::make(Check, adapter.name, CheckResult::Status::Warning,
                                                 QStringLiteral("%1 has %2 but is down: a search cannot use it.")
                                                     .arg(adapter.name, addressesText(adapter)),
                                                 QStringLiteral("sudo ip link set %1 up").arg(adapter.name)));
            continue;
        }
        if (!adapter.hasIpv4())
            continue;
        ++usable;
        QString sentence = QStringLiteral("%1 is up with %2").arg(adapter.name, addressesText(adapter));
        if (adapter.defaultRoute)
            sentence += adapter.gateway ? QStringLiteral(" and has the default route (gateway %1)").arg(QHostAddress(adapter.gateway).toString())
                                        : QStringLiteral(" and has the default route");
        if (kind != Kind::Physical)
            sentence += QStringLiteral("; it is %1, where no camera is to be found").arg(kindText(kind));
        else
            ++physical;
        results.append(CheckResult::make(Check, adapter.name, CheckResult::Status::Ok, sentence + QLatin1Char('.')));
    }
    if (usable == 0) {
        results.append(CheckResult::make(Check, QString(), CheckResult::Status::Problem,
                                         QStringLiteral("No adapter is up with an IPv4 address: a search has nothing to "
                                                        "send from. Connect this computer to the cameras' network.")));
    } else if (physical == 0) {
        results.append(CheckResult::make(Check, QString(), CheckResult::Status::Warning,
                                         QStringLiteral("Every adapter with an address is virtual (a bridge, tunnel or VM "
                                                        "network): cameras on a real LAN cannot be reached from here.")));
    }

    const QString nat = defaultAdapter ? natReason(*defaultAdapter) : QString();
    if (hints.inContainer()) {
        CheckResult r = CheckResult::make(
            Check, QStringLiteral("container"), nat.isEmpty() ? CheckResult::Status::Warning : CheckResult::Status::Problem,
            QStringLiteral("This program runs inside a container (%1, %2)%3: unless the container shares the host's "
                           "network, its broadcasts reach only the container's bridge and no camera answers.")
                .arg(hints.engine, hints.evidence, nat.isEmpty() ? QString() : QStringLiteral("; ") + nat),
            hints.engine == QLatin1String("podman") ? QStringLiteral("podman run --network host ...")
                                                    : QStringLiteral("docker run --network host ..."));
        results.append(r);
    } else if (!nat.isEmpty()) {
        const bool vm = nat.contains(QLatin1String("QEMU")) || nat.contains(QLatin1String("libvirt"));
        results.append(CheckResult::make(
            Check, vm ? QStringLiteral("virtual machine") : QStringLiteral("container"), CheckResult::Status::Warning,
            vm ? QStringLiteral("This computer looks like a virtual machine behind NAT (%1): its broadcasts end at the "
                                "host and no camera answers. Give the machine a bridged adapter on the cameras' LAN.").arg(nat)
               : QStringLiteral("This program looks like it runs in a container or network namespace behind NAT (%1): "
                                "its broadcasts may end at the bridge and no camera answers. Run it with the host's "
                                "network, or give the virtual machine a bridged adapter.").arg(nat),
            vm ? QStringLiteral("use a bridged network adapter for the virtual machine (VirtualBox: Bridged Adapter; "
                                "libvirt: a bridge interface)")
               : QStringLiteral("docker run --network host ...")));
    }
    return results;
}
