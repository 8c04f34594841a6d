// Which page messages the bridge limits per client, and the pace it lets
// them through at; and the page server's Host and path rules on their own.

#include "webpagerequest.h"
#include "webrequestlimiter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonObject invoke(const QString &text, const QString &object = QStringLiteral("core"), int type = 6)
{
    return QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("object"), object},
                       {QStringLiteral("method"), 5}, {QStringLiteral("args"), QJsonArray{text}},
                       {QStringLiteral("id"), 3}};
}

} // namespace

class TstWebRequestLimiter : public QObject
{
    Q_OBJECT

private slots:
    void limitedKinds();
    void burstThenPace();
    void kindsAndClientsApart();
    void hostRule();
    void pathRule_data();
    void pathRule();
};

void TstWebRequestLimiter::limitedKinds()
{
    using Kind = WebRequestLimiter::Kind;
    const QString list = QStringLiteral(R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}})");
    QCOMPARE(WebRequestLimiter::kindOf(invoke(list)), Kind::UpdateDeviceList);
    // Spaced and reordered, as the full parse reads it.
    QCOMPARE(WebRequestLimiter::kindOf(invoke(QStringLiteral(R"({ "payload": {"name": "CheckVersion"}, "cmd_type": "Control" })"))),
             Kind::CheckVersion);
    QCOMPARE(WebRequestLimiter::kindOf(invoke(QStringLiteral(
                 R"({"cmd_type":"Control","payload":{"name":"SetPower","params":{"Ip":"192.0.2.9","Mac":"x","Status":"1"}}})"))),
             Kind::SetPower);
    // What makes no network traffic, or is not a call on "core", is free.
    QCOMPARE(WebRequestLimiter::kindOf(invoke(QStringLiteral(R"({"cmd_type":"Message","payload":{"name":"Status"}})"))),
             Kind::None);
    QCOMPARE(WebRequestLimiter::kindOf(invoke(QStringLiteral(R"({"cmd_type":"control","payload":{"name":"UpdateDeviceList"}})"))),
             Kind::None);
    QCOMPARE(WebRequestLimiter::kindOf(invoke(list, QStringLiteral("other"))), Kind::None);
    QCOMPARE(WebRequestLimiter::kindOf(invoke(list, QStringLiteral("core"), 7)), Kind::None);
    QCOMPARE(WebRequestLimiter::kindOf(QJsonObject{{QStringLiteral("type"), 6}, {QStringLiteral("object"), QStringLiteral("core")}}),
             Kind::None);
}

void TstWebRequestLimiter::burstThenPace()
{
    using Kind = WebRequestLimiter::Kind;
    WebRequestLimiter limiter;
    for (int i = 0; i < WebRequestLimiter::Burst; ++i)
        QVERIFY(limiter.admit(Kind::UpdateDeviceList, 1000));
    QVERIFY(!limiter.admit(Kind::UpdateDeviceList, 1000));
    QVERIFY(!limiter.admit(Kind::UpdateDeviceList, 1000 + WebRequestLimiter::RefillMs - 1));
    QVERIFY(limiter.admit(Kind::UpdateDeviceList, 1000 + WebRequestLimiter::RefillMs));
    QVERIFY(!limiter.admit(Kind::UpdateDeviceList, 1000 + WebRequestLimiter::RefillMs));
    // A thousand requests over ten seconds: the burst and one per RefillMs.
    int admitted = 0;
    WebRequestLimiter flood;
    for (int i = 0; i < 1000; ++i)
        admitted += flood.admit(Kind::SetPower, qint64(i) * 10) ? 1 : 0;
    QCOMPARE(admitted, WebRequestLimiter::Burst + int(9990 / WebRequestLimiter::RefillMs));
    // After a long pause the bucket is full again, never fuller.
    int later = 0;
    for (int i = 0; i < 10; ++i)
        later += flood.admit(Kind::SetPower, 1000000) ? 1 : 0;
    QCOMPARE(later, WebRequestLimiter::Burst);
    // The clock going back admits nothing extra.
    QVERIFY(!flood.admit(Kind::SetPower, 5));
    QVERIFY(flood.admit(Kind::None, 0));
}

