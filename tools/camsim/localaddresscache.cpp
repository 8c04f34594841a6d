#include "localaddresscache.h"

#include <QUdpSocket>

QHostAddress LocalAddressCache::towards(const QHostAddress &peer, quint16 port)
{
    QHostAddress local = m_localFor.value(peer.toIPv4Address());
    if (local.isNull()) {
        // Connecting a UDP socket makes the kernel pick the route, and the
        // source address with it, without sending anything.
        QUdpSocket probe;
        probe.connectToHost(peer, port);
        local = probe.localAddress();
        m_localFor.insert(peer.toIPv4Address(), local);
    }
    return local;
}
