// The kernel's tables the network check reads: /proc/net/route, the counter
// pairs of /proc/net/netstat and snmp, and a process's control groups. The
// kernel writes them, but the readers must hold for any text.
#include "containerhints.h"
#include "kernelcounters.h"
#include "routetable.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QList<RouteTable::Route> routes = RouteTable::parse(text);
    RouteTable::defaultRoute(routes);
    KernelCounters::parse(text);
    ContainerHints::engineFromCgroup(text);
    return 0;
}
