// Web bridge benchmark, loopback only. Prints "name: value" lines.
//
// status_rtt_*: a client invokes core.receiveText with the "Status" command
// and waits for the "Visca_Bind_Success" signal frame that the same bridge
// the program builds (wrapper, channel, Core, WebAnalytic) sends back.
// echo_rtt_*: a bare QWebSocket server echoing a text of the same size, the
// floor of any WebSocket request/reply in this process. Both run on the same
// event loop, interleaved in blocks, so machine noise hits both alike.
// broadcast_*: 50 connected clients, one of them sends "Status"; every client
// must receive every reply.
#include "core.h"
#include "webanalytic.h"
#include "websocketclientwrapper.h"
#include "websockettransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebChannel>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int requests = 2000;
constexpr int block = 250;
constexpr int warmup = 100;
constexpr int clientCount = 50;
constexpr int broadcasts = 100;

const QString statusCommand = QStringLiteral(R"({"cmd_type":"Message","payload":{"name":"Status"}})");

bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

QString compact(const QJsonObject &o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

// One channel client written against the channel's message types: init,
// connect to "sendText", invoke "receiveText".
struct ChannelClient {
    std::unique_ptr<QWebSocket> socket { new QWebSocket };
    int received = 0;        // sendText signal frames
    bool initialised = false;
    int sendTextIndex = -1;
    int receiveTextIndex = -1;
    int nextId = 10;

    bool open(const QUrl &url)
    {
        QObject::connect(socket.get(), &QWebSocket::textMessageReceived, socket.get(), [this](const QString &text) {
            // Once set up, a signal frame is told by its last member (the
            // channel writes keys in order), so the client's own JSON
            // parsing stays out of the figure as it does for the echo.
            if (initialised) {
                if (text.endsWith(QLatin1String(",\"type\":1}")))
                    ++received;
                return;
            }
            const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
            const int type = o.value(QStringLiteral("type")).toInt();
            if (type == 10 && o.value(QStringLiteral("id")).toInt() == 1) {
                const QJsonObject core = o.value(QStringLiteral("data")).toObject().value(QStringLiteral("core")).toObject();
                for (const QJsonValue &s : core.value(QStringLiteral("signals")).toArray()) {
                    if (s.toArray().at(0).toString() == QLatin1String("sendText"))
                        sendTextIndex = s.toArray().at(1).toInt();
                }
                for (const QJsonValue &m : core.value(QStringLiteral("methods")).toArray()) {
                    if (m.toArray().at(0).toString() == QLatin1String("receiveText"))
                        receiveTextIndex = m.toArray().at(1).toInt();
                }
                initialised = true;
            } else if (type == 1) {
                ++received;
            }
        });
        bool connected = false;
        QObject::connect(socket.get(), &QWebSocket::connected, [&connected] { connected = true; });
        socket->open(url);
        if (!waitUntil([&] { return connected; }))
            return false;
        socket->sendTextMessage(QStringLiteral(R"({"type":3,"id":1})"));
        if (!waitUntil([&] { return initialised; }) || sendTextIndex < 0)
            return false;
        socket->sendTextMessage(compact({{QStringLiteral("type"), 7}, {QStringLiteral("object"), QStringLiteral("core")},
                                         {QStringLiteral("signal"), sendTextIndex}}));
        return true;
    }

    QString invokeFrame()
    {
        return compact({{QStringLiteral("type"), 6}, {QStringLiteral("object"), QStringLiteral("core")},
                        {QStringLiteral("method"), receiveTextIndex},
                        {QStringLiteral("args"), QJsonArray{statusCommand}}, {QStringLiteral("id"), ++nextId}});
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    // The bridge as the main window builds it, on a free loopback port.
    QWebSocketServer server(QStringLiteral("QWebChannel Standalone Example Server"), QWebSocketServer::NonSecureMode);
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    WebSocketClientWrapper wrapper(&server);
    QWebChannel channel;
    QObject::connect(&wrapper, &WebSocketClientWrapper::clientConnected, &channel, &QWebChannel::connectTo);
    WebAnalytic analytic;
    Core core(&analytic);
    QObject::connect(&analytic, &WebAnalytic::sendText, &core, &Core::sendText);
    // What the main window does for "Status" when VISCA is ready.
    QObject::connect(&analytic, &WebAnalytic::checkViscaStatus, &analytic,
                     [&analytic] { analytic.sendStatusMessage(WebAnalytic::ViscaBindSuccess); });
    channel.registerObject(QStringLiteral("core"), &core);
    const QUrl bridgeUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()));

    // The floor: a bare echo server.
    QWebSocketServer echoServer(QStringLiteral("echo"), QWebSocketServer::NonSecureMode);
    echoServer.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&echoServer, &QWebSocketServer::newConnection, &echoServer, [&echoServer] {
        QWebSocket *s = echoServer.nextPendingConnection();
        QObject::connect(s, &QWebSocket::textMessageReceived, s, [s](const QString &t) { s->sendTextMessage(t); });
        QObject::connect(s, &QWebSocket::disconnected, s, &QObject::deleteLater);
    });
    QWebSocket echoClient;
    int echoes = 0;
    QObject::connect(&echoClient, &QWebSocket::textMessageReceived, [&echoes] { ++echoes; });
    bool echoConnected = false;
    QObject::connect(&echoClient, &QWebSocket::connected, [&echoConnected] { echoConnected = true; });
    echoClient.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(echoServer.serverPort())));

    ChannelClient client;
    if (!client.open(bridgeUrl) || !waitUntil([&] { return echoConnected; })) {
        std::fprintf(stderr, "cannot connect\n");
        return 1;
    }

    const QString echoText = client.invokeFrame();   // same size as a request
    auto channelRoundTrip = [&]() -> double {
        const int before = client.received;
        // The request is written before the clock starts, as the echo's is:
        // the client's own JSON stays out of the figure both ways.
        const QString request = client.invokeFrame();
        QElapsedTimer t;
        t.start();
        client.socket->sendTextMessage(request);
        waitUntil([&] { return client.received > before; });
        return t.nsecsElapsed() / 1000.0;
    };
    auto echoRoundTrip = [&]() -> double {
        const int before = echoes;
        QElapsedTimer t;
        t.start();
        echoClient.sendTextMessage(echoText);
        waitUntil([&] { return echoes > before; });
        return t.nsecsElapsed() / 1000.0;
    };

    for (int i = 0; i < warmup; ++i) {
        channelRoundTrip();
        echoRoundTrip();
    }
    std::vector<double> channelUs;
    std::vector<double> echoUs;
    for (int done = 0; done < requests; done += block) {
        for (int i = 0; i < block; ++i)
            echoUs.push_back(echoRoundTrip());
        for (int i = 0; i < block; ++i)
            channelUs.push_back(channelRoundTrip());
    }
    const double c50 = percentile(channelUs, 0.50), c99 = percentile(channelUs, 0.99);
    const double e50 = percentile(echoUs, 0.50), e99 = percentile(echoUs, 0.99);
    std::printf("status_requests: %d\n", static_cast<int>(channelUs.size()));
    std::printf("status_rtt_p50_us: %.1f\n", c50);
    std::printf("status_rtt_p99_us: %.1f\n", c99);
    std::printf("echo_rtt_p50_us: %.1f\n", e50);
    std::printf("echo_rtt_p99_us: %.1f\n", e99);
    std::printf("status_vs_echo_p50_ratio: %.2f\n", e50 > 0 ? c50 / e50 : 0.0);
    std::printf("status_vs_echo_p99_ratio: %.2f\n", e99 > 0 ? c99 / e99 : 0.0);

    // Fan-out: every connected page gets every reply.
    std::vector<std::unique_ptr<ChannelClient>> pages;
    for (int i = 0; i < clientCount; ++i) {
        pages.emplace_back(new ChannelClient);
        if (!pages.back()->open(bridgeUrl)) {
            std::fprintf(stderr, "client %d cannot connect\n", i);
            return 1;
        }
    }
    waitUntil([] { return false; }, 200);   // let the signal subscriptions settle
    std::vector<int> start(clientCount);
    for (int i = 0; i < clientCount; ++i)
        start[i] = pages[i]->received;
    std::vector<double> fanoutUs;
    for (int round = 1; round <= broadcasts; ++round) {
        QElapsedTimer t;
        t.start();
        pages[round % clientCount]->socket->sendTextMessage(pages[round % clientCount]->invokeFrame());
        waitUntil([&] {
            for (int i = 0; i < clientCount; ++i) {
                if (pages[i]->received - start[i] < round)
                    return false;
            }
            return true;
        });
        fanoutUs.push_back(t.nsecsElapsed() / 1000.0);
    }
    int complete = 0;
    for (int i = 0; i < clientCount; ++i) {
        if (pages[i]->received - start[i] == broadcasts)
            ++complete;
    }
    // The single client above is connected too and must have them all.
    std::printf("broadcast_clients: %d\n", clientCount);
    std::printf("broadcast_replies: %d\n", broadcasts);
    std::printf("broadcast_clients_with_every_reply: %d\n", complete);
    std::printf("broadcast_all_clients_p50_us: %.1f\n", percentile(fanoutUs, 0.50));
    std::printf("broadcast_all_clients_p99_us: %.1f\n", percentile(fanoutUs, 0.99));
    std::printf("broadcast_per_client_p50_us: %.1f\n", percentile(fanoutUs, 0.50) / (clientCount + 1));
    return complete == clientCount ? 0 : 1;
}
