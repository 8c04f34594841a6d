// WS-Discovery messages without sockets: the Probe the search sends, the
// answers and announcements a camera sends (as camsim writes them and as
// other devices write them), the retransmission delays, and what a hostile
// peer cannot make the parser do.
#include "soapdocument.h"
#include "wsdiscoveryprotocol.h"

#include <QtTest>

namespace {

// A ProbeMatches as a camera of another maker might write it: other
// prefixes, SOAP 1.2, two matches, one of them without a uuid endpoint.
const char ForeignMatches[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
    "xmlns:wsdd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
    "xmlns:tdn=\"http://www.onvif.org/ver10/network/wsdl\">"
    "<SOAP-ENV:Header><wsa:MessageID>uuid:11111111-2222-4333-8444-555555555555</wsa:MessageID>"
    "<wsa:RelatesTo>uuid:aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee</wsa:RelatesTo>"
    "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action></SOAP-ENV:Header>"
    "<SOAP-ENV:Body><wsdd:ProbeMatches>"
    "<wsdd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:0B1D0000-0000-4000-8000-0000000000AA</wsa:Address>"
    "</wsa:EndpointReference><wsdd:Types>tdn:NetworkVideoTransmitter</wsdd:Types>"
    "<wsdd:Scopes> onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/Lobby%20Cam%0A "
    "onvif://www.onvif.org/hardware/DX-9 onvif://www.onvif.org/location/country/nowhere "
    "onvif://www.onvif.org/location/floor%202</wsdd:Scopes>"
    "<wsdd:XAddrs>http://192.0.2.77/onvif/device_service http://[2001:db8::7]/onvif/device_service</wsdd:XAddrs>"
    "<wsdd:MetadataVersion>7</wsdd:MetadataVersion></wsdd:ProbeMatch>"
    "<wsdd:ProbeMatch><wsa:EndpointReference><wsa:Address>http://not-a-uuid/</wsa:Address></wsa:EndpointReference>"
    "</wsdd:ProbeMatch>"
    "</wsdd:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";

WsDiscoveryProtocol::Target cameraTarget()
{
    WsDiscoveryProtocol::Target target;
    target.endpoint = QStringLiteral("urn:uuid:0b1d0000-0000-4000-8000-000000000001");
    target.types = QStringList{WsDiscoveryProtocol::NetworkVideoTransmitterType, WsDiscoveryProtocol::DeviceType};
    target.scopes = QStringList{WsDiscoveryProtocol::scope(QStringLiteral("name"), QStringLiteral("Gate <East> & 7")),
                                WsDiscoveryProtocol::scope(QStringLiteral("hardware"), QStringLiteral("NVT-100"))};
    target.xaddrs = QStringList{QStringLiteral("http://192.0.2.30:80/onvif/device_service")};
    target.metadataVersion = 3;
    return target;
}

} // namespace

class TestWsDiscoveryProtocol : public QObject
{
    Q_OBJECT

private slots:
    void probeAsksForBothTypes()
    {
        const QString id = WsDiscoveryProtocol::newMessageId();
        QVERIFY(id.startsWith(QLatin1String("uuid:")));
        QVERIFY(id != WsDiscoveryProtocol::newMessageId());
        const QByteArray probe = WsDiscoveryProtocol::probe(id);
        QVERIFY(probe.size() < 1500);   // one unfragmented datagram
        const WsDiscoveryProtocol::Message message = WsDiscoveryProtocol::parse(probe);
        QCOMPARE(message.kind, WsDiscoveryProtocol::Message::Probe);
        QCOMPARE(message.messageId, id);
        QCOMPARE(message.probeTypes, (QStringList{WsDiscoveryProtocol::NetworkVideoTransmitterType,
                                                  WsDiscoveryProtocol::DeviceType}));
        QVERIFY(probe.contains("http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"));
        QVERIFY(probe.contains("urn:schemas-xmlsoap-org:ws:2005:04:discovery"));
    }

    void matchingIsStrict()
    {
        const QStringList both{WsDiscoveryProtocol::NetworkVideoTransmitterType, WsDiscoveryProtocol::DeviceType};
        QVERIFY(WsDiscoveryProtocol::matches(both, both));
        QVERIFY(WsDiscoveryProtocol::matches({}, both));
        QVERIFY(WsDiscoveryProtocol::matches({WsDiscoveryProtocol::DeviceType}, both));
        QVERIFY(!WsDiscoveryProtocol::matches(both, {WsDiscoveryProtocol::DeviceType}));
    }

