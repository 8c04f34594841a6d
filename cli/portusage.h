#ifndef PORTUSAGE_H
#define PORTUSAGE_H

#include <QByteArray>
#include <QtGlobal>

// Whether a UDP port is bound by any process of this network namespace,
// from /proc/net/udp and /proc/net/udp6. The search binds port 8000 with
// address reuse, so a second program would bind it too and quietly lose the
// unicast replies to whichever bound last: the tool asks first.
class PortUsage
{
public:
    static bool udpPortInUse(quint16 port);
    // The same for the text of a /proc/net/udp table (tests).
    static bool tableHasPort(const QByteArray &table, quint16 port);

private:
    PortUsage() = delete;
};

#endif // PORTUSAGE_H
