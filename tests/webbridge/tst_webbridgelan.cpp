// The web bridge of the real Pathmere program, driven by Qt's JavaScript web
// channel client under Node.js, in the namespace test LAN with simulated
// cameras. Everything the program sends (search, VISCA, Wake-on-LAN) stays
// inside the LAN; the WebSocket is the namespace's own loopback.
#include "camsimprocess.h"
#include "nodechannelclient.h"
#include "otheruser.h"
#include "pathmeresandbox.h"
#include "testlan.h"
#include "updateserver.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString bridgeUrl = QStringLiteral("ws://127.0.0.1:15248");

struct Camera {
    QString ip, mac, name, power;
};
const QList<Camera> cameras = {
    {QStringLiteral("192.0.2.61"), QStringLiteral("02:50:4d:00:06:01"), QStringLiteral("Stage-Left"), QStringLiteral("standby")},
    {QStringLiteral("192.0.2.62"), QStringLiteral("02:50:4d:00:06:02"), QStringLiteral("Lectern"), QStringLiteral("on")},
    {QStringLiteral("192.0.2.63"), QStringLiteral("02:50:4d:00:06:03"), QStringLiteral("Balcony"), QStringLiteral("silent")},
};

QString command(const QString &type, const QString &name, const QJsonValue &params = QJsonValue())
{
    QJsonObject payload{{QStringLiteral("name"), name}};
    if (!params.isUndefined() && !params.isNull())
        payload.insert(QStringLiteral("params"), params);
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("cmd_type"), type},
                                                       {QStringLiteral("payload"), payload}})
                                 .toJson(QJsonDocument::Compact));
}

QString setPower(const Camera &c, const QJsonValue &status)
{
    return command(QStringLiteral("Control"), QStringLiteral("SetPower"),
                   QJsonObject{{QStringLiteral("Ip"), c.ip}, {QStringLiteral("Mac"), c.mac},
                               {QStringLiteral("Status"), status}});
}

// "Msg" of an ErrorMsg or "Status" of a Status message; empty otherwise.
QString word(const QJsonObject &message)
{
    const QJsonObject payload = message.value(QStringLiteral("payload")).toObject();
    const QJsonObject params = payload.value(QStringLiteral("params")).toObject();
    if (payload.value(QStringLiteral("name")).toString() == QLatin1String("ErrorMsg"))
        return params.value(QStringLiteral("Msg")).toString();
    if (payload.value(QStringLiteral("name")).toString() == QLatin1String("Status"))
        return params.value(QStringLiteral("Status")).toString();
    return QString();
}

