#include "firewalldstate.h"

#include <QList>

bool FirewalldState::isRunning(const QByteArray &stateOutput)
{
    return stateOutput.trimmed() == "running";
}

QHash<QString, QStringList> FirewalldState::parseActiveZones(const QByteArray &text)
{
    QHash<QString, QStringList> zones;
    QString current;
    const QList<QByteArray> lines = text.left(MaxTextBytes).split('\n');
    for (const QByteArray &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        if (line.at(0) != ' ' && line.at(0) != '\t') {
            current = QString::fromUtf8(line.trimmed());
            zones[current];
            continue;
        }
        const QByteArray entry = line.trimmed();
        if (!current.isEmpty() && entry.startsWith("interfaces:"))
            zones[current] += QString::fromUtf8(entry.mid(11)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return zones;
}

FirewalldState::Zone FirewalldState::parseZone(const QString &name, const QByteArray &text)
{
    Zone zone;
    zone.name = name;
    const QList<QByteArray> lines = text.left(MaxTextBytes).split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray entry = line.trimmed();
        const int colon = entry.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = entry.left(colon);
        const QStringList values = QString::fromUtf8(entry.mid(colon + 1)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (key == "target")
            zone.target = values.value(0);
        else if (key == "interfaces")
            zone.interfaces = values;
        else if (key == "services")
            zone.services = values;
        else if (key == "ports")
            zone.ports = values;
    }
    return zone;
}

bool FirewalldState::zoneOpens(const Zone &zone, quint16 port, const QStringList &servicesOpening)
{
    if (zone.target == QLatin1String("ACCEPT"))
        return true;
    for (const QString &service : zone.services) {
        if (servicesOpening.contains(service))
            return true;
    }
    for (const QString &entry : zone.ports) {
        const QStringList parts = entry.split(QLatin1Char('/'));
        if (parts.size() != 2 || parts.at(1) != QLatin1String("udp"))
            continue;
        const QStringList range = parts.at(0).split(QLatin1Char('-'));
        bool ok1 = false;
        bool ok2 = true;
        const uint low = range.value(0).toUInt(&ok1);
        const uint high = range.size() > 1 ? range.at(1).toUInt(&ok2) : low;
        if (ok1 && ok2 && port >= low && port <= high)
            return true;
    }
    return false;
}