void TstWebRequestLimiter::kindsAndClientsApart()
{
    using Kind = WebRequestLimiter::Kind;
    WebRequestLimiter first;
    WebRequestLimiter second;
    for (int i = 0; i < WebRequestLimiter::Burst; ++i)
        QVERIFY(first.admit(Kind::CheckVersion, 0));
    QVERIFY(!first.admit(Kind::CheckVersion, 0));
    QVERIFY(first.admit(Kind::UpdateDeviceList, 0));
    QVERIFY(second.admit(Kind::CheckVersion, 0));
}

void TstWebRequestLimiter::hostRule()
{
    QVERIFY(WebPageRequest::isAllowedHost("127.0.0.1:15249", 15249));
    QVERIFY(WebPageRequest::isAllowedHost("localhost:15249", 15249));
    QVERIFY(WebPageRequest::isAllowedHost("LOCALHOST:15249", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost("127.0.0.1:15249", 15248));
    QVERIFY(!WebPageRequest::isAllowedHost("127.0.0.1:015249", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost("127.0.0.1:15249 ", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost(" 127.0.0.1:15249", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost("localhost.:15249", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost("rebind.example:15249", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost(std::string("127.0.0.1\0:15249", 16), 15249));
    QVERIFY(!WebPageRequest::isAllowedHost("", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost(":15249", 15249));
    QVERIFY(!WebPageRequest::isAllowedHost(std::string(300, 'a') + ":15249", 15249));
}

void TstWebRequestLimiter::pathRule_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QStringList>("file");
    const QStringList refused;
    QTest::newRow("root") << QByteArray("/") << QStringList{QStringLiteral("index.html")};
    QTest::newRow("page with query") << QByteArray("/index.html?port=15300") << QStringList{QStringLiteral("index.html")};
    QTest::newRow("sub folder") << QByteArray("/img/a-b_c.png") << QStringList{QStringLiteral("img"), QStringLiteral("a-b_c.png")};
    QTest::newRow("escaped letter") << QByteArray("/%69ndex.html") << QStringList{QStringLiteral("index.html")};
    QTest::newRow("folder index") << QByteArray("/img/") << QStringList{QStringLiteral("img"), QStringLiteral("index.html")};
    QTest::newRow("encoded NUL") << QByteArray("/index.html%00.js") << refused;
    QTest::newRow("raw NUL") << QByteArray("/index.html\0.js", 15) << refused;
    QTest::newRow("dot dot") << QByteArray("/../x") << refused;
    QTest::newRow("encoded dot dot") << QByteArray("/%2e%2e/x") << refused;
    QTest::newRow("encoded slash") << QByteArray("/img%2findex.html") << refused;
    QTest::newRow("double escape") << QByteArray("/%252e%252e/x") << refused;
    QTest::newRow("backslash") << QByteArray("/..\\x") << refused;
    QTest::newRow("hidden") << QByteArray("/.git") << refused;
    QTest::newRow("empty component") << QByteArray("//x") << refused;
    QTest::newRow("space") << QByteArray("/a%20b") << refused;
    QTest::newRow("UTF-8") << QByteArray("/%c3%a9") << refused;
    QTest::newRow("cut escape") << QByteArray("/a%2") << refused;
    QTest::newRow("bad escape") << QByteArray("/a%zz") << refused;
    QTest::newRow("absolute URL") << QByteArray("http://127.0.0.1:15249/index.html") << refused;
    QTest::newRow("too deep") << QByteArray("/a/b/c/d/e/f/g/h/i") << refused;
    QTest::newRow("too long") << QByteArray("/") + QByteArray(WebPageRequest::MaxTargetLength, 'a') << refused;
}

void TstWebRequestLimiter::pathRule()
{
    QFETCH(QByteArray, target);
    QFETCH(QStringList, file);
    std::vector<std::string> components;
    const bool served = WebPageRequest::fileComponents(target.toStdString(), &components);
    QCOMPARE(served, !file.isEmpty());
    QStringList got;
    for (const std::string &c : components)
        got << QString::fromStdString(c);
    QCOMPARE(got, file);
}

QTEST_GUILESS_MAIN(TstWebRequestLimiter)

#include "tst_webrequestlimiter.moc"