bool portListening(quint16 port, const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
{
    QTcpSocket probe;
    probe.connectToHost(address, port);
    return probe.waitForConnected(200);
}

// A program's WebSocket handshake: no Origin, as a program sends.
QByteArray handshake()
{
    return "GET / HTTP/1.1\r\nHost: 127.0.0.1:15248\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

} // namespace

class TestWebBridgeLan : public QObject
{
    Q_OBJECT

private:
    CamsimProcess *camsim = nullptr;
    PathmereSandbox *sandbox = nullptr;
    QProcess *program = nullptr;
    NodeChannelClient *node = nullptr;
    QUdpSocket noticeHolder;
    // The update server the program is pointed at (loopback of the test LAN).
    UpdateServer updateServer;

    // Sends text from client and waits for the next reply both a and b get.
    QJsonObject nextReply(const QString &client, const QString &text, int timeoutMs)
    {
        const int before = node->texts(QStringLiteral("a")).size();
        const int beforeB = node->texts(QStringLiteral("b")).size();
        node->send(client, text);
        node->waitFor([&] {
            return node->texts(QStringLiteral("a")).size() > before && node->texts(QStringLiteral("b")).size() > beforeB;
        }, timeoutMs);
        const QList<QJsonObject> a = node->texts(QStringLiteral("a"));
        const QList<QJsonObject> b = node->texts(QStringLiteral("b"));
        if (a.size() <= before || b.size() <= beforeB)
            return QJsonObject();
        // Every client gets every reply, the same text.
        if (a.at(before) != b.at(beforeB))
            return QJsonObject{{QStringLiteral("mismatch"), true}};
        return a.at(before);
    }

    int viscaEventsFor(const Camera &c) const
    {
        const QList<QJsonObject> visca = camsim->events(QStringLiteral("visca"));
        return int(std::count_if(visca.begin(), visca.end(), [&](const QJsonObject &e) {
            return e.value(QStringLiteral("camera")).toString() == c.mac;
        }));
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        const QString nodeMissing = NodeChannelClient::unavailableReason();
        QVERIFY2(nodeMissing.isEmpty(), qPrintable(nodeMissing));

        // The takeover notice of a second session must not end the first
        // program here: this socket holds the notice port instead.
        QVERIFY(noticeHolder.bind(QHostAddress::Any, 56731, QAbstractSocket::DontShareAddress));

        camsim = new CamsimProcess(this);
        QStringList args;
        for (const Camera &c : cameras) {
            args << QStringLiteral("--camera")
                 << QStringLiteral("ip=%1,mac=%2,name=%3,model=PX-WEB,fw=3.1.4,power=%4").arg(c.ip, c.mac, c.name, c.power);
        }
        QVERIFY2(camsim->start(0, args), qPrintable(camsim->errorText()));

        sandbox = new PathmereSandbox;
        QVERIFY(sandbox->isValid());
        QVERIFY(updateServer.listen());
        QSettings(sandbox->home() + QStringLiteral("/.local/share/Pathmere/setting.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("Update/DescriptionUrl"), updateServer.url(QStringLiteral("/Skyrelay/update.cfg")));
        QVERIFY2(!portListening(15248), "port 15248 is taken in the program namespace");
        program = sandbox->start({QStringLiteral("-hide")});
        QVERIFY(QTest::qWaitFor([] { return portListening(15248); }, 20000));

        node = new NodeChannelClient(this);
        QVERIFY(node->start());
        node->open(QStringLiteral("a"), bridgeUrl);
        node->open(QStringLiteral("b"), bridgeUrl);
        QVERIFY2(node->waitReady(QStringLiteral("a")), qPrintable(node->errorOutput()));
        QVERIFY2(node->waitReady(QStringLiteral("b")), qPrintable(node->errorOutput()));
    }

    void cleanupTestCase()
    {
        delete node;
        node = nullptr;
        delete sandbox;   // kills the program
        sandbox = nullptr;
        if (camsim)
            camsim->stop();
    }

    void deviceListComesAfterSixSeconds()
    {
        QElapsedTimer clock;
        clock.start();
        const QJsonObject reply = nextReply(QStringLiteral("a"),
                                            command(QStringLiteral("Control"), QStringLiteral("UpdateDeviceList")), 15000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")), qPrintable(node->errorOutput()));
        QVERIFY2(elapsed >= 5900 && elapsed < 9000, qPrintable(QString::number(elapsed)));
        QCOMPARE(reply.value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Control"));
        const QJsonObject payload = reply.value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.value(QStringLiteral("name")).toString(), QStringLiteral("UpdateDeviceList"));
        QCOMPARE(payload.value(QStringLiteral("result")).toString(), QStringLiteral("Success"));
        const QJsonArray devices = payload.value(QStringLiteral("params")).toArray();
        QCOMPARE(devices.size(), cameras.size());
        QSet<QString> seen;
        for (const QJsonValue &v : devices) {
            const QJsonObject d = v.toObject();
            const QString mac = d.value(QStringLiteral("macAddress")).toString();
            const auto it = std::find_if(cameras.begin(), cameras.end(), [&](const Camera &c) { return c.mac == mac; });
            QVERIFY2(it != cameras.end(), qPrintable(mac));
            QCOMPARE(d.value(QStringLiteral("ipAddress")).toString(), it->ip);
            QCOMPARE(d.value(QStringLiteral("Name")).toString(), it->name);
            QCOMPARE(d.value(QStringLiteral("Model")).toString(), QStringLiteral("PX-WEB"));
            QCOMPARE(d.value(QStringLiteral("fwVersion")).toString(), QStringLiteral("3.1.4"));
            QCOMPARE(d.value(QStringLiteral("SearchType")).toString(), QStringLiteral("0"));
            seen.insert(mac);
        }
        QCOMPARE(seen.size(), cameras.size());
        QVERIFY(sandbox->waitForLog(QStringLiteral("Update device list from web."), 2000));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Send device list to web.(3)"), 2000));
    }

    // A host of the LAN floods the search port with junk, truncated, forged
    // and refusal datagrams while the page asks: the list still comes at
    // the six seconds, and holds the real cameras and nothing else.
    void deviceListOnTimeUnderFlood()
    {
        QProcess flood;
        flood.setProcessChannelMode(QProcess::MergedChannels);
        flood.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                           TestLan::cameraNamespaces().first(), QStringLiteral("python3"),
                                           TestLan::floodScript(),
                                           TestLan::programAddresses().first(), QStringLiteral("5")});
        QVERIFY(flood.waitForStarted(5000));
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        const QJsonObject reply = nextReply(QStringLiteral("a"),
                                            command(QStringLiteral("Control"), QStringLiteral("UpdateDeviceList")), 15000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY(QTest::qWaitFor([&] { return flood.state() == QProcess::NotRunning; }, 30000));
        const QByteArray counts = flood.readAll().trimmed();
        qInfo("flood: %s; list after %lld ms", counts.constData(), elapsed);
        QVERIFY2(flood.exitStatus() == QProcess::NormalExit && flood.exitCode() == 0, counts.constData());
        QVERIFY2(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")), qPrintable(node->errorOutput()));
#if defined(__SANITIZE_ADDRESS__)
        // Every datagram costs several times more under AddressSanitizer;
        // the bound of the plain build is the one that speaks of the program.
        constexpr qint64 LateMs = 9000;
#else
        constexpr qint64 LateMs = 7000;
#endif
        QVERIFY2(elapsed >= 5900 && elapsed < LateMs, qPrintable(QString::number(elapsed)));
        const QJsonArray devices = reply.value(QStringLiteral("payload")).toObject().value(QStringLiteral("params")).toArray();
        QSet<QString> macs;
        for (const QJsonValue &v : devices)
            macs.insert(v.toObject().value(QStringLiteral("macAddress")).toString());
        QCOMPARE(devices.size(), cameras.size());
        for (const Camera &c : cameras)
            QVERIFY2(macs.contains(c.mac), qPrintable(c.mac));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Refused reply from "), 2000));
    }

    void viscaStatusCheck()
    {
        const QJsonObject reply = nextReply(QStringLiteral("b"), command(QStringLiteral("Message"), QStringLiteral("Status")), 5000);
        QVERIFY(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")));
        QCOMPARE(reply.value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Message"));
        QCOMPARE(word(reply), QStringLiteral("Visca_Bind_Success"));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Check visca status from web."), 2000));
    }

    void versionCheckAnswersFromTheUpdateServer()
    {
        const struct { QByteArray version; QString status; QString answered; } cases[] = {
            {"1.1.1011.0", QStringLiteral("Is_need_update"), QStringLiteral("1.1.1011.0")},
            // Greater as text, older as a version.
            {"1.1.999.0", QStringLiteral("Is_not_need_update"), QString()},
        };
        for (const auto &c : cases) {
            updateServer.serve(QStringLiteral("/Skyrelay/update.cfg"),
                               "[OTA]\nVersion=" + c.version + "\nPath=" + updateServer.url(QStringLiteral("/p.zip")).toUtf8()
                                   + "\nFileSize=10\n");
            const QJsonObject reply = nextReply(QStringLiteral("a"), command(QStringLiteral("Control"), QStringLiteral("CheckVersion")), 5000);
            QVERIFY(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")));
            const QJsonObject payload = reply.value(QStringLiteral("payload")).toObject();
            QCOMPARE(payload.value(QStringLiteral("name")).toString(), QStringLiteral("CheckVersion"));
            const QJsonObject params = payload.value(QStringLiteral("params")).toObject();
            QCOMPARE(params.value(QStringLiteral("Status")).toString(), c.status);
            QCOMPARE(params.value(QStringLiteral("Version")).toString(), c.answered);
        }
        // A web check never downloads.
        QCOMPARE(updateServer.requests(QStringLiteral("/p.zip")), 0);
    }

    void versionCheckWithoutUpdateInformationIsAnError()
    {
        // The update server unreachable: the page must not hear "up to date".
        updateServer.close();
        const QJsonObject reply = nextReply(QStringLiteral("a"), command(QStringLiteral("Control"), QStringLiteral("CheckVersion")), 5000);
        QVERIFY(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")));
        QCOMPARE(word(reply), QStringLiteral("Download_cfg_Fail"));
    }

    void powerOnStandbyCamera()
    {
        const QJsonObject reply = nextReply(QStringLiteral("a"), setPower(cameras.at(0), QStringLiteral("1")), 8000);
        QVERIFY(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")));
        QCOMPARE(word(reply), QStringLiteral("Visca_Send_Cmd_Completed"));
        QVERIFY(QTest::qWaitFor([&] { return camsim->count(QStringLiteral("power")) >= 1; }, 2000));
        QVERIFY(sandbox->waitForLog(QStringLiteral("set power status from web(ip=192.0.2.61, mac=02:50:4d:00:06:01, status=1)"), 2000));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Pathmere receive visca stats:5"), 2000));
    }

    void powerOnCameraAlreadyOn()
    {
        const QJsonObject reply = nextReply(QStringLiteral("b"), setPower(cameras.at(1), QStringLiteral("1")), 8000);
        QVERIFY(!reply.isEmpty() && !reply.contains(QStringLiteral("mismatch")));
        QCOMPARE(word(reply), QStringLiteral("WOL_Power_Already_On"));
    }

    void powerOffIsRefused()
    {
        // camsim prints a VISCA event after it has answered, so the page may
        // have its reply to the previous case before that event is read here:
        // count from the moment the inquiry to the camera already on is in.
        QVERIFY(QTest::qWaitFor([&] { return viscaEventsFor(cameras.at(1)) >= 1; }, 5000));
        const int viscaBefore = camsim->count(QStringLiteral("visca"));
        // A JSON number is no status text: it reads as 0, power off.
        const QJsonObject reply = nextReply(QStringLiteral("a"), setPower(cameras.at(0), 1), 5000);
        QCOMPARE(word(reply), QStringLiteral("Not_Support_Power_Off"));
        const QJsonObject reply0 = nextReply(QStringLiteral("a"), setPower(cameras.at(0), QStringLiteral("0")), 5000);
        QCOMPARE(word(reply0), QStringLiteral("Not_Support_Power_Off"));
        QTest::qWait(300);
        QCOMPARE(camsim->count(QStringLiteral("visca")), viscaBefore);
    }

    // A power-on whose address is no single camera's sends nothing: not to
    // another device of the search, not to this computer, not to a
    // broadcast address.
    void powerToAConflictingAddressSendsNothing()
    {
        camsim->clearEvents();
        const QJsonObject conflicts[] = {
            {{QStringLiteral("Ip"), cameras.at(1).ip}, {QStringLiteral("Mac"), cameras.at(0).mac}},
            {{QStringLiteral("Ip"), TestLan::programAddresses().first()}, {QStringLiteral("Mac"), cameras.at(0).mac}},
            {{QStringLiteral("Ip"), QStringLiteral("192.0.2.255")}, {QStringLiteral("Mac"), cameras.at(0).mac}},
        };
        for (QJsonObject params : conflicts) {
            params.insert(QStringLiteral("Status"), QStringLiteral("1"));
            // From the client that has sent no power-on yet: the earlier cases
            // used up "a"'s allowance of requests at once.
            const QJsonObject reply = nextReply(QStringLiteral("b"),
                                                command(QStringLiteral("Control"), QStringLiteral("SetPower"), params), 5000);
            QCOMPARE(word(reply), QStringLiteral("UdpScoket_Bind_Fail"));
        }
        QVERIFY(sandbox->waitForLog(QStringLiteral("Power on refused: 192.0.2.62 is held by another device of the search "
                                                   "(MAC 02:50:4d:00:06:02"), 2000));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Power on refused: 192.0.2.1 is an address of this computer."), 2000));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Power on refused: 192.0.2.255 is the broadcast address of 192.0.2.0/24"), 2000));
        // No inquiry went out, so no time-out can follow with Wake-on-LAN.
        QTest::qWait(1000);
        QCOMPARE(camsim->count(QStringLiteral("visca")), 0);
        QCOMPARE(camsim->count(QStringLiteral("wol")), 0);
    }

    // The page names cameras from the last list; any other address, or a
    // listed address with another MAC, gets no VISCA and no Wake-on-LAN.
    void powerOnlyForListedPairs()
    {
        node->open(QStringLiteral("c"), bridgeUrl);
        QVERIFY(node->waitReady(QStringLiteral("c")));
        const struct { Camera target; QString why; } cases[] = {
            // camsim's own address: it would log any VISCA datagram sent there.
            {{TestLan::cameraBaseAddresses().first(), cameras.at(0).mac, QString(), QString()}, QStringLiteral("not a camera")},
            {{cameras.at(0).ip, QStringLiteral("02:50:4d:00:06:99"), QString(), QString()}, QStringLiteral("other MAC")},
            {{QString(), cameras.at(0).mac, QString(), QString()}, QStringLiteral("no address")},
        };
        const int viscaBefore = camsim->count(QStringLiteral("visca"));
        const int wolBefore = camsim->count(QStringLiteral("wol"));
        for (const auto &c : cases) {
            const int textsBefore = node->texts(QStringLiteral("c")).size();
            node->send(QStringLiteral("c"), setPower(c.target, QStringLiteral("1")));
            QVERIFY2(node->waitFor([&] { return node->texts(QStringLiteral("c")).size() > textsBefore; }, 3000),
                     qPrintable(c.why));
            QCOMPARE(word(node->texts(QStringLiteral("c")).at(textsBefore)), QStringLiteral("UdpScoket_Bind_Fail"));
        }
        QTest::qWait(1000);
        QCOMPARE(camsim->count(QStringLiteral("visca")), viscaBefore);
        QCOMPARE(camsim->count(QStringLiteral("wol")), wolBefore);
        QVERIFY(sandbox->waitForLog(QStringLiteral("Power request refused: "), 2000));
    }

    void silentCameraGetsWakeOnLan()
    {
        const int textsBefore = node->texts(QStringLiteral("a")).size();
        camsim->clearEvents();
        node->send(QStringLiteral("a"), setPower(cameras.at(2), QStringLiteral("1")));
        // The page hears the VISCA time-out when Wake-on-LAN begins, and the
        // end of the sequence after its last pass.
        QVERIFY(node->waitFor([&] { return node->texts(QStringLiteral("a")).size() >= textsBefore + 2; }, 30000));
        const QList<QJsonObject> heard = node->texts(QStringLiteral("a")).mid(textsBefore);
        QCOMPARE(word(heard.at(0)), QStringLiteral("Visca_Control_Timeout"));
        QCOMPARE(word(heard.at(1)), QStringLiteral("WOL_Send_Completed"));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Send visca control timeout."), 2000));
        QVERIFY(QTest::qWaitFor([&] { return camsim->count(QStringLiteral("wol")) >= 15; }, 2000));
        const QList<QJsonObject> wol = camsim->events(QStringLiteral("wol"));
        QCOMPARE(wol.size(), 15);
        for (const QJsonObject &w : wol)
            QCOMPARE(w.value(QStringLiteral("mac")).toString(), cameras.at(2).mac);
        QTest::qWait(500);
        QCOMPARE(node->texts(QStringLiteral("a")).size(), textsBefore + 2);
    }

    void badFramesKeepTheConnection_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("warning");
        QTest::newRow("array") << "[1,2,3]" << "Received JSON message that is not an object:  \"[1,2,3]\"";
        QTest::newRow("not JSON") << "power on please"
                                  << "Failed to parse text message as JSON object: \"power on please\" Error is:";
    }

    void badFramesKeepTheConnection()
    {
        QFETCH(QString, frame);
        QFETCH(QString, warning);
        const int textsBefore = node->texts(QStringLiteral("a")).size();
        node->raw(QStringLiteral("a"), frame);
        QVERIFY(QTest::qWaitFor([&] { return sandbox->output().contains(warning); }, 5000));
        QVERIFY(node->ping(QStringLiteral("a")));
        QCOMPARE(node->texts(QStringLiteral("a")).size(), textsBefore);
        QVERIFY(node->events(QStringLiteral("closed"), QStringLiteral("a")).isEmpty());
        // And commands still work on it.
        const QJsonObject reply = nextReply(QStringLiteral("a"), command(QStringLiteral("Message"), QStringLiteral("Status")), 5000);
        QCOMPARE(word(reply), QStringLiteral("Visca_Bind_Success"));
    }

    void originIsCheckedAtTheHandshake()
    {
        node->open(QStringLiteral("foreign"), bridgeUrl, QStringLiteral("https://example.com"));
        QVERIFY(!node->waitReady(QStringLiteral("foreign")));
        QVERIFY(!node->events(QStringLiteral("refused"), QStringLiteral("foreign")).isEmpty()
                || !node->events(QStringLiteral("error"), QStringLiteral("foreign")).isEmpty());
        QVERIFY(QTest::qWaitFor([&] {
            return sandbox->output().contains(QLatin1String("Refused web socket connection from origin https://example.com"));
        }, 3000));
        node->open(QStringLiteral("local"), bridgeUrl, QStringLiteral("http://localhost:8080"));
        QVERIFY(node->waitReady(QStringLiteral("local")));
        node->open(QStringLiteral("filepage"), bridgeUrl, QStringLiteral("file://"));
        QVERIFY(node->waitReady(QStringLiteral("filepage")));
        node->open(QStringLiteral("sandboxed"), bridgeUrl, QStringLiteral("null"));
        QVERIFY(!node->waitReady(QStringLiteral("sandboxed")));
    }

    // Any local user can reach 127.0.0.1; only our own user's processes
    // get a handshake or a page. uid 4242 plays another user.
    void anotherUsersConnectionsAreRefused()
    {
        OTHERUSER_REQUIRE();
        OtherUser attacker(OtherUser::Attacker);
        const QByteArray bridge = attacker.exchange(15248, handshake());
        QVERIFY2(!bridge.contains(" 101 "), bridge.constData());
        const QByteArray page = attacker.exchange(15249, "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1:15249\r\n"
                                                         "Connection: close\r\n\r\n");
        QVERIFY2(!page.contains(" 200 ") && !page.contains("<html"), page.constData());
        QVERIFY(sandbox->waitForLog(QStringLiteral("Refused web socket connection from 127.0.0.1:"), 2000));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Web page request refused from 127.0.0.1:"), 2000));

        // The same handshake from our own user is upgraded.
        QTcpSocket own;
        own.connectToHost(QHostAddress::LocalHost, 15248);
        QVERIFY(own.waitForConnected(2000));
        own.write(handshake());
        QVERIFY(own.waitForReadyRead(3000));
        QVERIFY(own.readAll().startsWith("HTTP/1.1 101"));
    }

    void portsListenOnLoopbackOnly()
    {
        const QHostAddress lan(TestLan::programAddresses().first());
        QVERIFY(portListening(15248));
        QVERIFY(portListening(15249));
        QVERIFY(!portListening(15248, lan));
        QVERIFY(!portListening(15249, lan));
    }

    void viscaBindFailureIsReported()
    {
        // A new local address whose VISCA port someone else holds: once the
        // program knows the address (a page search refreshes the list), the
        // status check and a power-on request both fail to bind.
        const QString cidr = QStringLiteral("192.0.2.201/24");
        const QString iface = TestLan::programInterface(0);
        QString out;
        QVERIFY2(TestLan::runIp({QStringLiteral("addr"), QStringLiteral("add"), cidr, QStringLiteral("dev"), iface}, &out),
                 qPrintable(out));
        auto dropAddress = qScopeGuard([&] {
            TestLan::runIp({QStringLiteral("addr"), QStringLiteral("del"), cidr, QStringLiteral("dev"), iface});
        });
        QUdpSocket blocker;
        QVERIFY(blocker.bind(QHostAddress(QStringLiteral("192.0.2.201")), 52381, QAbstractSocket::DontShareAddress));
        const QJsonObject list = nextReply(QStringLiteral("a"), command(QStringLiteral("Control"), QStringLiteral("UpdateDeviceList")), 15000);
        QVERIFY(!list.isEmpty() && !list.contains(QStringLiteral("mismatch")));

        const QJsonObject status = nextReply(QStringLiteral("b"), command(QStringLiteral("Message"), QStringLiteral("Status")), 5000);
        QCOMPARE(status.value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Message"));
        QCOMPARE(status.value(QStringLiteral("payload")).toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("ErrorMsg"));
        QCOMPARE(word(status), QStringLiteral("UdpScoket_Bind_Fail"));
        QVERIFY(sandbox->waitForLog(QStringLiteral("bind udp fail port:52381"), 2000));

        // A refused power-on sends nothing to the camera.
        const int viscaBefore = camsim->count(QStringLiteral("visca"));
        const QJsonObject power = nextReply(QStringLiteral("a"), setPower(cameras.at(0), QStringLiteral("1")), 5000);
        QCOMPARE(word(power), QStringLiteral("UdpScoket_Bind_Fail"));
        QTest::qWait(300);
        QCOMPARE(camsim->count(QStringLiteral("visca")), viscaBefore);
    }

    void secondProgramStopsWhenThePortIsTaken()
    {
        // Another login session: its start notice lands on noticeHolder.
        PathmereSandbox other;
        QVERIFY(other.isValid());
        const QList<pid_t> before = other.processes();
        QCOMPARE(before.size(), 0);
        const int exitCode = other.run({QStringLiteral("-hide")}, 20000);
        QVERIFY2(other.output().contains(QLatin1String("Failed to open web socket server.")), qPrintable(other.output()));
        // qFatal ends it; the crash hook must not bring it back.
        QVERIFY(exitCode != 0);
        QTest::qWait(1000);
        QCOMPARE(other.processes().size(), 0);
        // The first program goes on serving.
        QCOMPARE(program->state(), QProcess::Running);
        QVERIFY(node->ping(QStringLiteral("b")));
    }

    // A client that sends requests without end gets a few at once and then
    // one every two seconds; the others go on being served.
    void networkRequestsAreLimitedPerClient()
    {
        node->open(QStringLiteral("loop"), bridgeUrl);
        QVERIFY(node->waitReady(QStringLiteral("loop")));
        camsim->clearEvents();
        const QString request = command(QStringLiteral("Control"), QStringLiteral("UpdateDeviceList"));
        for (int i = 0; i < 40; ++i)
            node->send(QStringLiteral("loop"), request);
        // Every search sends queries A and B once from the one adapter.
        QTest::qWait(1500);
        const int searches = camsim->count(QStringLiteral("query")) / 2;
        QVERIFY2(searches >= 1 && searches <= 5, qPrintable(QString::number(searches)));
        QVERIFY(sandbox->waitForLog(QStringLiteral("Web request refused: too many \"UpdateDeviceList\" from one client."), 5000));
        // One line a second for all of it, not one per refusal.
        QVERIFY(sandbox->logText().count(QStringLiteral("Web request refused: too many")) <= 2);

        // Another client is not held back by that one.
        const QJsonObject status = nextReply(QStringLiteral("b"), command(QStringLiteral("Message"), QStringLiteral("Status")), 5000);
        QVERIFY(!status.isEmpty());
        // The searches that were let through answer everybody; wait them out.
        QVERIFY(node->waitFor([&] {
            int lists = 0;
            for (const QJsonObject &t : node->texts(QStringLiteral("loop")))
                lists += t.value(QStringLiteral("payload")).toObject().value(QStringLiteral("name")).toString()
                        == QLatin1String("UpdateDeviceList");
            return lists >= searches;
        }, 10000));
    }
};

QTEST_GUILESS_MAIN(TestWebBridgeLan)
#include "tst_webbridgelan.moc"
