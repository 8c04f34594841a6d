#ifndef FIREWALLDSTATE_H
#define FIREWALLDSTATE_H

#include <QHash>
#include <QString>
#include <QStringList>

// What firewalld says about its zones (firewall-cmd --get-active-zones,
// --get-default-zone, --zone=Z --list-all), read to tell whether a zone lets
// a UDP port in and which command opens it.
class FirewalldState
{
public:
    static constexpr int MaxTextBytes = 1024 * 1024;

    struct Zone
    {
        QString name;
        QString target;          // "default", "ACCEPT", "DROP", "REJECT", "%%REJECT%%"
        QStringList interfaces;
        QStringList services;
        QStringList ports;       // "8000/udp", "8000-8010/udp"
    };

    // "running" from --state.
    static bool isRunning(const QByteArray &stateOutput);
    // --get-active-zones: zone -> its interfaces.
    static QHash<QString, QStringList> parseActiveZones(const QByteArray &text);
    // One zone's --list-all.
    static Zone parseZone(const QString &name, const QByteArray &text);

    // Whether the zone lets UDP port in: by target ACCEPT, by a port entry,
    // or by a service. serviceOpens says which services open it (the
    // packaged "pathmere" service opens 8000).
    static bool zoneOpens(const Zone &zone, quint16 port, const QStringList &servicesOpening);

private:
    FirewalldState() = delete;
};

#endif // FIREWALLDSTATE_H
