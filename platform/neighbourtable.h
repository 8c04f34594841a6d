#ifndef NEIGHBOURTABLE_H
#define NEIGHBOURTABLE_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QtGlobal>

// The kernel's IPv4 neighbour table (/proc/net/arp): which Ethernet address
// answers for an address on one of this computer's links. What Windows
// gives with GetIpNetTable. Only complete entries count; the table lists
// on-link hosts only, so a host behind a router has no entry of its own.
class NeighbourTable
{
public:
    // The table is one line per neighbour; a LAN with thousands of hosts is
    // well under this.
    static constexpr int MaxBytes = 1024 * 1024;
    static constexpr char DefaultPath[] = "/proc/net/arp";

    struct Entry
    {
        QString mac;         // "xx:xx:xx:xx:xx:xx", lower case
        QString device;      // interface name
    };

    // Reads the table at path (capped at MaxBytes); empty when unreadable.
    static QHash<quint32, Entry> read(const QString &path = QString::fromLatin1(DefaultPath));
    // The table's text -> address (host byte order) -> entry. Lines that are
    // not a complete IPv4 entry with a usable MAC are skipped.
    static QHash<quint32, Entry> parse(const QByteArray &text);

private:
    NeighbourTable() = delete;
};

#endif // NEIGHBOURTABLE_H
