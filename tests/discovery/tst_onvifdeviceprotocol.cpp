// The ONVIF device calls without sockets: the UsernameToken digest against a
// published vector and its check against the camera's clock, every request
// as camsim reads it back, every answer as the program reads it (also as
// another maker writes it), faults, and the limits of the reader.
#include "onvifdeviceprotocol.h"
#include "onvifsoap.h"

#include <QtTest>

namespace {

using Call = OnvifDeviceProtocol::Call;

OnvifSoap::Token token()
{
    return OnvifSoap::makeToken({QStringLiteral("admin"), QStringLiteral("secret")},
                                QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC), QByteArray(16, '\x5a'));
}

// Another maker's answer, SOAP 1.2 with prefixes of its own.
QByteArray foreign(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:dev=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:sch=\"http://www.onvif.org/ver10/schema\">"
           "<env:Body>" + body + "</env:Body></env:Envelope>";
}

} // namespace

class TestOnvifDeviceProtocol : public QObject
{
    Q_OBJECT

private slots:
    void digestOfThePublishedExample()
    {
        // Nonce, Created and password of the usual published example; the
        // digest was computed apart with openssl sha1 | base64.
        const QByteArray nonce = QByteArray::fromBase64("LKqI6G/AikKCQrN0zqZFlg==");
        QCOMPARE(OnvifSoap::passwordDigest(nonce, QStringLiteral("2010-09-16T07:50:45Z"), QStringLiteral("userpassword")),
                 QStringLiteral("tuOSpGlFlIXsozq4HFNeeGeFLEI="));
    }

    void tokenMadeAtTheCameraTime()
    {
        const OnvifSoap::Credentials credentials{QStringLiteral("admin"), QStringLiteral("secret")};
        const QDateTime cameraTime(QDate(2024, 3, 1), QTime(17, 0, 0), Qt::UTC);
        const OnvifSoap::Token token = OnvifSoap::makeToken(credentials, cameraTime, OnvifSoap::randomNonce());
        QCOMPARE(token.created, QStringLiteral("2024-03-01T17:00:00Z"));
        QCOMPARE(token.nonce.size(), OnvifSoap::NonceBytes);
        QVERIFY(OnvifSoap::verifyToken(token, credentials, cameraTime.addSecs(299), 300));
        // Five hours off: what a token made with the computer's clock meets.
        QVERIFY(!OnvifSoap::verifyToken(token, credentials, cameraTime.addSecs(5 * 3600), 300));
        QVERIFY(!OnvifSoap::verifyToken(token, {credentials.user, QStringLiteral("other")}, cameraTime, 300));
        QVERIFY(!OnvifSoap::verifyToken(token, {QStringLiteral("guest"), credentials.password}, cameraTime, 300));
        OnvifSoap::Token tampered = token;
        tampered.created = QStringLiteral("2024-03-01T17:00:01Z");
        QVERIFY(!OnvifSoap::verifyToken(tampered, credentials, cameraTime, 300));
    }

