#include "websockettransport.h"

#include "applog.h"
#include "jsonkeyguard.h"
#include "jsontextwriter.h"
#include "logrepeatlimiter.h"

#include <QDebug>
#include <QElapsedTimer>
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

// Refusals of every client share one line a second (GUI thread only).
void logRefusedRequest(WebRequestLimiter::Kind kind)
{
    static LogRepeatLimiter refusals;
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    if (!refusals.admitLine(clock.elapsed(), "Web request refused"))
        return;
    appLog(LogSystem::LogMajorMsg, "Web request refused: too many \"%s\" from one client.",
           WebRequestLimiter::nameOf(kind));
}

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
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
    const QJsonObject object = doc.object();
    const WebRequestLimiter::Kind kind = WebRequestLimiter::kindOf(object);
    if (!m_limiter.admit(kind, monotonicMs())) {
        logRefusedRequest(kind);
        return;
    }
    emit messageReceived(object, this);
}
