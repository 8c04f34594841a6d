#ifndef RPFILTERCHECK_H
#define RPFILTERCHECK_H

#include "checkresult.h"

#include <QList>
#include <QString>

// Reverse-path filtering: the kernel checks the source of each incoming
// datagram against its routes. The value in force on an adapter is the
// larger of net.ipv4.conf.all.rp_filter and the adapter's own: 0 off, 1
// strict (the route back to the source must leave through the adapter the
// datagram came in on), 2 loose (any route back will do). Strict filtering
// drops the answer of a camera whose address routes back through another
// adapter, or through the default route elsewhere: a camera in another
// subnet. Loose filtering still drops a source with no route back at all.
class RpFilterCheck
{
public:
    struct Setting
    {
        QString adapter;
        int all = -1;    // -1: unreadable
        int own = -1;
        int effective() const { return qMax(all, own); }
    };

    // The values in /proc/sys/net/ipv4/conf for these adapters.
    static QList<Setting> read(const QStringList &adapters, const QString &root = QStringLiteral("/proc/sys/net/ipv4/conf"));

    // hasDefaultRoute: whether any route leads to addresses outside the
    // adapters' subnets (then loose filtering lets a foreign camera in).
    static QList<CheckResult> evaluate(const QList<Setting> &settings, bool hasDefaultRoute);

    // The command that makes filtering loose on adapter.
    static QString looseCommand(const QString &adapter);

private:
    RpFilterCheck() = delete;
};

#endif // RPFILTERCHECK_H