    void requestsReadBackOnTheCameraSide()
    {
        const OnvifSoap::Token sent = token();
        const OnvifDeviceProtocol::Request clock =
            OnvifDeviceProtocol::parseRequest(OnvifDeviceProtocol::request(Call::GetSystemDateAndTime, &sent));
        QCOMPARE(clock.call, Call::GetSystemDateAndTime);
        QVERIFY(!clock.hasToken);   // the clock is read before any login

        for (const Call call : {Call::GetDeviceInformation, Call::GetNetworkInterfaces, Call::GetNetworkDefaultGateway,
                                Call::GetDNS, Call::SystemReboot}) {
            const OnvifDeviceProtocol::Request request =
                OnvifDeviceProtocol::parseRequest(OnvifDeviceProtocol::request(call, &sent));
            QCOMPARE(request.call, call);
            QVERIFY(request.hasToken);
            QCOMPARE(request.token.user, sent.user);
            QCOMPARE(request.token.digest, sent.digest);
            QCOMPARE(request.token.nonce, sent.nonce);
            QCOMPARE(request.token.created, sent.created);
        }

        OnvifDeviceProtocol::Ipv4Setting fixed;
        fixed.address = QStringLiteral("192.0.2.50");
        fixed.prefixLength = 25;
        OnvifDeviceProtocol::Request request =
            OnvifDeviceProtocol::parseRequest(OnvifDeviceProtocol::setNetworkInterfaces(sent, QStringLiteral("eth0"), fixed));
        QCOMPARE(request.call, Call::SetNetworkInterfaces);
        QCOMPARE(request.interfaceToken, QStringLiteral("eth0"));
        QVERIFY(request.ipv4Given && !request.ipv4.dhcp);
        QCOMPARE(request.ipv4.address, fixed.address);
        QCOMPARE(request.ipv4.prefixLength, 25);
        OnvifDeviceProtocol::Ipv4Setting dhcp;
        dhcp.dhcp = true;
        request = OnvifDeviceProtocol::parseRequest(OnvifDeviceProtocol::setNetworkInterfaces(sent, QStringLiteral("eth0"), dhcp));
        QVERIFY(request.ipv4.dhcp && request.ipv4.address.isEmpty());

        request = OnvifDeviceProtocol::parseRequest(OnvifDeviceProtocol::setNetworkDefaultGateway(sent, QStringLiteral("192.0.2.1")));
        QCOMPARE(request.gateways, QStringList{QStringLiteral("192.0.2.1")});
        request = OnvifDeviceProtocol::parseRequest(
            OnvifDeviceProtocol::setDns(sent, false, {QStringLiteral("192.0.2.53"), QStringLiteral("192.0.2.54")}));
        QVERIFY(!request.dnsFromDhcp);
        QCOMPARE(request.dnsServers, (QStringList{QStringLiteral("192.0.2.53"), QStringLiteral("192.0.2.54")}));
    }

    void answersReadBackOnTheProgramSide()
    {
        const QDateTime utc(QDate(2031, 12, 31), QTime(23, 59, 58), Qt::UTC);
        const auto time = OnvifDeviceProtocol::parseSystemDateAndTime(OnvifDeviceProtocol::systemDateAndTimeAnswer(utc));
        QCOMPARE(time.outcome.kind, OnvifSoap::Outcome::Ok);
        QCOMPARE(time.utc, utc);

        OnvifDeviceProtocol::DeviceInformation information;
        information.manufacturer = QStringLiteral("camsim");
        information.model = QStringLiteral("NVT <1>");
        information.firmwareVersion = QStringLiteral("1.2.3");
        information.serialNumber = QStringLiteral("SN&1");
        const auto read = OnvifDeviceProtocol::parseDeviceInformation(OnvifDeviceProtocol::deviceInformationAnswer(information));
        QCOMPARE(read.outcome.kind, OnvifSoap::Outcome::Ok);
        QCOMPARE(read.model, information.model);
        QCOMPARE(read.serialNumber, information.serialNumber);

        OnvifDeviceProtocol::NetworkInterface wired;
        wired.token = QStringLiteral("eth0");
        wired.enabled = true;
        wired.ipv4Enabled = true;
        wired.hwAddress = QStringLiteral("02:50:4d:00:00:01");
        wired.manualAddress = QStringLiteral("192.0.2.10");
        wired.manualPrefix = 24;
        OnvifDeviceProtocol::NetworkInterface wireless = wired;
        wireless.token = QStringLiteral("wlan0");
        wireless.dhcp = true;
        wireless.dhcpAddress = QStringLiteral("198.51.100.9");
        wireless.dhcpPrefix = 23;
        const auto interfaces = OnvifDeviceProtocol::parseNetworkInterfaces(
            OnvifDeviceProtocol::networkInterfacesAnswer({wired, wireless}));
        QCOMPARE(interfaces.interfaces.size(), 2);
        QCOMPARE(interfaces.indexFor(QStringLiteral("198.51.100.9")), 1);
        QCOMPARE(interfaces.indexFor(QStringLiteral("203.0.113.1")), 0);
        QCOMPARE(interfaces.interfaces.at(1).address(), QStringLiteral("198.51.100.9"));
        QCOMPARE(interfaces.interfaces.at(1).prefixLength(), 23);
        QCOMPARE(interfaces.interfaces.at(0).hwAddress, wired.hwAddress);

        QCOMPARE(OnvifDeviceProtocol::parseNetworkDefaultGateway(
                     OnvifDeviceProtocol::networkDefaultGatewayAnswer({QStringLiteral("192.0.2.1")})).ipv4,
                 QStringList{QStringLiteral("192.0.2.1")});
        OnvifDeviceProtocol::Dns dns;
        dns.manual = QStringList{QStringLiteral("192.0.2.53")};
        dns.fromDhcpServers = QStringList{QStringLiteral("198.51.100.53")};
        dns.fromDhcp = true;
        const auto readDns = OnvifDeviceProtocol::parseDns(OnvifDeviceProtocol::dnsAnswer(dns));
        QVERIFY(readDns.fromDhcp);
        QCOMPARE(readDns.inUse(), dns.fromDhcpServers);
        QCOMPARE(readDns.manual, dns.manual);

        QVERIFY(OnvifDeviceProtocol::parseSetAnswer(Call::SetNetworkInterfaces,
                                                    OnvifDeviceProtocol::setAnswer(Call::SetNetworkInterfaces, true)).rebootNeeded);
        const auto dnsSet = OnvifDeviceProtocol::parseSetAnswer(Call::SetDNS, OnvifDeviceProtocol::setAnswer(Call::SetDNS, false));
        QCOMPARE(dnsSet.outcome.kind, OnvifSoap::Outcome::Ok);
        // The answer of another call is not this call's.
        QCOMPARE(OnvifDeviceProtocol::parseSetAnswer(Call::SetDNS, OnvifDeviceProtocol::setAnswer(Call::SystemReboot, false))
                     .outcome.kind, OnvifSoap::Outcome::Malformed);
    }

