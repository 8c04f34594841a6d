#include "adaptersurvey.h"

#include "routetable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkInterface>

namespace {

QByteArray sysValue(const QString &name, const char *file)
{
    QFile f(QStringLiteral("/sys/class/net/%1/%2").arg(name, QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.read(4096).trimmed();
}

} // namespace

quint32 AdapterSurvey::maskOf(int prefix)
{
    return prefix <= 0 ? 0 : prefix >= 32 ? ~quint32(0) : ~quint32(0) << (32 - prefix);
}

bool AdapterSurvey::Adapter::holds(quint32 address) const
{
    for (const Ipv4 &a : addresses) {
        const quint32 mask = maskOf(a.prefix);
        if (a.prefix > 0 && (a.address & mask) == (address & mask))
            return true;
    }
    return false;
}

AdapterSurvey AdapterSurvey::read()
{
    AdapterSurvey survey;
    const QList<RouteTable::Route> routes = RouteTable::read();
    const RouteTable::Route *defaultRoute = RouteTable::defaultRoute(routes);
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        Adapter adapter;
        adapter.name = iface.name();
        adapter.index = iface.index();
        adapter.up = iface.flags().testFlag(QNetworkInterface::IsUp);
        adapter.loopback = iface.flags().testFlag(QNetworkInterface::IsLoopBack);
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            adapter.addresses.append(Ipv4{entry.ip().toIPv4Address(), entry.prefixLength()});
        }
        if (defaultRoute && defaultRoute->interfaceName == adapter.name) {
            adapter.defaultRoute = true;
            adapter.gateway = defaultRoute->gateway;
        }
        adapter.bridge = QFileInfo::exists(QStringLiteral("/sys/class/net/%1/bridge").arg(adapter.name));
        adapter.hardware = QFileInfo::exists(QStringLiteral("/sys/class/net/%1/device").arg(adapter.name));
        const QByteArray iflink = sysValue(adapter.name, "iflink");
        const QByteArray ifindex = sysValue(adapter.name, "ifindex");
        const bool typed = sysValue(adapter.name, "uevent").contains("DEVTYPE=");
        adapter.vethPeer = !adapter.hardware && !typed && !iflink.isEmpty() && iflink != ifindex;
        survey.adapters.append(adapter);
    }
    return survey;
}

const AdapterSurvey::Adapter *AdapterSurvey::find(const QString &name) const
{
    for (const Adapter &a : adapters) {
        if (a.name == name)
            return &a;
    }
    return nullptr;
}

const AdapterSurvey::Adapter *AdapterSurvey::defaultAdapter() const
{
    for (const Adapter &a : adapters) {
        if (a.defaultRoute)
            return &a;
    }
    return nullptr;
}

const AdapterSurvey::Adapter *AdapterSurvey::adapterFor(quint32 address) const
{
    for (const Adapter &a : adapters) {
        if (!a.loopback && a.up && a.holds(address))
            return &a;
    }
    return nullptr;
}

QList<AdapterSurvey::Adapter> AdapterSurvey::usable() const
{
    QList<Adapter> list;
    for (const Adapter &a : adapters) {
        if (a.up && !a.loopback && a.hasIpv4())
            list.append(a);
    }
    return list;
}
