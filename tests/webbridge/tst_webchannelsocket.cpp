// The bridge over a real loopback socket, in-process: the server, wrapper,
// channel and "core" wired as the main window wires them, on a free port.
// The client here is a plain QWebSocket that sends frames the channel must
// cope with; Qt's own JavaScript client is exercised by the Node suite.
#include "core.h"
#include "webanalytic.h"
#include "websocketclientwrapper.h"
#include "websockettransport.h"

#include <QFile>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebChannel>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtTest>

#include <memory>

namespace {

// The channel's init message and its answer carry the published objects.
const QString initFrame = QStringLiteral(R"({"type":3,"id":1})");

} // namespace

class TestWebChannelSocket : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dataHome;
    std::unique_ptr<QWebSocketServer> server;
    std::unique_ptr<WebSocketClientWrapper> wrapper;
    std::unique_ptr<QWebChannel> channel;
    std::unique_ptr<WebAnalytic> analytic;
    std::unique_ptr<Core> core;
    QList<QPointer<WebSocketTransport>> transports;

    QUrl url() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server->serverPort())); }

    // A connected client, or nullptr when the handshake failed.
    QWebSocket *connectClient(const QString &origin = QString())
    {
        auto *socket = new QWebSocket(origin, QWebSocketProtocol::VersionLatest, this);
        QSignalSpy connected(socket, &QWebSocket::connected);
        QSignalSpy disconnected(socket, &QWebSocket::disconnected);
        socket->open(url());
        if (!QTest::qWaitFor([&] { return connected.count() > 0 || disconnected.count() > 0; }, 5000)
            || connected.isEmpty()) {
            delete socket;
            return nullptr;
        }
        return socket;
    }

    static QJsonObject nextObject(QSignalSpy &frames, int index)
    {
        if (!QTest::qWaitFor([&] { return frames.count() > index; }, 5000))
            return QJsonObject();
        return QJsonDocument::fromJson(frames.at(index).first().toString().toUtf8()).object();
    }

    void writeAllowedOrigins(const QByteArray &value)
    {
        QDir().mkpath(dataHome.path() + QStringLiteral("/Pathmere"));
        QFile file(dataHome.path() + QStringLiteral("/Pathmere/setting.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Web]\nAllowedOrigins=" + value + '\n');
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
        server.reset(new QWebSocketServer(QStringLiteral("QWebChannel Standalone Example Server"),
                                          QWebSocketServer::NonSecureMode));
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        wrapper.reset(new WebSocketClientWrapper(server.get()));
        channel.reset(new QWebChannel);
        connect(wrapper.get(), &WebSocketClientWrapper::clientConnected, channel.get(), &QWebChannel::connectTo);
        connect(wrapper.get(), &WebSocketClientWrapper::clientConnected, this,
                [this](WebSocketTransport *t) { transports.append(t); });
        analytic.reset(new WebAnalytic);
        core.reset(new Core(analytic.get()));
        connect(analytic.get(), &WebAnalytic::sendText, core.get(), &Core::sendText);
        channel->registerObject(QStringLiteral("core"), core.get());
    }

    void cleanupTestCase()
    {
        channel.reset();
        core.reset();
        server->close();
        wrapper.reset();
        server.reset();
    }

    void coreKeepsItsMetaObjectOrder()
    {
        const QMetaObject &mo = Core::staticMetaObject;
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 2);
        QCOMPARE(mo.method(mo.methodOffset()).methodSignature(), QByteArray("sendText(QString)"));
        QCOMPARE(mo.method(mo.methodOffset()).methodType(), QMetaMethod::Signal);
        QCOMPARE(mo.method(mo.methodOffset() + 1).methodSignature(), QByteArray("receiveText(QString)"));
        QCOMPARE(mo.method(mo.methodOffset() + 1).methodType(), QMetaMethod::Slot);
    }

    void channelAnswersInCompactFrames()
    {
        std::unique_ptr<QWebSocket> client(connectClient());
        QVERIFY(client);
        QSignalSpy frames(client.get(), &QWebSocket::textMessageReceived);
        client->sendTextMessage(initFrame);
        const QJsonObject answer = nextObject(frames, 0);
        QCOMPARE(answer.value(QStringLiteral("type")).toInt(), 10);
        QVERIFY(answer.value(QStringLiteral("data")).toObject().contains(QStringLiteral("core")));
        const QString raw = frames.first().first().toString();
        QVERIFY2(!raw.contains(QLatin1Char('\n')) && !raw.contains(QLatin1String("\": ")), qPrintable(raw.left(200)));
    }

    void badFramesWarnAndKeepTheConnection_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("warning");
        QTest::newRow("array") << "[1,2,3]" << R"(Received JSON message that is not an object:  "[1,2,3]")";
        QTest::newRow("not JSON")
            << "hello" << R"(Failed to parse text message as JSON object: "hello" Error is: "illegal value")";
        QTest::newRow("string") << "\"text\"" << "Failed to parse text message as JSON object: \"\\\"text\\\"\" Error is: \"illegal value\"";
        // Qt's parser would keep the replaced array's memory for good.
        QTest::newRow("repeated key") << R"({"a":[1],"a":0})"
                                      << "Refused JSON message with a repeated key: \"{\\\"a\\\":[1],\\\"a\\\":0}\"";
    }

    void badFramesWarnAndKeepTheConnection()
    {
        QFETCH(QString, frame);
        QFETCH(QString, warning);
        std::unique_ptr<QWebSocket> client(connectClient());
        QVERIFY(client);
        QSignalSpy frames(client.get(), &QWebSocket::textMessageReceived);
        QSignalSpy closed(client.get(), &QWebSocket::disconnected);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        client->sendTextMessage(frame);
        QTest::qWait(200);
        QCOMPARE(frames.count(), 0);
        // Still connected: the channel answers the next good frame.
        client->sendTextMessage(initFrame);
        QCOMPARE(nextObject(frames, 0).value(QStringLiteral("type")).toInt(), 10);
        QCOMPARE(closed.count(), 0);
    }

    // A long bad text is quoted by its start only, and a frame past the size
    // limit closes that client (1009) before it is parsed; others stay.
    void oversizedInputIsCutShort()
    {
        std::unique_ptr<QWebSocket> client(connectClient());
        std::unique_ptr<QWebSocket> bystander(connectClient());
        QVERIFY(client && bystander);
        QSignalSpy closed(client.get(), &QWebSocket::disconnected);
        const QString longBad = QString(5000, QLatin1Char('x'));
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QStringLiteral("Failed to parse text message as JSON object: \"%1... (5000 characters)\" Error is: \"illegal value\"")
                                            .arg(longBad.left(WebSocketTransport::MaxQuotedCharacters))));
        client->sendTextMessage(longBad);
        QTest::qWait(200);
        QCOMPARE(closed.count(), 0);

        client->sendTextMessage(QString(int(WebSocketTransport::MaxIncomingMessageSize) + 1, QLatin1Char('{')));
        QVERIFY(QTest::qWaitFor([&] { return closed.count() > 0; }, 5000));
        QCOMPARE(client->closeCode(), QWebSocketProtocol::CloseCodeTooMuchData);

        QSignalSpy frames(bystander.get(), &QWebSocket::textMessageReceived);
        bystander->sendTextMessage(initFrame);
        QCOMPARE(nextObject(frames, 0).value(QStringLiteral("type")).toInt(), 10);
    }

    void commandReachesTheAnalyticAndRepliesReachEveryClient()
    {
        std::unique_ptr<QWebSocket> first(connectClient());
        std::unique_ptr<QWebSocket> second(connectClient());
        QVERIFY(first && second);
        QSignalSpy firstFrames(first.get(), &QWebSocket::textMessageReceived);
        QSignalSpy secondFrames(second.get(), &QWebSocket::textMessageReceived);
        first->sendTextMessage(initFrame);
        second->sendTextMessage(initFrame);
        const QJsonObject init = nextObject(firstFrames, 0);
        QVERIFY(!nextObject(secondFrames, 0).isEmpty());
        // Index of sendText and receiveText as the channel lists them.
        const QJsonObject coreInfo = init.value(QStringLiteral("data")).toObject().value(QStringLiteral("core")).toObject();
        int sendTextIndex = -1;
        int receiveTextIndex = -1;
        for (const QJsonValue &s : coreInfo.value(QStringLiteral("signals")).toArray()) {
            if (s.toArray().at(0).toString() == QLatin1String("sendText"))
                sendTextIndex = s.toArray().at(1).toInt();
        }
        for (const QJsonValue &m : coreInfo.value(QStringLiteral("methods")).toArray()) {
            if (m.toArray().at(0).toString() == QLatin1String("receiveText"))
                receiveTextIndex = m.toArray().at(1).toInt();
        }
        QVERIFY(sendTextIndex >= 0 && receiveTextIndex >= 0);
        const QString connectFrame = QStringLiteral(R"({"type":7,"object":"core","signal":%1})").arg(sendTextIndex);
        first->sendTextMessage(connectFrame);
        second->sendTextMessage(connectFrame);
        QTest::qWait(100);

        QSignalSpy visca(analytic.get(), &WebAnalytic::checkViscaStatus);
        connect(analytic.get(), &WebAnalytic::checkViscaStatus, this,
                [this] { analytic->sendStatusMessage(WebAnalytic::ViscaBindSuccess); });
        const QString command = QStringLiteral(R"({"cmd_type":"Message","payload":{"name":"Status"}})");
        QJsonObject invoke;
        invoke.insert(QStringLiteral("type"), 6);
        invoke.insert(QStringLiteral("object"), QStringLiteral("core"));
        invoke.insert(QStringLiteral("method"), receiveTextIndex);
        invoke.insert(QStringLiteral("args"), QJsonArray{command});
        invoke.insert(QStringLiteral("id"), 2);
        first->sendTextMessage(QString::fromUtf8(QJsonDocument(invoke).toJson(QJsonDocument::Compact)));
        QTRY_COMPARE(visca.count(), 1);
        disconnect(analytic.get(), &WebAnalytic::checkViscaStatus, this, nullptr);

        // Both clients see the signal with the reply text.
        for (QSignalSpy *frames : {&firstFrames, &secondFrames}) {
            QVERIFY(QTest::qWaitFor([&] {
                for (const QList<QVariant> &f : *frames) {
                    const QJsonObject o = QJsonDocument::fromJson(f.first().toString().toUtf8()).object();
                    if (o.value(QStringLiteral("type")).toInt() == 1
                        && o.value(QStringLiteral("args")).toArray().at(0).toString().contains(QLatin1String("Visca_Bind_Success")))
                        return true;
                }
                return false;
            }, 5000));
        }
    }

    // A page must not be able to delete the published object.
    void deleteLaterOnCoreIsRefused()
    {
        std::unique_ptr<QWebSocket> client(connectClient());
        QVERIFY(client);
        QSignalSpy frames(client.get(), &QWebSocket::textMessageReceived);
        client->sendTextMessage(initFrame);
        const QJsonObject coreInfo = nextObject(frames, 0).value(QStringLiteral("data")).toObject()
                                         .value(QStringLiteral("core")).toObject();
        int deleteLaterIndex = -1;
        for (const QJsonValue &m : coreInfo.value(QStringLiteral("methods")).toArray()) {
            if (m.toArray().at(0).toString() == QLatin1String("deleteLater"))
                deleteLaterIndex = m.toArray().at(1).toInt();
        }
        QVERIFY(deleteLaterIndex >= 0);
        const QPointer<Core> watched(core.get());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Not deleting non-wrapped object")));
        client->sendTextMessage(QStringLiteral(R"({"type":6,"object":"core","method":%1,"args":[],"id":9})")
                                    .arg(deleteLaterIndex));
        QTest::qWait(300);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched);
        QVERIFY(frames.count() >= 1);
    }

    void transportGoesWithTheClient()
    {
        transports.clear();
        std::unique_ptr<QWebSocket> client(connectClient());
        QVERIFY(client);
        QTRY_COMPARE(transports.size(), 1);
        QVERIFY(transports.first());
        client->close();
        QTRY_VERIFY(transports.first().isNull());
    }

    void foreignOriginIsRefusedAtTheHandshake()
    {
        QTest::ignoreMessage(QtWarningMsg, "Refused web socket connection from origin https://example.com");
        QWebSocket *refused = connectClient(QStringLiteral("https://example.com"));
        QVERIFY(!refused);
        std::unique_ptr<QWebSocket> local(connectClient(QStringLiteral("http://localhost:8000")));
        QVERIFY(local);
        std::unique_ptr<QWebSocket> filePage(connectClient(QStringLiteral("file://")));
        QVERIFY(filePage);
        // Any web site's sandboxed frame sends "null".
        QTest::ignoreMessage(QtWarningMsg, "Refused web socket connection from origin null");
        QVERIFY(!connectClient(QStringLiteral("null")));
    }

    void listedOriginIsAccepted()
    {
        writeAllowedOrigins("https://intranet.example, https://other.example");
        std::unique_ptr<QWebSocket> listed(connectClient(QStringLiteral("https://intranet.example")));
        QVERIFY(listed);
        QTest::ignoreMessage(QtWarningMsg, "Refused web socket connection from origin https://example.com");
        QVERIFY(!connectClient(QStringLiteral("https://example.com")));
        // Taken off the list: refused again without a restart.
        writeAllowedOrigins("https://other.example");
        QTest::ignoreMessage(QtWarningMsg, "Refused web socket connection from origin https://intranet.example");
        QVERIFY(!connectClient(QStringLiteral("https://intranet.example")));
    }
};

QTEST_GUILESS_MAIN(TestWebChannelSocket)
#include "tst_webchannelsocket.moc"