    void cameraMessagesReadBack()
    {
        const WsDiscoveryProtocol::Target target = cameraTarget();
        const QString relatesTo = WsDiscoveryProtocol::newMessageId();
        const WsDiscoveryProtocol::Message matches = WsDiscoveryProtocol::parse(
            WsDiscoveryProtocol::probeMatches(WsDiscoveryProtocol::newMessageId(), relatesTo, target));
        QCOMPARE(matches.kind, WsDiscoveryProtocol::Message::ProbeMatches);
        QCOMPARE(matches.relatesTo, relatesTo);
        QCOMPARE(matches.targets.size(), 1);
        const WsDiscoveryProtocol::Target &read = matches.targets.first();
        QCOMPARE(read.endpoint, target.endpoint);
        QCOMPARE(read.types, target.types);
        QCOMPARE(read.scopes, target.scopes);
        QCOMPARE(read.xaddrs, target.xaddrs);
        QCOMPARE(read.metadataVersion, 3u);
        QCOMPARE(read.name, QStringLiteral("Gate <East> & 7"));
        QCOMPARE(read.hardware, QStringLiteral("NVT-100"));

        const WsDiscoveryProtocol::Message hello =
            WsDiscoveryProtocol::parse(WsDiscoveryProtocol::hello(WsDiscoveryProtocol::newMessageId(), target));
        QCOMPARE(hello.kind, WsDiscoveryProtocol::Message::Hello);
        QCOMPARE(hello.targets.first().xaddrs, target.xaddrs);
        const WsDiscoveryProtocol::Message bye =
            WsDiscoveryProtocol::parse(WsDiscoveryProtocol::bye(WsDiscoveryProtocol::newMessageId(), target.endpoint));
        QCOMPARE(bye.kind, WsDiscoveryProtocol::Message::Bye);
        QCOMPARE(bye.targets.first().endpoint, target.endpoint);
    }

    void anotherMakersMatchesAreRead()
    {
        const WsDiscoveryProtocol::Message message = WsDiscoveryProtocol::parse(QByteArray(ForeignMatches));
        QCOMPARE(message.kind, WsDiscoveryProtocol::Message::ProbeMatches);
        QCOMPARE(message.relatesTo, QStringLiteral("uuid:aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee"));
        // The match without a uuid endpoint is left out.
        QCOMPARE(message.targets.size(), 1);
        const WsDiscoveryProtocol::Target &target = message.targets.first();
        QCOMPARE(target.endpoint, QStringLiteral("urn:uuid:0b1d0000-0000-4000-8000-0000000000aa"));
        QCOMPARE(target.types, QStringList{WsDiscoveryProtocol::NetworkVideoTransmitterType});
        QCOMPARE(target.scopes.size(), 5);
        // Decoded, the line feed made harmless, trailing blanks gone.
        QCOMPARE(target.name, QStringLiteral("Lobby Cam?"));
        QCOMPARE(target.hardware, QStringLiteral("DX-9"));
        QCOMPARE(target.location, QStringLiteral("country/nowhere, floor 2"));
        QCOMPARE(target.metadataVersion, 7u);
    }

    void xaddrsOnlyOfTheAnsweringHost()
    {
        const QStringList xaddrs{QStringLiteral("http://192.0.2.78/onvif/device_service"),
                                 QStringLiteral("ftp://192.0.2.77/onvif/device_service"),
                                 QStringLiteral("http://user:pw@192.0.2.77/onvif/device_service"),
                                 QStringLiteral("http://camera.example/onvif/device_service"),
                                 QStringLiteral("http://[2001:db8::7]/onvif/device_service"),
                                 QStringLiteral("https://192.0.2.77:8443/onvif/device_service"),
                                 QStringLiteral("http://192.0.2.77/onvif/device_service")};
        const QHostAddress sender(QStringLiteral("192.0.2.77"));
        QCOMPARE(WsDiscoveryProtocol::usableXAddrs(xaddrs, sender),
                 (QStringList{QStringLiteral("https://192.0.2.77:8443/onvif/device_service"),
                              QStringLiteral("http://192.0.2.77/onvif/device_service")}));
        QVERIFY(WsDiscoveryProtocol::usableXAddrs(xaddrs, QHostAddress(QStringLiteral("2001:db8::7"))).isEmpty());
    }

    void endpointsAreUuids()
    {
        QCOMPARE(WsDiscoveryProtocol::normalizedEndpoint(QStringLiteral(" uuid:0B1D0000-0000-4000-8000-0000000000AA ")),
                 QStringLiteral("urn:uuid:0b1d0000-0000-4000-8000-0000000000aa"));
        QVERIFY(WsDiscoveryProtocol::normalizedEndpoint(QStringLiteral("urn:uuid:{0b1d0000-0000-4000-8000-0000000000aa}"))
                    .isEmpty());
        QVERIFY(WsDiscoveryProtocol::normalizedEndpoint(QStringLiteral("urn:uuid:zz")).isEmpty());
        QVERIFY(WsDiscoveryProtocol::normalizedEndpoint(QStringLiteral("http://192.0.2.1/")).isEmpty());
    }

