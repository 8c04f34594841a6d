#ifndef UFWSTATE_H
#define UFWSTATE_H

#include "chainwalk.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// `ufw status verbose` read: whether ufw is active, its default for incoming
// traffic and its rules in order (the first that matches decides), to tell
// whether a UDP port is let in and which command opens it.
class UfwState
{
public:
    static constexpr int MaxTextBytes = 1024 * 1024;

    struct Rule
    {
        QString to;        // "8000/udp", "8000", "Pathmere", "Anywhere", "1900:1910/udp"
        QString interfaceName;   // "on lan0"
        QString action;    // ALLOW, DENY, REJECT, LIMIT
        QString from;      // "Anywhere", "192.0.2.0/24"
        QString text;
    };

    bool active = false;
    QString defaultIncoming;   // "deny", "reject", "allow"
    QList<Rule> rules;         // IPv4 rules coming in

    static UfwState parse(const QByteArray &text);

    // Whether ufw lets UDP port in on interfaceName. appPorts: the ports of
    // application profiles by name ("Pathmere" -> 8000); other profile names
    // are undecided. why is set for Maybe.
    ChainWalk::Tri lets(quint16 port, const QString &interfaceName, const QHash<QString, QList<quint16>> &appPorts,
                        QString *decidedBy) const;
};

#endif // UFWSTATE_H
