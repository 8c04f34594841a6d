#ifndef SWEEPTARGETS_H
#define SWEEPTARGETS_H

#include "ipv4rangeset.h"

#include <QByteArray>
#include <QString>

// The addresses a sweep probes by unicast, as a user writes them on the
// command line or in a file:
//   192.0.2.7                 one address
//   10.20.0.0/16              a network; its network and broadcast addresses
//                             are left out for prefixes up to /30, and host
//                             bits given are ignored (10.20.1.5/16 is 10.20.0.0/16)
//   10.20.1.10-10.20.1.200    a range, both ends included
// A file holds one per line; blanks around an entry and text from '#' on are
// ignored. Entries are merged and deduplicated into one Ipv4RangeSet.
// Addresses nobody can probe by unicast (0.0.0.0/8, 127.0.0.0/8, multicast
// and 240.0.0.0/4 with 255.255.255.255) are refused with the entry.
class SweepTargets
{
public:
    static constexpr int MaxEntryLength = 64;              // one entry's characters
    static constexpr qint64 MaxFileBytes = 1024 * 1024;    // a targets file
    static constexpr int MaxEntries = 65536;               // entries of one file
    static constexpr quint64 MaxAddresses = 1u << 24;      // a /8: about two hours at the default rate

    // Adds one entry to *into; false with *error (the entry named, no full
    // stop at the end) when it is malformed or unusable, *into then unchanged.
    static bool parseEntry(const QString &text, Ipv4RangeSet *into, QString *error);
    // The text of a targets file; errors name their line ("line 3: ...").
    // Nothing is added unless the whole text is usable.
    static bool parseList(const QByteArray &text, Ipv4RangeSet *into, QString *error);
    // Reads and parses a targets file (at most MaxFileBytes).
    static bool readFile(const QString &path, Ipv4RangeSet *into, QString *error);

private:
    SweepTargets() = delete;
    static bool parseRange(const QString &text, quint32 *first, quint32 *last, QString *error);
    static bool parseEntry(const QString &text, Ipv4RangeSet::Range *range, QString *error);
    // Merges ranges into *into unless that passes MaxAddresses.
    static bool admit(const std::vector<Ipv4RangeSet::Range> &ranges, Ipv4RangeSet *into, QString *error);
    static QString quoted(const QString &text);
};

#endif // SWEEPTARGETS_H
