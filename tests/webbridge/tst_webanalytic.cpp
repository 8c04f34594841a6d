// The page's JSON commands and the program's replies, without sockets: every
// row of the command table, the ways a command is dropped, and the exact
// texts of the four reply builders.
#include "jsonkeyguard.h"
#include "webanalytic.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

QJsonObject parsed(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return QJsonObject();
    return doc.object();
}

DeviceRecord device(int searchType, const QString &name, const QString &model, const QString &ip,
                    const QString &mac)
{
    DeviceRecord d;
    d.searchType = searchType;
    d.name = name;
    d.model = model;
    d.serialNo = QStringLiteral("SN-") + name;
    d.ip = ip;
    d.mac = mac;
    d.fwVersion = QStringLiteral("2.0.14");
    d.mask = QStringLiteral("255.255.255.0");   // not part of the reply
    return d;
}

} // namespace

class TestWebAnalytic : public QObject
{
    Q_OBJECT

private:
    struct Spies {
        explicit Spies(WebAnalytic *a)
            : text(a, &WebAnalytic::sendText)
            , update(a, &WebAnalytic::UpdateDeviceList)
            , power(a, &WebAnalytic::setDevicePowerStatus)
            , visca(a, &WebAnalytic::checkViscaStatus)
            , version(a, &WebAnalytic::checkVersion)
        {
        }
        int total() const { return text.count() + update.count() + power.count() + visca.count() + version.count(); }
        QSignalSpy text, update, power, visca, version;
    };

private slots:
    void signalsKeepTheirMetaObjectOrder()
    {
        // The page-facing order of the signals is part of the interface.
        const QMetaObject &mo = WebAnalytic::staticMetaObject;
        const int base = mo.methodOffset();
        QCOMPARE(mo.methodCount() - base, 5);
        QCOMPARE(mo.method(base + 0).methodSignature(), QByteArray("sendText(QString)"));
        QCOMPARE(mo.method(base + 1).methodSignature(), QByteArray("UpdateDeviceList()"));
        QCOMPARE(mo.method(base + 2).methodSignature(), QByteArray("setDevicePowerStatus(QString,QString,int)"));
        QCOMPARE(mo.method(base + 3).methodSignature(), QByteArray("checkViscaStatus()"));
        QCOMPARE(mo.method(base + 4).methodSignature(), QByteArray("checkVersion()"));
    }

