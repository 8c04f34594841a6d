#ifndef ROUTETABLE_H
#define ROUTETABLE_H

#include <QByteArray>
#include <QList>
#include <QString>

// The kernel's IPv4 routes as /proc/net/route lists them, one line each:
//   Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
// with addresses as 32-bit words in hexadecimal in the machine's byte order.
class RouteTable
{
public:
    static constexpr int MaxTextBytes = 4 * 1024 * 1024;
    static constexpr int MaxLineLength = 512;

    struct Route
    {
        QString interfaceName;
        quint32 destination = 0;
        quint32 gateway = 0;
        quint32 mask = 0;
        int metric = 0;
        bool up = false;

        bool isDefault() const { return destination == 0 && mask == 0; }
    };

    // Lines that are not routes (the header, junk) are left out.
    static QList<Route> parse(const QByteArray &text);
    static QList<Route> read(const QString &path = QStringLiteral("/proc/net/route"));
    // The default route with the lowest metric, if any (nullptr).
    static const Route *defaultRoute(const QList<Route> &routes);

private:
    RouteTable() = delete;
};

#endif // ROUTETABLE_H