    void retransmissionDelaysDoubleUpToTheCap()
    {
        const auto lowest = [](int lo, int) { return lo; };
        const auto highest = [](int, int hi) { return hi; };
        QCOMPARE(WsDiscoveryProtocol::repeatDelays(4, lowest), (QVector<int>{50, 100, 200, 400}));
        QCOMPARE(WsDiscoveryProtocol::repeatDelays(3, highest), (QVector<int>{250, 500, 500}));
        // A random source out of range is held to the rule's range.
        QCOMPARE(WsDiscoveryProtocol::repeatDelays(1, [](int, int) { return 10000; }), QVector<int>{250});
        QVERIFY(WsDiscoveryProtocol::repeatDelays(0, lowest).isEmpty());
    }

    void hostileDatagramsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("why");
        const QByteArray valid = WsDiscoveryProtocol::hello(WsDiscoveryProtocol::newMessageId(), cameraTarget());
        QTest::newRow("empty") << QByteArray() << QStringLiteral("empty");
        QTest::newRow("not xml") << QByteArray("HTTP/1.1 200 OK\r\n\r\n") << QStringLiteral("not well-formed XML");
        QTest::newRow("truncated") << valid.left(valid.size() / 2) << QStringLiteral("not well-formed XML");
        QTest::newRow("entity bomb")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                          "<e>&b;</e>")
            << QStringLiteral("a document type declaration or entity");
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><e>&x;</e>")
            << QStringLiteral("a document type declaration or entity");
        QTest::newRow("too large") << QByteArray(WsDiscoveryProtocol::MaxDatagramSize + 1, ' ')
                                   << QStringLiteral("too large");
        QByteArray deep;
        for (int i = 0; i < 100; ++i)
            deep += "<a>";
        QTest::newRow("too deep") << deep << QStringLiteral("nested too deep");
        QTest::newRow("no target") << QByteArray(ForeignMatches).replace("0B1D0000-0000-4000-8000-0000000000AA", "x")
                                   << QStringLiteral("no target with a uuid endpoint address");
    }

    void hostileDatagramsAreRefused()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, why);
        const WsDiscoveryProtocol::Message message = WsDiscoveryProtocol::parse(datagram);
        QCOMPARE(message.kind, WsDiscoveryProtocol::Message::Refused);
        QCOMPARE(message.refusal, why);
        QVERIFY(message.targets.isEmpty());
    }

    void listsAndMatchesAreCapped()
    {
        WsDiscoveryProtocol::Target target = cameraTarget();
        for (int i = 0; i < 200; ++i)
            target.scopes.append(QStringLiteral("onvif://www.onvif.org/extra/%1").arg(i));
        target.xaddrs.append(QStringLiteral("http://192.0.2.30/") + QString(WsDiscoveryProtocol::MaxUriChars, 'x'));
        const WsDiscoveryProtocol::Message message =
            WsDiscoveryProtocol::parse(WsDiscoveryProtocol::hello(WsDiscoveryProtocol::newMessageId(), target));
        QCOMPARE(message.kind, WsDiscoveryProtocol::Message::Hello);
        QCOMPARE(message.targets.first().scopes.size(), WsDiscoveryProtocol::MaxListItems);
        QCOMPARE(message.targets.first().xaddrs, cameraTarget().xaddrs);

        QByteArray many = QByteArray(ForeignMatches);
        const int from = many.indexOf("<wsdd:ProbeMatch>");
        const int to = many.indexOf("</wsdd:ProbeMatch>") + int(qstrlen("</wsdd:ProbeMatch>"));
        const QByteArray one = many.mid(from, to - from);
        for (int i = 0; i < 40; ++i)
            many.insert(from, one);
        QCOMPARE(WsDiscoveryProtocol::parse(many).targets.size(), WsDiscoveryProtocol::MaxMatches);
    }

    void otherSoapIsNotRefused()
    {
        const QByteArray resolve = QByteArray(ForeignMatches).replace("wsdd:ProbeMatches", "wsdd:ResolveMatches");
        QCOMPARE(WsDiscoveryProtocol::parse(resolve).kind, WsDiscoveryProtocol::Message::Other);
    }
};

QTEST_GUILESS_MAIN(TestWsDiscoveryProtocol)
#include "tst_wsdiscoveryprotocol.moc"
