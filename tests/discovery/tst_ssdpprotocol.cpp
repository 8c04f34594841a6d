// The SSDP wire formats of the document cameras and the control boxes,
// without sockets: the answer check, the description parsing with its 6-bit
// name, and the box messages. The sockets and camsim use the same code.
#include "ssdpprotocol.h"

#include <QtTest>

namespace {

const QString Urn = SsdpProtocol::docCamUrn();

QByteArray answer(const QStringList &lines)
{
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n")).toLatin1();
}

// The nine fields of a camera that passes the model filter.
QStringList cameraFields()
{
    return {SsdpProtocol::encodeName(QStringLiteral("Lab Q42D")), QStringLiteral("SN-77"),
            QStringLiteral("00-11-22-aa-bb-cc"), QStringLiteral("DC-42"), QStringLiteral("17"),
            QStringLiteral("198.51.100.7"), QStringLiteral("4142"), QStringLiteral("02-00-00-00-00-09"),
            QStringLiteral("note")};
}

SsdpProtocol::Description parseFields(const QStringList &fields, const QString &extraMajor = QString())
{
    SsdpProtocol::DescriptionText text;
    text.udn = QStringLiteral("uuid:abc-1");
    text.modelDescription = fields.join(QLatin1Char(':'));
    text.major = extraMajor;
    return SsdpProtocol::parseDescription(SsdpProtocol::buildDescription(text), QStringLiteral("192.0.2.50"));
}

QByteArray boxLines(const QStringList &lines)
{
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n")).toLatin1();
}

} // namespace

class TestSsdpProtocol : public QObject
{
    Q_OBJECT

private slots:
    void messagesTheProgramSends()
    {
        QCOMPARE(Urn, QStringLiteral("urn:schemas.example.com:device:WirelessDocCam:1"));
        QCOMPARE(SsdpProtocol::mSearch(),
                 QByteArray("M-SEARCH * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\n"
                            "ST: urn:schemas.example.com:device:WirelessDocCam:1\r\n"
                            "Man: \"ssdp:discover\"\r\nMX: 3\r\n\r\n"));
        QCOMPARE(SsdpProtocol::boxAnnouncement(),
                 QByteArray("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=30\r\n"
                            "ST: urn:schemas.example.com:device:TolvikPowerManagement:1\r\n"
                            "USN: uuid:6e274c04-3d4d-11e3-8e7a-ce3f5508acd9\r\n"
                            "TolvikClass.schemas.example.com:\r\n\r\n"));
        QVERIFY(SsdpProtocol::isMSearch(SsdpProtocol::mSearch()));
        QVERIFY(SsdpProtocol::isBoxAnnouncement(SsdpProtocol::boxAnnouncement()));
        // Our own announcement comes back on port 1988 and is no box's message.
        QCOMPARE(SsdpProtocol::parseBoxMessage(SsdpProtocol::boxAnnouncement()).outcome,
                 SsdpProtocol::BoxMessage::NotBox);
    }

    void answerCheck_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("nts");
        QTest::addColumn<int>("cache");

