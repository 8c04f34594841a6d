#include "websockettransport.h"

#include "jsonkeyguard.h"
#include "jsontextwriter.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

WebSocketTransport::WebSocketTransport(QWebSocket *socket)
    : QWebChannelAbstractTransport(socket)
    , m_socket(socket)
{
    socket->setMaxAllowedIncomingFrameSize(quint64(MaxIncomingMessageSize));
    socket->setMaxAllowedIncomingMessageSize(quint64(MaxIncomingMessageSize));
    connect(socket, &QWebSocket::textMessageReceived, this, &WebSocketTransport::textMessageReceived);
    connect(socket, &QWebSocket::disconnected, this, &WebSocketTransport::deleteLater);
}

WebSocketTransport::~WebSocketTransport()
{
    m_socket->deleteLater();
}

void WebSocketTransport::sendMessage(const QJsonObject &message)
{
    m_socket->sendTextMessage(JsonTextWriter::compact(message));
}

namespace {

// A refused text as the warning quotes it: whole when short, otherwise its
// start and its length, so a hostile client cannot fill the log.
QString quoted(const QString &message)
{
    if (message.size() <= WebSocketTransport::MaxQuotedCharacters)
        return message;
    return message.left(WebSocketTransport::MaxQuotedCharacters)
        + QStringLiteral("... (%1 characters)").arg(message.size());
}

} // namespace

void WebSocketTransport::textMessageReceived(const QString &message)
{
    const QByteArray utf8 = message.toUtf8();
    switch (JsonKeyGuard::check(utf8)) {
    case JsonKeyGuard::Verdict::Accepted:
        break;
    case JsonKeyGuard::Verdict::RepeatedKey:
        qWarning() << "Refused JSON message with a repeated key:" << quoted(message);
        return;
    case JsonKeyGuard::Verdict::TooDeep:
        qWarning() << "Refused JSON message nested too deep:" << quoted(message);
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error) {
        qWarning() << "Failed to parse text message as JSON object:" << quoted(message)
                   << "Error is:" << error.errorString();
        return;
    }
    if (!doc.isObject()) {
        qWarning() << "Received JSON message that is not an object: " << quoted(message);
        return;
    }
    emit messageReceived(doc.object(), this);
}
