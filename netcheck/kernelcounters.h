#ifndef KERNELCOUNTERS_H
#define KERNELCOUNTERS_H

#include <QByteArray>
#include <QHash>
#include <QString>

// The network namespace's counters from /proc/net/netstat and
// /proc/net/snmp: pairs of lines, the first naming the counters of a group
// ("TcpExt: SyncookiesSent ..."), the second giving their values. Read
// before and after a search to see what the kernel dropped meanwhile, for
// example TcpExt.IPReversePathFilter (datagrams the reverse-path filter
// dropped; despite the group's name it counts every protocol).
class KernelCounters
{
public:
    static constexpr int MaxTextBytes = 1024 * 1024;
    static constexpr int MaxCounters = 4096;

    // "Group.Name" -> value; unreadable pairs are left out.
    static QHash<QString, qint64> parse(const QByteArray &text);
    static QHash<QString, qint64> read();

    static QString reversePathFilterKey() { return QStringLiteral("TcpExt.IPReversePathFilter"); }

private:
    KernelCounters() = delete;
};

#endif // KERNELCOUNTERS_H
