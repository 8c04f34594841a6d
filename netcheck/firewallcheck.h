#ifndef FIREWALLCHECK_H
#define FIREWALLCHECK_H

#include "checkresult.h"
#include "firewallreader.h"

#include <QList>
#include <QString>

// Would the cameras' answers be dropped? For each port the search listens
// on, the kernel's rules (nftables, else iptables) are walked for an answer
// by broadcast and by unicast on every adapter; firewalld's zones and ufw's
// rules, where they are in use, name the command that opens the port (the
// packaged "pathmere" service or profile for port 8000). Rules that cannot
// be read are said to be unread, with the command that reads them.
class FirewallCheck
{
public:
    struct Adapter
    {
        QString name;
        quint32 address = 0;
    };

    // What a user without the rights runs to see everything.
    static QString rootCommand();

    static QList<CheckResult> evaluate(const FirewallReader::Snapshot &snapshot, const QList<quint16> &ports,
                                       const QList<Adapter> &adapters);

private:
    FirewallCheck() = delete;
};

#endif // FIREWALLCHECK_H
