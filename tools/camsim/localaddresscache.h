#ifndef LOCALADDRESSCACHE_H
#define LOCALADDRESSCACHE_H

#include <QHash>
#include <QHostAddress>

// The namespace's own address the kernel sends from towards a program
// address, remembered per program address. A fleet camera answers from
// there, so the URL it names (LOCATION, XAddrs) must carry that address.
class LocalAddressCache
{
public:
    QHostAddress towards(const QHostAddress &peer, quint16 port);

private:
    QHash<quint32, QHostAddress> m_localFor;
};

#endif // LOCALADDRESSCACHE_H
