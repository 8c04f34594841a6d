#ifndef NODECHANNELCLIENT_H
#define NODECHANNELCLIENT_H

#include "jsonlinesprocess.h"

#include <functional>

// node/channelclient.js as a test sees it: Qt's JavaScript web channel client
// under Node.js, driven by commands, reporting events.
class NodeChannelClient : public JsonLinesProcess
{
    Q_OBJECT
    Q_DISABLE_COPY(NodeChannelClient)

public:
    explicit NodeChannelClient(QObject *parent = nullptr);
    ~NodeChannelClient() override;

    // Where setup.sh put the npm packages (PATHMERE_WEB_NODE_DIR); empty
    // text when all is there, else what is missing.
    static QString unavailableReason();

    bool start();
    void command(const QJsonObject &cmd);
    void open(const QString &client, const QString &url, const QString &origin = QString());
    void send(const QString &client, const QString &text);
    void raw(const QString &client, const QString &text);

    // The events named event, of client when given.
    QList<QJsonObject> events(const QString &event, const QString &client = QString()) const;
    // The reply texts core.sendText brought to client, parsed.
    QList<QJsonObject> texts(const QString &client) const;
    // Waits for condition; gives up early when node has ended.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs);
    // Waits for ready or refused of client; true for ready.
    bool waitReady(const QString &client, int timeoutMs = 10000);
    // A channel round trip on client; true when it came back.
    bool ping(const QString &client, int timeoutMs = 5000);

private:
    int m_pingId = 0;
};

#endif // NODECHANNELCLIENT_H