    void anotherMakersAnswersAreRead()
    {
        const auto time = OnvifDeviceProtocol::parseSystemDateAndTime(foreign(
            "<dev:GetSystemDateAndTimeResponse><dev:SystemDateAndTime><sch:DateTimeType>NTP</sch:DateTimeType>"
            "<sch:LocalDateTime><sch:Time><sch:Hour>9</sch:Hour><sch:Minute>5</sch:Minute><sch:Second>1</sch:Second>"
            "</sch:Time><sch:Date><sch:Year>2024</sch:Year><sch:Month>2</sch:Month><sch:Day>29</sch:Day></sch:Date>"
            "</sch:LocalDateTime></dev:SystemDateAndTime></dev:GetSystemDateAndTimeResponse>"));
        // No UTCDateTime: the local time is the best there is, and said so.
        QCOMPARE(time.outcome.kind, OnvifSoap::Outcome::Ok);
        QVERIFY(time.fromLocalTime);
        QCOMPARE(time.utc, QDateTime(QDate(2024, 2, 29), QTime(9, 5, 1), Qt::UTC));

        const auto badDate = OnvifDeviceProtocol::parseSystemDateAndTime(foreign(
            "<dev:GetSystemDateAndTimeResponse><dev:SystemDateAndTime><sch:UTCDateTime><sch:Time><sch:Hour>25</sch:Hour>"
            "<sch:Minute>0</sch:Minute><sch:Second>0</sch:Second></sch:Time><sch:Date><sch:Year>2024</sch:Year>"
            "<sch:Month>13</sch:Month><sch:Day>1</sch:Day></sch:Date></sch:UTCDateTime></dev:SystemDateAndTime>"
            "</dev:GetSystemDateAndTimeResponse>"));
        QCOMPARE(badDate.outcome.kind, OnvifSoap::Outcome::Malformed);

        const auto dns = OnvifDeviceProtocol::parseDns(foreign(
            "<dev:GetDNSResponse><dev:DNSInformation><sch:FromDHCP>false</sch:FromDHCP>"
            "<sch:DNSManual><sch:Type>IPv6</sch:Type><sch:IPv6Address>2001:db8::53</sch:IPv6Address></sch:DNSManual>"
            "<sch:DNSManual><sch:Type>IPv4</sch:Type><sch:IPv4Address>192.0.2.53</sch:IPv4Address></sch:DNSManual>"
            "<sch:DNSManual><sch:Type>IPv4</sch:Type><sch:IPv4Address>not-an-address</sch:IPv4Address></sch:DNSManual>"
            "</dev:DNSInformation></dev:GetDNSResponse>"));
        QCOMPARE(dns.manual, QStringList{QStringLiteral("192.0.2.53")});

        const auto none = OnvifDeviceProtocol::parseNetworkInterfaces(foreign("<dev:GetNetworkInterfacesResponse/>"));
        QCOMPARE(none.outcome.kind, OnvifSoap::Outcome::Malformed);
    }