        const QString loc = QStringLiteral("LOCATION: http://192.0.2.50:8080/desc.xml");
        const QString st = QStringLiteral("ST: ") + Urn;
        const QString age = QStringLiteral("CACHE-CONTROL: max-age=1800");
        using A = SsdpProtocol::Answer;
        using C = SsdpProtocol::CacheControl;
        QTest::newRow("plain answer") << answer({"HTTP/1.1 200 OK", age, loc, st}) << int(A::Fetch) << "alive" << int(C::Valid);
        QTest::newRow("notify update") << answer({"NOTIFY * HTTP/1.1", age, loc, "NTS: ssdp:update", st})
                                       << int(A::Fetch) << "update" << int(C::Valid);
        QTest::newRow("lower-case location") << answer({"HTTP/1.1 200 OK", age, "location: http://192.0.2.50/d.xml", st})
                                             << int(A::Fetch) << "alive" << int(C::Valid);
        QTest::newRow("other device type") << answer({"HTTP/1.1 200 OK", age, loc, "ST: urn:schemas.example.com:device:Other:1"})
                                           << int(A::Ignored) << "" << int(C::Missing);
        QTest::newRow("urn in other case") << answer({"HTTP/1.1 200 OK", loc, st.toUpper()}) << int(A::Ignored) << "" << int(C::Missing);
        QTest::newRow("other first line") << answer({"HTTP/1.1 404 Not Found", loc, st}) << int(A::Ignored) << "" << int(C::Missing);
        QTest::newRow("urn after a NUL") << (answer({"HTTP/1.1 200 OK", loc}) + '\0' + st.toLatin1())
                                         << int(A::Ignored) << "" << int(C::Missing);
        QTest::newRow("no location") << answer({"HTTP/1.1 200 OK", age, st}) << int(A::NoLocation) << "" << int(C::Missing);
        QTest::newRow("empty location") << answer({"HTTP/1.1 200 OK", "LOCATION: ", st}) << int(A::NoLocation) << "" << int(C::Missing);
        QTest::newRow("location without host") << answer({"HTTP/1.1 200 OK", "LOCATION: /desc.xml", st})
                                               << int(A::BadLocation) << "" << int(C::Missing);
        QTest::newRow("byebye") << answer({"NOTIFY * HTTP/1.1", age, loc, "NTS: ssdp:byebye", st}) << int(A::ByeBye) << "byebye" << int(C::Valid);
        QTest::newRow("unknown nts") << answer({"NOTIFY * HTTP/1.1", age, loc, "NTS: ssdp:sleep", st}) << int(A::BadNts) << "sleep" << int(C::Missing);
        QTest::newRow("max-age 0") << answer({"HTTP/1.1 200 OK", "Cache-Control: max-age=0", loc, st}) << int(A::Fetch) << "alive" << int(C::Zero);
        QTest::newRow("max-age text") << answer({"HTTP/1.1 200 OK", "CACHE-CONTROL: max-age=soon", loc, st}) << int(A::Fetch) << "alive" << int(C::Zero);
        QTest::newRow("no cache-control") << answer({"HTTP/1.1 200 OK", loc, st}) << int(A::Fetch) << "alive" << int(C::Missing);
    }

    void answerCheck()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, kind);
        QFETCH(QString, nts);
        QFETCH(int, cache);
        const SsdpProtocol::Answer a = SsdpProtocol::parseAnswer(datagram);
        QCOMPARE(int(a.kind), kind);
        if (kind == SsdpProtocol::Answer::Fetch || kind == SsdpProtocol::Answer::ByeBye || kind == SsdpProtocol::Answer::BadNts)
            QCOMPARE(a.nts, nts);
        if (kind == SsdpProtocol::Answer::Fetch || kind == SsdpProtocol::Answer::ByeBye) {
            QCOMPARE(int(a.cacheControl), cache);
            QCOMPARE(a.url.host(), QStringLiteral("192.0.2.50"));
        }
    }

    void descriptionFields()
    {
        SsdpProtocol::DescriptionText text;
        text.udn = QStringLiteral("uuid:2f402f80-da50-11e1-9b23-0019e7d1d001");
        text.modelDescription = cameraFields().join(QLatin1Char(':')) + QStringLiteral(":extra:fields");
        text.usePasscode = QStringLiteral("1234");
        text.major = QStringLiteral("2");
        text.minor = QStringLiteral("5");
        text.fwVersion = QStringLiteral("1.0.7");
        text.ispState = QStringLiteral("3");
        const SsdpProtocol::Description d =
            SsdpProtocol::parseDescription(SsdpProtocol::buildDescription(text), QStringLiteral("192.0.2.50"));
        QCOMPARE(int(d.outcome), int(SsdpProtocol::Description::Ok));
        QVERIFY(!d.macError);
        QVERIFY(!d.bssidError);
        QCOMPARE(d.data.device.name, QStringLiteral("Lab Q42D"));
        QCOMPARE(d.data.device.serialNo, QStringLiteral("SN-77"));
        QCOMPARE(d.data.macBytes, (DocCamUpnpData::MacBytes{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}));
        QCOMPARE(d.data.device.mac, QStringLiteral("00:11:22:AA:BB:CC"));
        QCOMPARE(d.data.device.model, QStringLiteral("DC-42"));
        QCOMPARE(d.data.numberField, 17u);
        QCOMPARE(d.data.addressField, QHostAddress(QStringLiteral("198.51.100.7")).toIPv4Address());
        QCOMPARE(d.data.hexTextField, QStringLiteral("AB"));
        QCOMPARE(d.data.bssid, (DocCamUpnpData::MacBytes{0x02, 0, 0, 0, 0, 0x09}));
        QCOMPARE(d.data.textField, QStringLiteral("note"));
        QCOMPARE(d.data.device.ip, QStringLiteral("192.0.2.50"));
        QCOMPARE(d.data.responderAddress, QHostAddress(QStringLiteral("192.0.2.50")).toIPv4Address());
        QCOMPARE(d.data.udnKey, QStringLiteral("2f402f80-da50-11e1-9b23-0019e7d1d001192.0.2.50"));
        QCOMPARE(d.data.usePasscode, QStringLiteral("1234"));
        QCOMPARE(d.data.major, 2u);
        QCOMPARE(d.data.minor, 5u);
        QCOMPARE(d.data.device.fwVersion, QStringLiteral("1.0.7"));
        QVERIFY(d.data.ispState);

        // Without the optional elements: major 1, minor 0, nothing else.
        QStringList fields = cameraFields();
        fields[1].clear();
        const SsdpProtocol::Description bare = parseFields(fields);
        QCOMPARE(int(bare.outcome), int(SsdpProtocol::Description::Ok));
        QCOMPARE(bare.data.major, 1u);
        QCOMPARE(bare.data.minor, 0u);
        QVERIFY(!bare.data.ispState);
        QVERIFY(bare.data.device.fwVersion.isEmpty());
        QCOMPARE(bare.data.device.serialNo, QStringLiteral("Unknown"));
    }

    void descriptionRefusals()
    {
        using D = SsdpProtocol::Description;
        QStringList eight = cameraFields();
        eight.removeLast();
        QCOMPARE(int(parseFields(eight).outcome), int(D::TooFewFields));
        QStringList many = cameraFields();
        while (many.size() <= SsdpProtocol::MaxDescriptionFields)
            many << QString();
        QCOMPARE(int(parseFields(many).outcome), int(D::TooManyFields));
        many.removeLast();
        QCOMPARE(int(parseFields(many).outcome), int(D::Ok));

        SsdpProtocol::DescriptionText text;
        text.modelDescription = cameraFields().join(QLatin1Char(':'));
        QCOMPARE(int(SsdpProtocol::parseDescription(SsdpProtocol::buildDescription(text), "192.0.2.1").outcome), int(D::NoUdn));
        text.udn = QStringLiteral("2f402f80-no-prefix");
        QCOMPARE(int(SsdpProtocol::parseDescription(SsdpProtocol::buildDescription(text), "192.0.2.1").outcome), int(D::NoUdn));
        text.udn = QStringLiteral("uuid:1");
        text.modelDescription.clear();
        text.modelDescription = QString();
        QCOMPARE(int(SsdpProtocol::parseDescription(SsdpProtocol::buildDescription(text), "192.0.2.1").outcome),
                 int(D::NoModelDescription));
        // Tags in the wrong order are no element.
        QCOMPARE(int(SsdpProtocol::parseDescription("</UDN>uuid:1<UDN>", "192.0.2.1").outcome), int(D::NoUdn));

        // Five characters: one over a multiple of four decodes to nothing,
        // the default name names no supported model.
        QStringList fiveChars = cameraFields();
        fiveChars[0] = SsdpProtocol::encodeName(QStringLiteral("Q42D")).left(5);
        QCOMPARE(SsdpProtocol::decodeName(fiveChars[0]), QString());
        QCOMPARE(int(parseFields(fiveChars).outcome), int(D::UnsupportedModel));
        QStringList otherModel = cameraFields();
        otherModel[0] = SsdpProtocol::encodeName(QStringLiteral("Lab q42d"));
        QCOMPARE(int(parseFields(otherModel).outcome), int(D::UnsupportedModel));
        QStringList longName = cameraFields();
        longName[0] = QString(SsdpProtocol::MaxEncodedNameChars + 4, QLatin1Char('0'));
        QCOMPARE(int(parseFields(longName).outcome), int(D::NameTooLong));
    }

    void nameCoding()
    {
        // Worked by hand: "A" is 41 00 in UTF-16LE, the values 16 16 0.
        QCOMPARE(SsdpProtocol::encodeName(QStringLiteral("A")), QStringLiteral("00g"));
        QCOMPARE(SsdpProtocol::decodeName(QStringLiteral("00g")), QStringLiteral("A"));
        for (const QString &name : {QStringLiteral("Q86D Hörsaal 3"), QStringLiteral("Q42D"), QStringLiteral("教室 Q42D")}) {
            const QString encoded = SsdpProtocol::encodeName(name);
            for (const char forbidden : {' ', ':', '\'', '"', '&', '<', '>'})
                QVERIFY2(!encoded.contains(QLatin1Char(forbidden)), qPrintable(encoded));
            QCOMPARE(SsdpProtocol::decodeName(encoded), name);
        }
        // A big-endian byte-order mark: FE FF 00 41 -> values 63 47 60 0 16 16.
        QCOMPARE(SsdpProtocol::decodeName(QStringLiteral("_O\\g00")), QStringLiteral("A"));
        // Characters outside the code count as 0.
        QCOMPARE(SsdpProtocol::decodeName(QStringLiteral("00~")), QStringLiteral("A"));
    }

    void macAndHexFields()
    {
        DocCamUpnpData::MacBytes bytes{};
        QString text;
        QVERIFY(SsdpProtocol::parseMacField(QStringLiteral("00-11-22-aa-bb-cc"), &bytes, &text));
        QCOMPARE(text, QStringLiteral("00:11:22:AA:BB:CC"));
        QVERIFY(!SsdpProtocol::parseMacField(QStringLiteral("001122AABBCC"), &bytes, &text));
        QCOMPARE(bytes, DocCamUpnpData::MacBytes{});
        QCOMPARE(text, QStringLiteral("001122AABBCC"));
        QVERIFY(SsdpProtocol::parseMacField(QStringLiteral("1ff-x--2-3-4"), &bytes, &text));
        QCOMPARE(bytes, (DocCamUpnpData::MacBytes{0xFF, 0, 0, 2, 3, 4}));

        QStringList fields = cameraFields();
        fields[2] = QStringLiteral("001122AABBCC");
        fields[7] = QStringLiteral("02-00");
        const SsdpProtocol::Description d = parseFields(fields);
        QCOMPARE(int(d.outcome), int(SsdpProtocol::Description::Ok));
        QVERIFY(d.macError);
        QVERIFY(d.bssidError);
        QCOMPARE(d.data.device.mac, QStringLiteral("001122AABBCC"));

        QCOMPARE(SsdpProtocol::decodeHexText(QStringLiteral("4142")), QStringLiteral("AB"));
        QCOMPARE(SsdpProtocol::decodeHexText(QStringLiteral("c3a9")), QStringLiteral("é"));
        QCOMPARE(SsdpProtocol::decodeHexText(QStringLiteral("41x2")), QStringLiteral("41x2"));
        QCOMPARE(SsdpProtocol::decodeHexText(QStringLiteral("414")), QStringLiteral("414"));
    }

    void boxMessages()
    {
        const QString st = QStringLiteral("ST: ") + SsdpProtocol::boxUrn();
        using B = SsdpProtocol::BoxMessage;
        // The text after the colon is taken unchanged, space included.
        const B spaced = SsdpProtocol::parseBoxMessage(
            SsdpProtocol::buildBoxMessage(QStringLiteral(" 00:11:22:33:44:55"), QStringLiteral(" Control Box")));
        QCOMPARE(int(spaced.outcome), int(B::Ok));
        QCOMPARE(spaced.macText, QStringLiteral(" 00:11:22:33:44:55"));
        QCOMPARE(spaced.type, QStringLiteral(" Control Box"));

        const B noType = SsdpProtocol::parseBoxMessage(SsdpProtocol::buildBoxMessage(QStringLiteral("00:1A:2B:3C:4D:5E"), QString()));
        QCOMPARE(int(noType.outcome), int(B::Ok));
        QCOMPARE(noType.type, QStringLiteral("Control Box"));
        const B emptyType = SsdpProtocol::parseBoxMessage(SsdpProtocol::buildBoxMessage(QStringLiteral("00:1A:2B:3C:4D:5E"), QString("")));
        QCOMPARE(emptyType.type, QStringLiteral("Control Box"));

        // A second "MAC:" ends the MAC text.
        const B twice = SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH * HTTP/1.1", "a", "b", "c", st, "MAC:02:00:00:00:00:01MAC:x"}));
        QCOMPARE(twice.macText, QStringLiteral("02:00:00:00:00:01"));

        // Keywords anywhere, in any line.
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"NOTIFY", "a", "b", "c", st, "MAC:1"})).outcome), int(B::NotBox));
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH", "a", "b", "c", "ST: urn:schemas.example.com:device:Other:1", "MAC:1"})).outcome),
                 int(B::NotBox));
        // Keywords but no usable fields.
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH", st, "MAC:1"})).outcome), int(B::Unusable));
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH", "a", "b", "c", st, "MAC 1"})).outcome), int(B::Unusable));
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH", "a", "b", "c", st, "MAC:"})).outcome), int(B::Unusable));
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH", "a", "b", "Type", st, "MAC:1", "Kind:x"})).outcome), int(B::Unusable));
        const QString longMac = QStringLiteral("MAC:") + QString(SsdpProtocol::MaxBoxFieldChars + 1, QLatin1Char('1'));
        QCOMPARE(int(SsdpProtocol::parseBoxMessage(boxLines({"M-SEARCH", "a", "b", "c", st, longMac})).outcome), int(B::Unusable));
    }
};

QTEST_GUILESS_MAIN(TestSsdpProtocol)
#include "tst_ssdpprotocol.moc"
