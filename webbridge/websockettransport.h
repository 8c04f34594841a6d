#ifndef WEBSOCKETTRANSPORT_H
#define WEBSOCKETTRANSPORT_H

#include "webrequestlimiter.h"

#include <QWebChannelAbstractTransport>

class QWebSocket;

// One client of the web channel: JSON objects travel as compact text frames.
// The socket is the transport's parent, so the transport goes with it. The
// client's requests that make network traffic pass its own
// WebRequestLimiter; those over the limit are dropped, with one log line a
// second for all clients together.
class WebSocketTransport : public QWebChannelAbstractTransport
{
    Q_OBJECT

public:
    // The page's largest message, a "SetPower" command wrapped in a channel
    // invocation, is a few hundred bytes. Anything near this size is not
    // from our page, and Qt's JSON parser keeps memory it should give back
    // for some hostile texts, so the socket refuses larger frames and
    // messages (closing with code 1009) before they are parsed.
    static constexpr qint64 MaxIncomingMessageSize = 64 * 1024;
    // A refused text is quoted in the warning up to this many characters.
    static constexpr int MaxQuotedCharacters = 120;

    explicit WebSocketTransport(QWebSocket *socket);
    ~WebSocketTransport() override;

    void sendMessage(const QJsonObject &message) override;

private slots:
    void textMessageReceived(const QString &message);

private:
    Q_DISABLE_COPY(WebSocketTransport)

    QWebSocket *const m_socket;
    WebRequestLimiter m_limiter;
};

#endif // WEBSOCKETTRANSPORT_H
