#include "portusage.h"

#include "socketowner.h"

bool PortUsage::tableHasPort(const QByteArray &table, quint16 port)
{
    return !SocketOwner::udpSocketsOnPortIn({table}, port).isEmpty();
}

bool PortUsage::udpPortInUse(quint16 port)
{
    QList<SocketOwner::Entry> sockets;
    SocketOwner::udpSocketsOnPort(port, &sockets);
    return !sockets.isEmpty();
}
