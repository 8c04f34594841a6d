#ifndef WEBSOCKETTRANSPORT_H
#define WEBSOCKETTRANSPORT_H

#include <QWebChannelAbstractTransport>

class QWebSocket;

// One client of the web channel: JSON objects travel as compact text frames.
// The socket is the transport's parent, so the transport goes with it.
class WebSocketTransport : public QWebChannelAbstractTransport
{
    Q_OBJECT

public:
    explicit WebSocketTransport(QWebSocket *socket);
    ~WebSocketTransport() override;

    void sendMessage(const QJsonObject &message) override;

private slots:
    void textMessageReceived(const QString &message);

private:
    Q_DISABLE_COPY(WebSocketTransport)

    QWebSocket *const m_socket;
};

#endif // WEBSOCKETTRANSPORT_H
