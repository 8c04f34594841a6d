#include "groupsocket.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

QUdpSocket *GroupSocket::bind(quint16 port, const EventLog &log, QObject *parent)
{
    auto *socket = new QUdpSocket(parent);
    if (!socket->bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                  QStringLiteral("cannot bind UDP port %1: %2").arg(port).arg(socket->errorString())}});
        delete socket;
        return nullptr;
    }
    // Multicast reaches the socket only on interfaces that joined the group.
    const QHostAddress group(QString::fromLatin1(Group));
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack) || !flags.testFlag(QNetworkInterface::CanMulticast)
            || !flags.testFlag(QNetworkInterface::IsUp))
            continue;
        if (!socket->joinMulticastGroup(group, iface)) {
            log.write(QStringLiteral("error"), {{QStringLiteral("message"),
                      QStringLiteral("cannot join %1 on %2 (port %3): %4")
                          .arg(group.toString(), iface.name()).arg(port).arg(socket->errorString())}});
        }
    }
    return socket;
}
