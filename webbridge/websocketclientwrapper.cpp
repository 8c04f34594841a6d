#include "websocketclientwrapper.h"

#include "weboriginpolicy.h"
#include "websockettransport.h"

#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>

WebSocketClientWrapper::WebSocketClientWrapper(QWebSocketServer *server, QObject *parent)
    : QObject(parent)
    , m_server(server)
{
    connect(server, &QWebSocketServer::newConnection, this, &WebSocketClientWrapper::handleNewConnection);
    connect(server, &QWebSocketServer::originAuthenticationRequired,
            this, &WebSocketClientWrapper::authenticateOrigin);
}

void WebSocketClientWrapper::handleNewConnection()
{
    QWebSocket *const socket = m_server->nextPendingConnection();
    if (!socket)
        return;
    emit clientConnected(new WebSocketTransport(socket));
}

void WebSocketClientWrapper::authenticateOrigin(QWebSocketCorsAuthenticator *authenticator)
{
    // The allowed list is read at every handshake, so an entry the user adds
    // takes effect without a restart.
    const QString origin = authenticator->origin();
    const bool allowed = WebOriginPolicy::isAllowed(origin, WebOriginPolicy::configuredOrigins());
    if (!allowed)
        qWarning("Refused web socket connection from origin %s", qPrintable(origin));
    authenticator->setAllowed(allowed);
}
