#include "nodechannelclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace {

QString nodeDir() { return qEnvironmentVariable("PATHMERE_WEB_NODE_DIR"); }
QString scriptPath() { return qEnvironmentVariable("PATHMERE_WEB_NODE_SCRIPT"); }

} // namespace

NodeChannelClient::NodeChannelClient(QObject *parent)
    : QObject(parent)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &NodeChannelClient::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] {
        m_stderr += QString::fromUtf8(m_process.readAllStandardError());
    });
}

NodeChannelClient::~NodeChannelClient()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("{\"op\":\"quit\"}\n");
        if (!m_process.waitForFinished(2000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
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
    m_process.setProcessEnvironment(env);
    m_process.start(QStringLiteral("node"), {scriptPath()});
    return m_process.waitForStarted(10000);
}

void NodeChannelClient::command(const QJsonObject &cmd)
{
    m_process.write(QJsonDocument(cmd).toJson(QJsonDocument::Compact) + '\n');
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
    QList<QJsonObject> found;
    for (const QJsonObject &e : m_events) {
        if (e.value(QStringLiteral("event")).toString() == event
            && (client.isEmpty() || e.value(QStringLiteral("client")).toString() == client))
            found.append(e);
    }
    return found;
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
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        m_process.waitForReadyRead(20);
    }
    return true;
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

void NodeChannelClient::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    int newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (!event.isEmpty())
            m_events.append(event);
    }
}