    void commandsEmitTheirSignal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("UpdateDeviceList")
            << R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}})" << "update";
        QTest::newRow("UpdateDeviceList with params")
            << R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList","params":{"x":1}}})" << "update";
        QTest::newRow("CheckVersion")
            << R"({"cmd_type":"Control","payload":{"name":"CheckVersion","params":{}}})" << "version";
        QTest::newRow("Status")
            << R"({"cmd_type":"Message","payload":{"name":"Status"}})" << "visca";
        QTest::newRow("SetPower")
            << R"({"cmd_type":"Control","payload":{"name":"SetPower","params":{"Ip":"192.0.2.5","Mac":"02:00:00:00:00:05","Status":"1"}}})"
            << "power";
        QTest::newRow("spaced and pretty-printed")
            << "{\n  \"payload\" : { \"name\" : \"Status\" },\n  \"cmd_type\" : \"Message\"\n}" << "visca";
    }

    void commandsEmitTheirSignal()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        WebAnalytic analytic;
        Spies s(&analytic);
        analytic.parseWebCommand(text);
        QCOMPARE(s.update.count(), expected == QLatin1String("update") ? 1 : 0);
        QCOMPARE(s.version.count(), expected == QLatin1String("version") ? 1 : 0);
        QCOMPARE(s.visca.count(), expected == QLatin1String("visca") ? 1 : 0);
        QCOMPARE(s.power.count(), expected == QLatin1String("power") ? 1 : 0);
        // Parsing never answers by itself.
        QCOMPARE(s.text.count(), 0);
    }

    void setPowerStatusConversion_data()
    {
        QTest::addColumn<QString>("params");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<int>("status");
        QTest::newRow("string 1") << R"({"Ip":"192.0.2.9","Mac":"02:aa:bb:cc:dd:ee","Status":"1"})"
                                  << "192.0.2.9" << "02:aa:bb:cc:dd:ee" << 1;
        QTest::newRow("string 0") << R"({"Ip":"192.0.2.9","Mac":"m","Status":"0"})" << "192.0.2.9" << "m" << 0;
        QTest::newRow("string 12") << R"({"Ip":"a","Mac":"b","Status":"12"})" << "a" << "b" << 12;
        QTest::newRow("negative") << R"({"Ip":"a","Mac":"b","Status":"-3"})" << "a" << "b" << -3;
        QTest::newRow("JSON number") << R"({"Ip":"a","Mac":"b","Status":1})" << "a" << "b" << 0;
        QTest::newRow("JSON bool") << R"({"Ip":"a","Mac":"b","Status":true})" << "a" << "b" << 0;
        QTest::newRow("missing") << R"({"Ip":"a","Mac":"b"})" << "a" << "b" << 0;
        QTest::newRow("not a number") << R"({"Ip":"a","Mac":"b","Status":"on"})" << "a" << "b" << 0;
        QTest::newRow("hex is not decimal") << R"({"Ip":"a","Mac":"b","Status":"0x1"})" << "a" << "b" << 0;
        QTest::newRow("too large") << R"({"Ip":"a","Mac":"b","Status":"99999999999"})" << "a" << "b" << 0;
        QTest::newRow("no params") << QString() << "" << "" << 0;
        QTest::newRow("params an array") << R"(["192.0.2.9","m","1"])" << "" << "" << 0;
        QTest::newRow("numbers for addresses") << R"({"Ip":1,"Mac":2,"Status":"1"})" << "" << "" << 1;
    }

    void setPowerStatusConversion()
    {
        QFETCH(QString, params);
        QFETCH(QString, ip);
        QFETCH(QString, mac);
        QFETCH(int, status);
        QString text = QStringLiteral(R"({"cmd_type":"Control","payload":{"name":"SetPower")");
        if (!params.isEmpty())
            text += QStringLiteral(",\"params\":") + params;
        text += QStringLiteral("}}");
        WebAnalytic analytic;
        Spies s(&analytic);
        analytic.parseWebCommand(text);
        QCOMPARE(s.total(), 1);
        QCOMPARE(s.power.count(), 1);
        const QList<QVariant> args = s.power.first();
        QCOMPARE(args.at(0).toString(), ip);
        QCOMPARE(args.at(1).toString(), mac);
        QCOMPARE(args.at(2).toInt(), status);
    }

    void otherTextsAreDropped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("lower-case control")
            << R"({"cmd_type":"control","payload":{"name":"UpdateDeviceList"}})";
        QTest::newRow("lower-case message") << R"({"cmd_type":"message","payload":{"name":"Status"}})";
        QTest::newRow("lower-case name") << R"({"cmd_type":"Control","payload":{"name":"updatedevicelist"}})";
        QTest::newRow("Status as Control") << R"({"cmd_type":"Control","payload":{"name":"Status"}})";
        QTest::newRow("SetPower as Message")
            << R"({"cmd_type":"Message","payload":{"name":"SetPower","params":{"Status":"1"}}})";
        QTest::newRow("CheckVersion as Message") << R"({"cmd_type":"Message","payload":{"name":"CheckVersion"}})";
        QTest::newRow("unknown name") << R"({"cmd_type":"Control","payload":{"name":"Reboot"}})";
        QTest::newRow("unknown type") << R"({"cmd_type":"Query","payload":{"name":"Status"}})";
        QTest::newRow("no cmd_type") << R"({"payload":{"name":"Status"}})";
        QTest::newRow("cmd_type a number") << R"({"cmd_type":1,"payload":{"name":"Status"}})";
        QTest::newRow("no payload") << R"({"cmd_type":"Control"})";
        QTest::newRow("payload a string") << R"({"cmd_type":"Control","payload":"UpdateDeviceList"})";
        QTest::newRow("name at the top") << R"({"cmd_type":"Control","name":"UpdateDeviceList"})";
        QTest::newRow("array") << R"([{"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}}])";
        QTest::newRow("not JSON") << "UpdateDeviceList";
        QTest::newRow("truncated") << R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList")";
        QTest::newRow("empty") << "";
        QTest::newRow("zero before the command")
            << QString(QChar(0)) + R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}})";
    }

    void otherTextsAreDropped()
    {
        QFETCH(QString, text);
        WebAnalytic analytic;
        Spies s(&analytic);
        analytic.parseWebCommand(text);
        QCOMPARE(s.total(), 0);
    }

    void textEndsAtAZero()
    {
        WebAnalytic analytic;
        Spies s(&analytic);
        analytic.parseWebCommand(QStringLiteral(R"({"cmd_type":"Message","payload":{"name":"Status"}})")
                                 + QChar(0) + QStringLiteral("garbage that would break the JSON"));
        QCOMPARE(s.visca.count(), 1);
        QCOMPARE(s.total(), 1);
    }

    void nonAsciiAddressTextSurvives()
    {
        WebAnalytic analytic;
        Spies s(&analytic);
        analytic.parseWebCommand(QStringLiteral(
            R"({"cmd_type":"Control","payload":{"name":"SetPower","params":{"Ip":"kamera-ü","Mac":"m","Status":"1"}}})"));
        QCOMPARE(s.power.count(), 1);
        QCOMPARE(s.power.first().at(0).toString(), QStringLiteral("kamera-ü"));
    }

    void deviceListReply()
    {
        WebAnalytic analytic;
        QSignalSpy text(&analytic, &WebAnalytic::sendText);
        const QList<DeviceRecord> list = {
            device(0, QStringLiteral("Stage"), QStringLiteral("PX-40"), QStringLiteral("192.0.2.10"),
                   QStringLiteral("02:50:4d:00:00:10")),
            device(2, QStringLiteral("Box"), QStringLiteral("CB-2"), QStringLiteral("192.0.2.11"),
                   QStringLiteral("02:50:4d:00:00:11")),
            device(1, QStringLiteral("Doc \"A\""), QStringLiteral("DC-1"), QStringLiteral("198.51.100.7"),
                   QStringLiteral("02:50:4d:00:00:12")),
        };
        analytic.replyDeviceList(list);
        QCOMPARE(text.count(), 1);
        const QString sent = text.first().first().toString();
        QVERIFY2(!sent.contains(QLatin1Char('\n')) && !sent.contains(QLatin1String(": ")), qPrintable(sent));

        const QJsonObject root = parsed(sent);
        QCOMPARE(root.size(), 2);
        QCOMPARE(root.value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Control"));
        const QJsonObject payload = root.value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.size(), 3);
        QCOMPARE(payload.value(QStringLiteral("name")).toString(), QStringLiteral("UpdateDeviceList"));
        QCOMPARE(payload.value(QStringLiteral("result")).toString(), QStringLiteral("Success"));
        const QJsonArray params = payload.value(QStringLiteral("params")).toArray();
        QCOMPARE(params.size(), list.size());
        for (int i = 0; i < list.size(); ++i) {
            const QJsonObject entry = params.at(i).toObject();
            QCOMPARE(entry.size(), 7);
            // Every member is a string, the search type too.
            for (const QJsonValue &v : entry)
                QVERIFY(v.isString());
            QCOMPARE(entry.value(QStringLiteral("SearchType")).toString(), QString::number(list.at(i).searchType));
            QCOMPARE(entry.value(QStringLiteral("Name")).toString(), list.at(i).name);
            QCOMPARE(entry.value(QStringLiteral("Model")).toString(), list.at(i).model);
            QCOMPARE(entry.value(QStringLiteral("SerialNo")).toString(), list.at(i).serialNo);
            QCOMPARE(entry.value(QStringLiteral("ipAddress")).toString(), list.at(i).ip);
            QCOMPARE(entry.value(QStringLiteral("macAddress")).toString(), list.at(i).mac);
            QCOMPARE(entry.value(QStringLiteral("fwVersion")).toString(), list.at(i).fwVersion);
        }
    }

    void emptyDeviceListIsAnEmptyArray()
    {
        WebAnalytic analytic;
        QSignalSpy text(&analytic, &WebAnalytic::sendText);
        analytic.replyDeviceList({});
        QCOMPARE(text.count(), 1);
        // The whole compact text, as the page receives it (keys in JSON order).
        QCOMPARE(text.first().first().toString(),
                 QStringLiteral(R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList","params":[],"result":"Success"}})"));
    }

    void checkVersionReply_data()
    {
        QTest::addColumn<bool>("needUpdate");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("sentVersion");
        QTest::newRow("newer") << true << "1.1.999.0" << "Is_need_update" << "1.1.999.0";
        QTest::newRow("up to date") << false << "" << "Is_not_need_update" << "";
        QTest::newRow("up to date, version given") << false << "1.1.1010.0" << "Is_not_need_update" << "";
    }

    void checkVersionReply()
    {
        QFETCH(bool, needUpdate);
        QFETCH(QString, version);
        QFETCH(QString, status);
        QFETCH(QString, sentVersion);
        WebAnalytic analytic;
        QSignalSpy text(&analytic, &WebAnalytic::sendText);
        analytic.replyCheckVersion(needUpdate, version);
        QCOMPARE(text.count(), 1);
        const QJsonObject root = parsed(text.first().first().toString());
        QCOMPARE(root.value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Control"));
        const QJsonObject payload = root.value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.value(QStringLiteral("name")).toString(), QStringLiteral("CheckVersion"));
        QCOMPARE(payload.value(QStringLiteral("result")).toString(), QStringLiteral("Success"));
        const QJsonObject params = payload.value(QStringLiteral("params")).toObject();
        QCOMPARE(params.size(), 2);
        QCOMPARE(params.value(QStringLiteral("Status")).toString(), status);
        // Present as a string even when empty, never a missing key or null.
        QVERIFY(params.value(QStringLiteral("Version")).isString());
        QCOMPARE(params.value(QStringLiteral("Version")).toString(), sentVersion);
    }

    void errorAndStatusMessages_data()
    {
        QTest::addColumn<bool>("error");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("word");
        QTest::newRow("error 1") << true << 1 << "UdpScoket_Bind_Fail";
        QTest::newRow("error 2") << true << 2 << "Not_Support_Power_Off";
        QTest::newRow("error 3") << true << 3 << "WOL_Power_Already_On";
        QTest::newRow("error 6") << true << 6 << "Download_cfg_Fail";
        QTest::newRow("error 7") << true << 7 << "Download_zip_Fail";
        QTest::newRow("error with a status code") << true << 4 << "";
        QTest::newRow("error 5") << true << 5 << "";
        QTest::newRow("error 0") << true << 0 << "";
        QTest::newRow("error 8") << true << 8 << "";
        QTest::newRow("error -1") << true << -1 << "";
        QTest::newRow("status 4") << false << 4 << "Visca_Bind_Success";
        QTest::newRow("status 5") << false << 5 << "Visca_Send_Cmd_Completed";
        QTest::newRow("status 8") << false << 8 << "Visca_Control_Timeout";
        QTest::newRow("status 9") << false << 9 << "WOL_Send_Completed";
        QTest::newRow("error 9") << true << 9 << "";
        QTest::newRow("status with an error code") << false << 1 << "";
        QTest::newRow("status 3") << false << 3 << "";
        QTest::newRow("status 6") << false << 6 << "";
        QTest::newRow("status 0") << false << 0 << "";
        QTest::newRow("status 99") << false << 99 << "";
    }

    void errorAndStatusMessages()
    {
        QFETCH(bool, error);
        QFETCH(int, code);
        QFETCH(QString, word);
        WebAnalytic analytic;
        QSignalSpy text(&analytic, &WebAnalytic::sendText);
        if (error)
            analytic.sendErrorMessage(code);
        else
            analytic.sendStatusMessage(code);
        // Unknown codes are still sent, with empty params.
        QCOMPARE(text.count(), 1);
        const QJsonObject root = parsed(text.first().first().toString());
        QCOMPARE(root.value(QStringLiteral("cmd_type")).toString(), QStringLiteral("Message"));
        const QJsonObject payload = root.value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.value(QStringLiteral("name")).toString(), error ? QStringLiteral("ErrorMsg") : QStringLiteral("Status"));
        QCOMPARE(payload.value(QStringLiteral("result")).toString(), QStringLiteral("Success"));
        QVERIFY(payload.value(QStringLiteral("params")).isObject());
        const QJsonObject params = payload.value(QStringLiteral("params")).toObject();
        if (word.isEmpty()) {
            QVERIFY(params.isEmpty());
        } else {
            QCOMPARE(params.size(), 1);
            QCOMPARE(params.value(error ? QStringLiteral("Msg") : QStringLiteral("Status")).toString(), word);
        }
    }

    void errorMessageExactText()
    {
        WebAnalytic analytic;
        QSignalSpy text(&analytic, &WebAnalytic::sendText);
        analytic.sendErrorMessage(WebAnalytic::NotSupportPowerOff);
        analytic.sendStatusMessage(42);
        QCOMPARE(text.at(0).first().toString(),
                 QStringLiteral(R"({"cmd_type":"Message","payload":{"name":"ErrorMsg","params":{"Msg":"Not_Support_Power_Off"},"result":"Success"}})"));
        QCOMPARE(text.at(1).first().toString(),
                 QStringLiteral(R"({"cmd_type":"Message","payload":{"name":"Status","params":{},"result":"Success"}})"));
    }

    void powerOffRequestRoundTrip()
    {
        // A "Status" given as a JSON number means power off, which the main
        // window answers with code 2: the same two steps it takes.
        WebAnalytic analytic;
        QSignalSpy text(&analytic, &WebAnalytic::sendText);
        connect(&analytic, &WebAnalytic::setDevicePowerStatus, &analytic,
                [&analytic](const QString &, const QString &, int status) {
                    if (status == 0)
                        analytic.sendErrorMessage(WebAnalytic::NotSupportPowerOff);
                });
        analytic.parseWebCommand(QStringLiteral(
            R"({"cmd_type":"Control","payload":{"name":"SetPower","params":{"Ip":"192.0.2.9","Mac":"m","Status":1}}})"));
        QCOMPARE(text.count(), 1);
        const QJsonObject payload = parsed(text.first().first().toString()).value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.value(QStringLiteral("params")).toObject().value(QStringLiteral("Msg")).toString(),
                 QStringLiteral("Not_Support_Power_Off"));
    }

    // What is refused before Qt's parser sees it, and what must still pass.
    void keyGuard_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("verdict");
        const int ok = int(JsonKeyGuard::Verdict::Accepted);
        const int repeated = int(JsonKeyGuard::Verdict::RepeatedKey);
        const int deep = int(JsonKeyGuard::Verdict::TooDeep);
        QTest::newRow("command") << QByteArray(R"({"cmd_type":"Control","payload":{"name":"SetPower","params":{"Ip":"1","Mac":"2"}}})") << ok;
        QTest::newRow("repeated") << QByteArray(R"({"a":[1],"a":0})") << repeated;
        QTest::newRow("repeated, escaped") << QByteArray(R"({"a":{},"\u0061":0})") << repeated;
        QTest::newRow("repeated, nested") << QByteArray(R"({"p":{"x":1,"y":2,"x":3}})") << repeated;
        QTest::newRow("same key, two objects") << QByteArray(R"({"p":{"a":1},"q":{"a":1},"a":[{"a":1},{"a":2}]})") << ok;
        QTest::newRow("value equals a key") << QByteArray(R"({"a":"a","b":"a"})") << ok;
        QTest::newRow("braces and quotes in strings") << QByteArray(R"({"a":"}{\"a\":1","b":"\\"})") << ok;
        QTest::newRow("32 levels") << QByteArray(32, '[') + QByteArray(32, ']') << ok;
        QTest::newRow("33 levels") << QByteArray(33, '[') + QByteArray(33, ']') << deep;
        QTest::newRow("malformed") << QByteArray(R"({"a":"\u00)") << ok;
    }

    void keyGuard()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, verdict);
        QCOMPARE(int(JsonKeyGuard::check(text)), verdict);
        // A refused command raises no signal.
        if (verdict != int(JsonKeyGuard::Verdict::Accepted)) {
            WebAnalytic analytic;
            QSignalSpy updates(&analytic, &WebAnalytic::UpdateDeviceList);
            analytic.parseWebCommand(QStringLiteral(R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"},"payload":{}})"));
            QCOMPARE(updates.count(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestWebAnalytic)
#include "tst_webanalytic.moc"
