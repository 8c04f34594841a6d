// The web bridge's own JSON text: the writer must give Qt's compact text
// character for character, for the channel's messages and the page's
// replies alike; the fixed page commands must mean what the full parse
// makes of them; the key guard's faster scan must keep its verdicts.
#include "jsonkeyguard.h"
#include "jsontextwriter.h"
#include "webanalytic.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

QString qtText(const QJsonObject &o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

QString units(std::initializer_list<ushort> list)
{
    QString s;
    for (ushort u : list)
        s += QChar(u);
    return s;
}

// A value of any shape, strings drawn from the characters that need care.
QJsonValue randomValue(QRandomGenerator &random, int depth)
{
    static const ushort alphabet[] = {'a', 'Z', 0x22, 0x5c, '/', 0x01, 0x1f, 0x7f, 0xe9, 0x20ac,
                                      0xd83d, 0xde00, 0xdc00, 0xd800, '\n', '\t'};
    switch (random.bounded(depth > 3 ? 5 : 7)) {
    case 0: return QJsonValue();
    case 1: return random.bounded(2) == 1;
    case 2: return double(qint64(random.generate64()) >> random.bounded(64));
    case 3: return random.generateDouble() * std::pow(10.0, random.bounded(-8, 30));
    case 4: {
        QString s;
        for (int i = random.bounded(12); i > 0; --i)
            s += QChar(alphabet[random.bounded(int(sizeof alphabet / sizeof *alphabet))]);
        return s;
    }
    case 5: {
        QJsonArray a;
        for (int i = random.bounded(4); i > 0; --i)
            a.append(randomValue(random, depth + 1));
        return a;
    }
    default: {
        QJsonObject o;
        for (int i = random.bounded(4); i > 0; --i)
            o.insert(randomValue(random, 4).toVariant().toString() + QString::number(i), randomValue(random, depth + 1));
        return o;
    }
    }
}

} // namespace