    void faultsAreNamed()
    {
        const auto refused = OnvifDeviceProtocol::parseDeviceInformation(
            OnvifSoap::fault(OnvifSoap::FaultKind::NotAuthorized, QStringLiteral("Sender not Authorized")));
        QCOMPARE(refused.outcome.kind, OnvifSoap::Outcome::Unauthorized);
        QVERIFY(refused.outcome.detail.contains(QLatin1String("Sender not Authorized")));
        const auto invalid = OnvifDeviceProtocol::parseSetAnswer(
            Call::SetNetworkInterfaces, OnvifSoap::fault(OnvifSoap::FaultKind::InvalidArgs, QStringLiteral("bad")));
        QCOMPARE(invalid.outcome.kind, OnvifSoap::Outcome::Fault);
        QVERIFY(!invalid.rebootNeeded);
        // A SOAP 1.1 fault of the security layer.
        const QByteArray soap11 =
            "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
            "<faultcode>wsse:FailedAuthentication</faultcode><faultstring>no</faultstring></s:Fault></s:Body></s:Envelope>";
        QCOMPARE(OnvifDeviceProtocol::parseDns(soap11).outcome.kind, OnvifSoap::Outcome::Unauthorized);
    }

    void hostileAnswersAreRefused()
    {
        const QByteArray bomb = "<!DOCTYPE e [<!ENTITY a \"x\">]>" + foreign("<dev:GetDNSResponse>&a;</dev:GetDNSResponse>");
        QCOMPARE(OnvifDeviceProtocol::parseDns(bomb).outcome.kind, OnvifSoap::Outcome::Malformed);
        QByteArray huge = foreign("<dev:GetDNSResponse/>");
        huge.append(QByteArray(OnvifSoap::MaxAnswerSize, ' '));
        const auto tooLarge = OnvifDeviceProtocol::parseDns(huge);
        QCOMPARE(tooLarge.outcome.kind, OnvifSoap::Outcome::Malformed);
        QVERIFY(tooLarge.outcome.detail.contains(QLatin1String("too large")));
        // Thousands of interfaces: a bounded list.
        QByteArray many;
        for (int i = 0; i < 200; ++i)
            many += "<dev:NetworkInterfaces token=\"e" + QByteArray::number(i) + "\"/>";
        const auto interfaces = OnvifDeviceProtocol::parseNetworkInterfaces(
            foreign("<dev:GetNetworkInterfacesResponse>" + many + "</dev:GetNetworkInterfacesResponse>"));
        QCOMPARE(interfaces.interfaces.size(), OnvifDeviceProtocol::MaxInterfaces);
        QCOMPARE(OnvifDeviceProtocol::parseRequest("<x/>").call, Call::Unknown);
        QVERIFY(!OnvifDeviceProtocol::parseRequest(QByteArray(OnvifSoap::MaxRequestSize + 1, ' ')).refusal.isEmpty());
    }

    void masksAndPrefixes()
    {
        QCOMPARE(OnvifDeviceProtocol::prefixFromMask(QStringLiteral("255.255.255.0")), 24);
        QCOMPARE(OnvifDeviceProtocol::prefixFromMask(QStringLiteral("255.255.255.255")), 32);
        QCOMPARE(OnvifDeviceProtocol::prefixFromMask(QStringLiteral("255.0.255.0")), -1);
        QCOMPARE(OnvifDeviceProtocol::prefixFromMask(QStringLiteral("mask")), -1);
        QCOMPARE(OnvifDeviceProtocol::maskFromPrefix(23), QStringLiteral("255.255.254.0"));
        QCOMPARE(OnvifDeviceProtocol::maskFromPrefix(0), QStringLiteral("0.0.0.0"));
    }
};

QTEST_GUILESS_MAIN(TestOnvifDeviceProtocol)
#include "tst_onvifdeviceprotocol.moc"
