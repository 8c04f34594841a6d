#include "routetable.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace {

bool kernelWord(const QByteArray &text, quint32 *value)
{
    if (text.size() != 8)
        return false;
    bool ok = false;
    const quint32 word = text.toUInt(&ok, 16);
    if (!ok)
        return false;
    // The word's bytes in this machine's order are the address in network order.
    quint32 networkOrder = 0;
    std::memcpy(&networkOrder, &word, 4);
    *value = qFromBigEndian(networkOrder);
    return true;
}

} // namespace

QList<RouteTable::Route> RouteTable::parse(const QByteArray &text)
{
    QList<Route> routes;
    const QList<QByteArray> lines = text.left(MaxTextBytes).split('\n');
    for (const QByteArray &line : lines) {
        if (line.size() > MaxLineLength)
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || fields.at(0) == "Iface")
            continue;
        Route route;
        bool flagsOk = false;
        bool metricOk = false;
        const uint flags = fields.at(3).toUInt(&flagsOk, 16);
        route.metric = fields.at(6).toInt(&metricOk);
        if (!flagsOk || !metricOk || !kernelWord(fields.at(1), &route.destination)
            || !kernelWord(fields.at(2), &route.gateway) || !kernelWord(fields.at(7), &route.mask))
            continue;
        route.interfaceName = QString::fromUtf8(fields.at(0));
        route.up = flags & 0x1;   // RTF_UP
        routes.append(route);
    }
    return routes;
}

QList<RouteTable::Route> RouteTable::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.read(MaxTextBytes));
}

const RouteTable::Route *RouteTable::defaultRoute(const QList<Route> &routes)
{
    const Route *best = nullptr;
    for (const Route &route : routes) {
        if (route.isDefault() && route.up && (!best || route.metric < best->metric))
            best = &route;
    }
    return best;
}
