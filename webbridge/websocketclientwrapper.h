#ifndef WEBSOCKETCLIENTWRAPPER_H
#define WEBSOCKETCLIENTWRAPPER_H

#include <QObject>

class QWebSocketCorsAuthenticator;
class QWebSocketServer;
class WebSocketTransport;

// Turns every connection the server accepts into a web channel transport.
// It also decides at the handshake which web pages may connect: the bridge
// lists and wakes the cameras of the LAN, so a page of some web site the user
// happens to visit must not reach it (see WebOriginPolicy).
class WebSocketClientWrapper : public QObject
{
    Q_OBJECT

public:
    // server is not owned and must outlive the wrapper.
    WebSocketClientWrapper(QWebSocketServer *server, QObject *parent = nullptr);

signals:
    void clientConnected(WebSocketTransport *client);

private slots:
    void handleNewConnection();
    void authenticateOrigin(QWebSocketCorsAuthenticator *authenticator);

private:
    Q_DISABLE_COPY(WebSocketClientWrapper)

    QWebSocketServer *const m_server;
};

#endif // WEBSOCKETCLIENTWRAPPER_H