class TestWebMessageText : public QObject
{
    Q_OBJECT

private slots:
    void writerGivesQtsText_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("signal") << QJsonValue(QJsonObject{{"type", 1}, {"object", "core"}, {"signal", 5},
                                                          {"args", QJsonArray{R"({"a":"b"})"}}});
        QTest::newRow("response") << QJsonValue(QJsonObject{{"type", 10}, {"id", 11}, {"data", QJsonValue()}});
        QTest::newRow("empty containers") << QJsonValue(QJsonArray{QJsonObject(), QJsonArray(), true, false});
        QTest::newRow("undefined in an array") << QJsonValue(QJsonArray{QJsonValue(QJsonValue::Undefined), 1});
        QTest::newRow("control characters") << QJsonValue(units({0, 1, 8, 9, 10, 12, 13, 0x1b, 0x1f, 0x20}));
        QTest::newRow("quote, backslash, slash, DEL") << QJsonValue(QStringLiteral("\"\\/\x7f"));
        QTest::newRow("beyond ASCII") << QJsonValue(units({0xe9, 0x20ac, 0xffff, 0xd83d, 0xde00}));
        QTest::newRow("lone surrogates") << QJsonValue(units({0xd800, 'x', 0xdc00, 0xdbff}));
        QTest::newRow("pair reversed") << QJsonValue(units({0xde00, 0xd83d}));
        QTest::newRow("escaped key") << QJsonValue(QJsonObject{{units({'k', 0xd800, '"'}), 1}});
        const double big = double(JsonTextWriter::MaxExactInteger);
        QTest::newRow("whole numbers") << QJsonValue(QJsonArray{0, -0.0, 1, -1, 10, 100, 1e6, 1e15, big, -big,
                                                                  qint64(1) << 40, -2147483648.0});
        QTest::newRow("beyond exact") << QJsonValue(QJsonArray{big + 2, qint64(JsonTextWriter::MaxExactInteger) + 1,
                                                                 qint64(1) << 60, 1e300, -1e22});
        QTest::newRow("fractions") << QJsonValue(QJsonArray{0.1, 1.5, -2.5e-7, 1.0 / 3, 5e-324});
        QTest::newRow("not finite") << QJsonValue(QJsonArray{std::numeric_limits<double>::infinity(),
                                                             std::numeric_limits<double>::quiet_NaN()});
        // Numbers as a hostile page may send them, back in the response.
        QTest::newRow("parsed numbers") << QJsonValue(QJsonDocument::fromJson(
            "[1.0, 1e2, -0, 9007199254740993, 12345678901234567890, 1.5e-3, 0.30000000000000004]").array());
    }

    void writerGivesQtsText()
    {
        QFETCH(QJsonValue, value);
        const QJsonObject object{{"v", value}};
        QCOMPARE(JsonTextWriter::compact(object), qtText(object));
    }

    void writerGivesQtsTextForRandomValues()
    {
        QRandomGenerator random(20261208);
        for (int i = 0; i < 2000; ++i) {
            const QJsonObject object{{"v", randomValue(random, 0)}};
            QCOMPARE(JsonTextWriter::compact(object), qtText(object));
        }
    }

    void repliesKeepTheirText_data()
    {
        QTest::addColumn<QJsonValue>("params");
        QTest::newRow("status") << QJsonValue(QJsonObject{{"Status", "Visca_Bind_Success"}});
        QTest::newRow("no word") << QJsonValue(QJsonObject());
        QTest::newRow("device list") << QJsonValue(QJsonArray{QJsonObject{{"Name", "cam \"1\""}, {"ipAddress", "192.0.2.1"}}});
        QTest::newRow("null") << QJsonValue();
        QTest::newRow("undefined") << QJsonValue(QJsonValue::Undefined);
    }

    void repliesKeepTheirText()
    {
        QFETCH(QJsonValue, params);
        const QString name = QStringLiteral("Na\"me\\");
        const QJsonObject payload{{"name", name}, {"result", "Success"}, {"params", params}};
        QCOMPARE(WebAnalytic::messageText(QStringLiteral("Message"), name, params),
                 qtText(QJsonObject{{"cmd_type", "Message"}, {"payload", payload}}));
    }

    void fixedCommandsMeanWhatTheParseMakesOfThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("signalIndex");   // 0 Status, 1 UpdateDeviceList, 2 CheckVersion
        QTest::newRow("Status") << R"({"cmd_type":"Message","payload":{"name":"Status"}})" << 0;
        QTest::newRow("UpdateDeviceList") << R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}})" << 1;
        QTest::newRow("CheckVersion") << R"({"cmd_type":"Control","payload":{"name":"CheckVersion"}})" << 2;
    }

    void fixedCommandsMeanWhatTheParseMakesOfThem()
    {
        QFETCH(QString, text);
        QFETCH(int, signalIndex);
        WebAnalytic analytic;
        QSignalSpy status(&analytic, &WebAnalytic::checkViscaStatus);
        QSignalSpy update(&analytic, &WebAnalytic::UpdateDeviceList);
        QSignalSpy version(&analytic, &WebAnalytic::checkVersion);
        const QList<QSignalSpy *> spies{&status, &update, &version};
        // As sent, then in forms only the full parse reads: spaced, and cut
        // short by a zero.
        const QStringList forms{text, QLatin1Char(' ') + text, text + QChar(0) + QStringLiteral("junk")};
        for (const QString &form : forms)
            analytic.parseWebCommand(form);
        for (int i = 0; i < spies.size(); ++i)
            QCOMPARE(spies.at(i)->count(), i == signalIndex ? forms.size() : 0);
        // Near misses stay dropped.
        analytic.parseWebCommand(text.toLower());
        analytic.parseWebCommand(text.left(text.size() - 1));
        analytic.parseWebCommand(QString(text).replace(QLatin1String(R"("name")"), QLatin1String(R"("name","name")")));
        for (int i = 0; i < spies.size(); ++i)
            QCOMPARE(spies.at(i)->count(), i == signalIndex ? forms.size() : 0);
    }

    void keyGuardScansAndHashesAlike_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("repeated");
        QByteArray many = "{";
        for (int i = 0; i < 40; ++i)
            many += "\"k" + QByteArray::number(i) + "\":" + QByteArray::number(i) + ",";
        QTest::newRow("40 keys") << many + R"("x":0})" << false;
        QTest::newRow("40 keys, first again at the end") << many + R"("k0":0})" << true;
        QTest::newRow("40 keys, escaped again at the end") << many + R"("\u006b39":0})" << true;
        QTest::newRow("non-ASCII and its escape") << QByteArray(R"({"é":1,"\u00e9":2})") << true;
        QTest::newRow("non-ASCII keys that differ") << QByteArray(R"({"é":1,"è":2})") << false;
        QTest::newRow("escaped quote in a key") << QByteArray("{\"a\\\"b\":1,\"a\\u0022b\":2}") << true;
        QTest::newRow("backslash at the end") << QByteArray("{\"a\":1,\"\\") << false;
    }

    void keyGuardScansAndHashesAlike()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, repeated);
        QCOMPARE(JsonKeyGuard::check(text) == JsonKeyGuard::Verdict::RepeatedKey, repeated);
    }
};

QTEST_GUILESS_MAIN(TestWebMessageText)
#include "tst_webmessagetext.moc"
