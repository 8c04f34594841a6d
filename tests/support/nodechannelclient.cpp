#include "nodechannelclient.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QtTest>

namespace {

QString nodeDir() { return qEnvironmentVariable("PATHMERE_WEB_NODE_DIR"); }
QString scriptPath() { return qEnvironmentVariable("PATHMERE_WEB_NODE_SCRIPT"); }

} // namespace

NodeChannelClient::NodeChannelClient(QObject *parent)
    : JsonLinesProcess(parent)
{
    keepErrorOutput();
}

NodeChannelClient::~NodeChannelClient()
{
    // Asked to quit, node closes its sockets itself; the base class ends
    // it otherwise.
    if (isRunning()) {
        process().write("{\"op\":\"quit\"}\n");
        process().waitForFinished(2000);
    }
}

QString NodeChannelClient::unavailableReason()
{
    if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
        return QStringLiteral("node is not installed");
    if (!QFileInfo::exists(nodeDir() + QStringLiteral("/node_modules/ws/package.json")))
        return QStringLiteral("the npm package ws is missing in ") + nodeDir();
    if (!QFileInfo::exists(scriptPath()))
        return QStringLiteral("channelclient.js not found");
    return QString();
}

bool NodeChannelClient::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NODE_PATH"), nodeDir() + QStringLiteral("/node_modules"));
    process().setProcessEnvironment(env);
    process().start(QStringLiteral("node"), {scriptPath()});
    return process().waitForStarted(10000);
}

void NodeChannelClient::command(const QJsonObject &cmd)
{
    process().write(QJsonDocument(cmd).toJson(QJsonDocument::Compact) + '\n');
}

void NodeChannelClient::open(const QString &client, const QString &url, const QString &origin)
{
    QJsonObject cmd{{QStringLiteral("op"), QStringLiteral("open")},
                    {QStringLiteral("client"), client},
                    {QStringLiteral("url"), url}};
    if (!origin.isEmpty())
        cmd.insert(QStringLiteral("origin"), origin);
    command(cmd);
}

void NodeChannelClient::send(const QString &client, const QString &text)
{
    command({{QStringLiteral("op"), QStringLiteral("send")}, {QStringLiteral("client"), client},
             {QStringLiteral("text"), text}});
}

void NodeChannelClient::raw(const QString &client, const QString &text)
{
    command({{QStringLiteral("op"), QStringLiteral("raw")}, {QStringLiteral("client"), client},
             {QStringLiteral("text"), text}});
}

QList<QJsonObject> NodeChannelClient::events(const QString &event, const QString &client) const
{
    if (client.isEmpty())
        return JsonLinesProcess::events(event);
    return JsonLinesProcess::events(event, QStringLiteral("client"), client);
}

QList<QJsonObject> NodeChannelClient::texts(const QString &client) const
{
    QList<QJsonObject> found;
    const QList<QJsonObject> all = events(QStringLiteral("text"), client);
    for (const QJsonObject &e : all)
        found.append(QJsonDocument::fromJson(e.value(QStringLiteral("text")).toString().toUtf8()).object());
    return found;
}

bool NodeChannelClient::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    (void)QTest::qWaitFor([&] { return condition() || !isRunning(); }, timeoutMs);
    return condition();
}

bool NodeChannelClient::waitReady(const QString &client, int timeoutMs)
{
    waitFor([&] {
        return !events(QStringLiteral("ready"), client).isEmpty() || !events(QStringLiteral("refused"), client).isEmpty()
            || !events(QStringLiteral("closed"), client).isEmpty();
    }, timeoutMs);
    return !events(QStringLiteral("ready"), client).isEmpty();
}

bool NodeChannelClient::ping(const QString &client, int timeoutMs)
{
    const int id = ++m_pingId;
    command({{QStringLiteral("op"), QStringLiteral("ping")}, {QStringLiteral("client"), client},
             {QStringLiteral("id"), id}});
    return waitFor([&] {
        const QList<QJsonObject> pongs = events(QStringLiteral("pong"), client);
        for (const QJsonObject &p : pongs) {
            if (p.value(QStringLiteral("id")).toInt() == id)
                return true;
        }
        return false;
    }, timeoutMs);
}
