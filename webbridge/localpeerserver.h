#ifndef LOCALPEERSERVER_H
#define LOCALPEERSERVER_H

#include <QHostAddress>
#include <QTcpServer>

// A TCP server for the loopback address that lets in only processes of the
// user this program runs as. Every local user can connect to 127.0.0.1; the
// kernel's socket table names the user of the connecting socket (see
// SocketOwner), so a connection of anyone else is closed before a byte of it
// is read or answered. A peer that cannot be found there (it closed at once,
// or the table cannot be read) counts as someone else.
class LocalPeerServer : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY(LocalPeerServer)

public:
    explicit LocalPeerServer(QObject *parent = nullptr);

    // Whether the connection from peer:peerPort to local:localPort comes
    // from a socket of uid.
    static bool isPeerOfUser(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local, quint16 localPort,
                             uint uid);

signals:
    // A connection of another user (or of an unknown one) was closed.
    void refused(const QHostAddress &peer, quint16 peerPort);

protected:
    void incomingConnection(qintptr descriptor) override;
};

#endif // LOCALPEERSERVER_H
