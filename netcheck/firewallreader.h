#ifndef FIREWALLREADER_H
#define FIREWALLREADER_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// Asks the firewall tools of this machine what they hold: nftables' ruleset
// (nft -j list ruleset), iptables' (iptables-save, and the legacy tables
// when iptables says they exist), firewalld's zones and ufw's status. Each
// tool runs with a time-out and a cap on what it may print; a tool that is
// not installed, or that refuses this user, is recorded as such for
// FirewallCheck to explain. Blocks for as long as the tools take: run it off
// the GUI thread.
class FirewallReader
{
public:
    static constexpr int TimeoutMs = 5000;
    static constexpr int MaxOutputBytes = 16 * 1024 * 1024;

    struct Output
    {
        bool found = false;      // the program exists
        bool finished = false;   // it ran to its end within the time-out
        int exitCode = -1;
        QByteArray out;
        QByteArray err;

        bool ok() const { return finished && exitCode == 0; }
        // It said this user may not read what it holds.
        bool denied() const;
    };

    struct Snapshot
    {
        Output nft;
        Output iptables;
        Output iptablesLegacy;
        Output firewalldState;
        Output firewalldActiveZones;
        Output firewalldDefaultZone;
        QHash<QString, Output> firewalldZones;   // zone -> --list-all
        Output ufw;
        bool pathmereServiceInstalled = false;   // firewalld's packaged service
        bool pathmereProfileInstalled = false;   // ufw's packaged profile
    };

    static Snapshot read();
    // Runs program (looked up in PATH and the sbin folders) with arguments.
    static Output run(const QString &program, const QStringList &arguments);
    // Whether a tool's error text says it lacks the rights.
    static bool deniedText(const QByteArray &text);

private:
    FirewallReader() = delete;
};

#endif // FIREWALLREADER_H
