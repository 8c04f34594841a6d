#include "samplecamera.h"
#include "utilityprotocol.h"

#include <QtTest>

// The utility search's wire formats, checked against layouts written out by
// hand here rather than through the codec's own helpers.
class TestUtilityProtocol : public QObject
{
    Q_OBJECT

private:
    static QByteArray handQuery(const char *magic)
    {
        QByteArray record(180, '\0');
        record.replace(0, 6, magic);
        record[6] = 0x02;
        record[25] = 0x02;
        record[32] = 0x02;
        record[41] = 0x02;
        return record;
    }

    // The 253/282-byte reply of the reference camera, written byte by byte.
    static QByteArray handReply(int size, const QByteArray &mode)
    {
        QByteArray reply(size, '\0');
        reply.replace(6, 4, mode);
        const char ip[] = {char(0xC0), char(0xA8), 0x01, 0x0A};
        reply.replace(10, 4, ip, 4);
        const char mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        reply.replace(14, 6, mac, 6);
        const char mask[] = {char(0xFF), char(0xFF), char(0xFF), 0x00};
        reply.replace(20, 4, mask, 4);
        const char gateway[] = {char(0xC0), char(0xA8), 0x01, 0x01};
        reply.replace(27, 4, gateway, 4);
        const char dns1[] = {0x08, 0x08, 0x08, 0x08};
        reply.replace(32, 4, dns1, 4);
        const char dns2[] = {0x01, 0x01, 0x01, 0x01};
        reply.replace(36, 4, dns2, 4);
        reply.replace(41, 7, "CAM-100");
        reply.replace(73, 5, "Lobby");
        reply.replace(105, 5, "1.2.3");
        reply.replace(207, 9, "fe80::1a2");
        if (size == 282)
            reply.replace(258, 8, "SN123456");
        return reply;
    }

private slots:
    void queryRecordsAndTheirExactWireText_data()
    {
        QTest::addColumn<int>("query");
        QTest::addColumn<QByteArray>("magic");
        QTest::addColumn<QByteArray>("wireText");
        QTest::newRow("A") << int(UtilityProtocol::Query::A) << QByteArray("PCEdit")
                           << QByteArray("UENFZGl0AgAAAAAAAAAAAAAAAAAAAAAAAAIAAAAAAAACAAAAAAAAAAACAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
                                         "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
                                         "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
        QTest::newRow("B") << int(UtilityProtocol::Query::B) << QByteArray("AviDcv")
                           << QByteArray("QXZpRGN2AgAAAAAAAAAAAAAAAAAAAAAAAAIAAAAAAAACAAAAAAAAAAACAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
                                         "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
                                         "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
    }

    void queryRecordsAndTheirExactWireText()
    {
        QFETCH(int, query);
        QFETCH(QByteArray, magic);
        QFETCH(QByteArray, wireText);
        const auto which = UtilityProtocol::Query(query);

        const QByteArray expected = handQuery(magic.constData());
        QCOMPARE(UtilityProtocol::queryRecord(which), expected);

        const QByteArray text = UtilityProtocol::queryText(which);
        QCOMPARE(text.size(), 240);
        QVERIFY(!text.contains('='));
        QCOMPARE(text, wireText);
        QCOMPARE(QByteArray::fromBase64(text), expected);

        // What a camera makes of it.
        QByteArray decoded;
        QVERIFY(UtilityProtocol::decodeWireRecord(text, &decoded));
        QCOMPARE(decoded, expected);
        QCOMPARE(UtilityProtocol::classifyRecord(decoded),
                 which == UtilityProtocol::Query::A ? UtilityProtocol::RecordKind::QueryA
                                                    : UtilityProtocol::RecordKind::QueryB);
    }

    void settingsRecordOfTheStaticExample()
    {
        UtilityProtocol::Settings settings;
        settings.dhcp = false;
        settings.ip = {192, 168, 10, 20};
        settings.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
        settings.mask = {255, 255, 0, 0};
        settings.gateway = {192, 168, 10, 1};
        settings.dns1 = {192, 168, 10, 2};
        settings.dns2 = {192, 168, 10, 3};
        settings.name = QStringLiteral("Lobby");
        settings.userId = QStringLiteral("admin");
        settings.password = QStringLiteral("secret");

        const QByteArray record = UtilityProtocol::buildSettingsRecord(settings);
        QCOMPARE(record.size(), 180);
        QCOMPARE(record.left(7), QByteArray("PCEdit\x01"));
        const QByteArray expected7to41 = QByteArray::fromHex(
            "65746830"              // "eth0"
            "c0a80a14"              // 192.168.10.20
            "001a2b3c4d5e"          // MAC
            "ffff0000"              // 255.255.0.0
            "01" "6777"             // 0x01 "gw"
            "c0a80a01"              // gateway
            "01"
            "c0a80a02" "c0a80a03"   // DNS
            "01");
        QCOMPARE(record.mid(7, 35), expected7to41);
        QCOMPARE(record.mid(42, 32), QByteArray(32, '\0'));
        QCOMPARE(record.mid(74, 32), QByteArray("Lobby").leftJustified(32, '\0'));
        QCOMPARE(record.mid(106, 8), QByteArray(8, '\0'));
        QCOMPARE(record.mid(114, 33), QByteArray("admin").leftJustified(33, '\0'));
        QCOMPARE(record.mid(147, 33), QByteArray("secret").leftJustified(33, '\0'));

        const QByteArray wire = UtilityProtocol::encodeWireRecord(record);
        QCOMPARE(wire.size(), 240);
        QByteArray decoded;
        QVERIFY(UtilityProtocol::decodeWireRecord(wire, &decoded));
        QCOMPARE(UtilityProtocol::classifyRecord(decoded), UtilityProtocol::RecordKind::Settings);
        UtilityProtocol::Settings parsed;
        QVERIFY(UtilityProtocol::parseSettingsRecord(decoded, &parsed));
        QVERIFY(parsed == settings);
    }

    void settingsRecordModeWordAndTextLimits()
    {
        UtilityProtocol::Settings settings;
        settings.dhcp = true;
        settings.ip = {10, 0, 0, 7};   // taken from the fields even in DHCP mode
        settings.name = QString(40, QLatin1Char('N'));
        settings.userId = QString(40, QLatin1Char('u'));
        settings.password = QStringLiteral("p\u00e9");   // Latin-1 byte 0xE9

        const QByteArray record = UtilityProtocol::buildSettingsRecord(settings);
        QCOMPARE(record.size(), 180);
        QCOMPARE(record.mid(7, 4), QByteArray("dhcp"));
        QCOMPARE(record.mid(11, 4), QByteArray::fromHex("0a000007"));
        QCOMPARE(record.mid(74, 32), QByteArray(32, 'N'));       // fills its room, no terminator
        QCOMPARE(record.mid(106, 8), QByteArray(8, '\0'));       // and nothing past it
        QCOMPARE(record.mid(114, 33), QByteArray(33, 'u'));      // cut to its first 33 bytes
        QCOMPARE(record.mid(147, 3), QByteArray("p\xe9\0", 3));

        UtilityProtocol::Settings parsed;
        QVERIFY(UtilityProtocol::parseSettingsRecord(record, &parsed));
        QVERIFY(parsed.dhcp);
        QCOMPARE(parsed.name, QString(32, QLatin1Char('N')));
        QCOMPARE(parsed.userId, QString(33, QLatin1Char('u')));
        QCOMPARE(parsed.password, settings.password);
    }

    void wireRecordsThatAreNotOurs()
    {
        QByteArray record;
        QVERIFY(!UtilityProtocol::decodeWireRecord(QByteArray(239, 'A'), &record));
        QVERIFY(!UtilityProtocol::decodeWireRecord(QByteArray(240, '*'), &record));
        QVERIFY(!UtilityProtocol::decodeWireRecord(QByteArray(236, 'A') + "A===", &record));
        QCOMPARE(UtilityProtocol::classifyRecord(QByteArray(180, 'x')), UtilityProtocol::RecordKind::Unknown);
        QCOMPARE(UtilityProtocol::classifyRecord(QByteArray(179, '\0')), UtilityProtocol::RecordKind::Unknown);
        QByteArray wrongKind = handQuery("AviDcv");
        wrongKind[6] = 0x01;
        QCOMPARE(UtilityProtocol::classifyRecord(wrongKind), UtilityProtocol::RecordKind::Unknown);
        UtilityProtocol::Settings settings;
        QVERIFY(!UtilityProtocol::parseSettingsRecord(handQuery("PCEdit"), &settings));
    }

    void shortReplyOfTheExample()
    {
        UtilitySearchCamInfo info;
        QVERIFY(UtilityProtocol::parseReply(handReply(253, "dhcp"), &info));
        QCOMPARE(info.ip, QStringLiteral("192.168.1.10"));
        QCOMPARE(info.mac, QStringLiteral("00:1a:2b:3c:4d:5e"));
        QVERIFY(info.dhcp);
        QCOMPARE(info.mask, QStringLiteral("255.255.255.0"));
        QCOMPARE(info.gateway, QStringLiteral("192.168.1.1"));
        QCOMPARE(info.dns1, QStringLiteral("8.8.8.8"));
        QCOMPARE(info.dns2, QStringLiteral("1.1.1.1"));
        QCOMPARE(info.model, QStringLiteral("CAM-100"));
        QCOMPARE(info.name, QStringLiteral("Lobby"));
        QCOMPARE(info.fwVersion, QStringLiteral("1.2.3"));
        QCOMPARE(info.ipv6, QStringLiteral("fe80::1a2"));
        QVERIFY(info.serialNo.isEmpty());
        QCOMPARE(UtilityProtocol::classifyDatagram(handReply(253, "dhcp")),
                 UtilityProtocol::DatagramKind::ShortReply);
    }

    void dhcpFlagIsCaseSensitive_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<bool>("dhcp");
        QTest::newRow("dhcp") << QByteArray("dhcp") << true;
        QTest::newRow("DHCP") << QByteArray("DHCP") << false;
        QTest::newRow("eth0") << QByteArray("eth0") << false;
        QTest::newRow("zero") << QByteArray(4, '\0') << false;
    }

    void dhcpFlagIsCaseSensitive()
    {
        QFETCH(QByteArray, mode);
        QFETCH(bool, dhcp);
        for (const int size : {253, 282}) {
            UtilitySearchCamInfo info;
            QVERIFY(UtilityProtocol::parseReply(handReply(size, mode), &info));
            QCOMPARE(info.dhcp, dhcp);
        }
    }

    void longReplyCarriesTheSerialNumber()
    {
        UtilitySearchCamInfo info;
        QVERIFY(UtilityProtocol::parseReply(handReply(282, "dhcp"), &info));
        QCOMPARE(info.serialNo, QStringLiteral("SN123456"));
        QCOMPARE(info.ipv6, QStringLiteral("fe80::1a2"));
        QCOMPARE(UtilityProtocol::classifyDatagram(handReply(282, "eth0")),
                 UtilityProtocol::DatagramKind::LongReply);
    }

    void textsWithoutTerminatorStopAtTheDatagramEnd()
    {
        // Last field filled to the very end: nothing past the datagram is read.
        QByteArray shortReply = handReply(253, "dhcp");
        shortReply.replace(207, 46, QByteArray(46, 'x'));
        UtilitySearchCamInfo info;
        QVERIFY(UtilityProtocol::parseReply(shortReply, &info));
        QCOMPARE(info.ipv6, QString(46, QLatin1Char('x')));

        QByteArray longReply = handReply(282, "dhcp");
        longReply.replace(258, 24, QByteArray(24, 'S'));
        QVERIFY(UtilityProtocol::parseReply(longReply, &info));
        QCOMPARE(info.serialNo, QString(24, QLatin1Char('S')));

        // A long-form IPv6 text that fills its 51 bytes runs on into the serial.
        longReply.replace(207, 51, QByteArray(51, 'v'));
        QVERIFY(UtilityProtocol::parseReply(longReply, &info));
        QCOMPARE(info.ipv6, QString(51, QLatin1Char('v')) + QString(24, QLatin1Char('S')));

        // A name filling its 32 bytes runs into the firmware text, as cameras
        // have always been read.
        QByteArray runOn = handReply(253, "dhcp");
        runOn.replace(73, 32, QByteArray(32, 'n'));
        QVERIFY(UtilityProtocol::parseReply(runOn, &info));
        QCOMPARE(info.name, QString(32, QLatin1Char('n')) + QStringLiteral("1.2.3"));

        // A reply without a single NUL anywhere.
        QVERIFY(UtilityProtocol::parseReply(QByteArray(282, 'z'), &info));
        QCOMPARE(info.serialNo, QString(24, QLatin1Char('z')));
        QCOMPARE(info.model.size(), 282 - 41);
    }

    // Text fields are read as UTF-8 wherever a byte outside ASCII sits,
    // whether the parse reuses recurring texts or not, and an empty field is
    // an empty text, never a null one.
    void textFieldsReadAsUtf8WhereverTheByteSits()
    {
        UtilityProtocol::RecurringTexts recurring;
        // Name (offset 73, 32 bytes) and IPv6 (offset 207): a two-byte
        // character, a lone Latin-1 byte and a three-byte character at every
        // place, before and past each eight-byte step.
        const QList<QByteArray> odd{QByteArray("\xc3\xa9"), QByteArray("\xe9"), QByteArray("\xe2\x82\xac")};
        for (const QByteArray &character : odd) {
            for (int at = 0; at + character.size() <= 31; ++at) {
                QByteArray text(at, 'a');
                text += character;
                text += QByteArray(31 - text.size() > 3 ? 3 : 0, 'b');
                QByteArray reply = handReply(282, "eth0");
                reply.replace(73, 32, QByteArray(32, '\0'));
                reply.replace(73, text.size(), text);
                reply.replace(207, 51, QByteArray(51, '\0'));
                reply.replace(207, text.size(), text);
                const QString expected = QString::fromUtf8(text);
                for (UtilityProtocol::RecurringTexts *texts : {static_cast<UtilityProtocol::RecurringTexts *>(nullptr), &recurring}) {
                    UtilitySearchCamInfo info;
                    QVERIFY(UtilityProtocol::parseReply(reply.constData(), reply.size(), &info, texts));
                    QCOMPARE(info.name, expected);
                    QCOMPARE(info.ipv6, expected);
                }
            }
        }

        QByteArray empty = handReply(282, "eth0");
        empty.replace(207, 51, QByteArray(51, '\0'));
        empty.replace(73, 32, QByteArray(32, '\0'));
        empty.replace(258, 24, QByteArray(24, '\0'));
        for (int round = 0; round < 2; ++round) {
            UtilitySearchCamInfo plain;
            UtilitySearchCamInfo shared;
            QVERIFY(UtilityProtocol::parseReply(empty, &plain));
            QVERIFY(UtilityProtocol::parseReply(empty.constData(), empty.size(), &shared, &recurring));
            for (const UtilitySearchCamInfo *info : {&plain, &shared}) {
                QVERIFY(info->name.isEmpty() && !info->name.isNull());
                QVERIFY(info->ipv6.isEmpty() && !info->ipv6.isNull());
                QVERIFY(info->serialNo.isEmpty() && !info->serialNo.isNull());
            }
        }
    }

    void garbageAndShortDatagramsAreNoReplies_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("kind");
        const int other = int(UtilityProtocol::DatagramKind::Other);
        QTest::newRow("empty") << QByteArray() << other;
        QTest::newRow("1") << QByteArray(1, 'd') << other;
        QTest::newRow("252") << handReply(253, "dhcp").left(252) << other;
        QTest::newRow("254") << handReply(253, "dhcp") + '\0' << other;
        QTest::newRow("281") << handReply(282, "dhcp").left(281) << other;
        QTest::newRow("283") << handReply(282, "dhcp") + 'x' << other;
        QTest::newRow("240 with refusal text")
            << QByteArray("Invalid ID").leftJustified(240, ' ') << int(UtilityProtocol::DatagramKind::WireRecord);
        QTest::newRow("query echo") << UtilityProtocol::queryText(UtilityProtocol::Query::A)
                                    << int(UtilityProtocol::DatagramKind::WireRecord);
    }

    void garbageAndShortDatagramsAreNoReplies()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, kind);
        UtilitySearchCamInfo info;
        info.name = QStringLiteral("untouched");
        QVERIFY(!UtilityProtocol::parseReply(datagram, &info));
        QCOMPARE(info.name, QStringLiteral("untouched"));
        QCOMPARE(int(UtilityProtocol::classifyDatagram(datagram)), kind);
        QVERIFY(!UtilityProtocol::isInvalidIdReply(datagram));
    }

    void refusalText()
    {
        QByteArray refusal(100, '\0');
        refusal.replace(40, 10, "Invalid ID");   // behind NUL bytes: still found
        QVERIFY(UtilityProtocol::isInvalidIdReply(refusal));
        QCOMPARE(UtilityProtocol::classifyDatagram(refusal), UtilityProtocol::DatagramKind::InvalidId);

        QByteArray lowerCase(100, ' ');
        lowerCase.replace(0, 10, "invalid id");
        QVERIFY(!UtilityProtocol::isInvalidIdReply(lowerCase));

        // A reply-sized datagram is a reply, whatever it says.
        QVERIFY(!UtilityProtocol::isInvalidIdReply(QByteArray("Invalid ID").leftJustified(253, '\0')));

        const QByteArray simulated = UtilityProtocol::encodeInvalidIdReply();
        QVERIFY(UtilityProtocol::isInvalidIdReply(simulated));
        QVERIFY(simulated.size() != 240 && simulated.size() != 253 && simulated.size() != 282);
    }

    void encodedRepliesReadBackAndSitWhereTheProgramLooks()
    {
        // A non-ASCII model, UTF-8 on the wire.
        UtilitySearchCamInfo camera = sampleCamera(
            QStringLiteral("02:00:5E:10:00:01"), QStringLiteral("PTZ-\u00c4"), QStringLiteral("192.0.2.10"),
            QStringLiteral("Stage left"));
        camera.fwVersion = QStringLiteral("4.0.0 build 7");
        camera.dhcp = false;
        camera.dns2 = QStringLiteral("0.0.0.0");
        camera.ipv6 = QStringLiteral("2001:db8::10");
        camera.serialNo = QStringLiteral("A1B2C3");

        const QByteArray longReply = UtilityProtocol::encodeReply(camera, UtilityProtocol::ReplyForm::Long);
        QCOMPARE(longReply.size(), 282);
        QCOMPARE(longReply.mid(6, 4), QByteArray("eth0"));
        QCOMPARE(longReply.mid(10, 4), QByteArray::fromHex("c000020a"));
        QCOMPARE(longReply.mid(14, 6), QByteArray::fromHex("02005e100001"));
        QCOMPARE(longReply.mid(27, 4), QByteArray::fromHex("c0000201"));
        QCOMPARE(longReply.mid(258, 7), QByteArray("A1B2C3\0", 7));

        UtilitySearchCamInfo parsed;
        QVERIFY(UtilityProtocol::parseReply(longReply, &parsed));
        UtilitySearchCamInfo expected = camera;
        expected.mac = camera.mac.toLower();
        QVERIFY(parsed == expected);

        const QByteArray shortReply = UtilityProtocol::encodeReply(camera, UtilityProtocol::ReplyForm::Short);
        QCOMPARE(shortReply.size(), 253);
        QVERIFY(UtilityProtocol::parseReply(shortReply, &parsed));
        expected.serialNo.clear();
        QVERIFY(parsed == expected);

        // A multi-byte character is never split at the end of its room.
        camera.name = QString(31, QLatin1Char('a')) + QStringLiteral("\u00e9");
        QVERIFY(UtilityProtocol::parseReply(UtilityProtocol::encodeReply(camera, UtilityProtocol::ReplyForm::Short), &parsed));
        QCOMPARE(parsed.name, QString(31, QLatin1Char('a')));
    }

    void addressAndMacTexts()
    {
        QCOMPARE(UtilityProtocol::ipv4FromText(QStringLiteral("192.0.2.1")), (UtilityProtocol::Ipv4Bytes{192, 0, 2, 1}));
        QCOMPARE(UtilityProtocol::ipv4FromText(QStringLiteral("300.x.2")), (UtilityProtocol::Ipv4Bytes{44, 0, 2, 0}));
        QCOMPARE(UtilityProtocol::ipv4FromText(QString()), (UtilityProtocol::Ipv4Bytes{0, 0, 0, 0}));
        QCOMPARE(UtilityProtocol::ipv4ToText({255, 0, 10, 7}), QStringLiteral("255.0.10.7"));

        UtilityProtocol::MacBytes mac{};
        QVERIFY(UtilityProtocol::macFromText(QStringLiteral("00:1A::zz:4d:5e"), &mac));
        QCOMPARE(mac, (UtilityProtocol::MacBytes{0x00, 0x1a, 0x00, 0x00, 0x4d, 0x5e}));
        QVERIFY(UtilityProtocol::macFromText(QStringLiteral("ab:cd"), &mac));
        QCOMPARE(mac, (UtilityProtocol::MacBytes{0xab, 0xcd, 0, 0, 0, 0}));
        const UtilityProtocol::MacBytes before = mac;
        QVERIFY(!UtilityProtocol::macFromText(QStringLiteral("1:2:3:4:5:6:7"), &mac));
        QCOMPARE(mac, before);
        QCOMPARE(UtilityProtocol::macToText({0xAB, 0x01, 0, 0xff, 0x10, 0x9}), QStringLiteral("ab:01:00:ff:10:09"));

        // Every byte value prints as printf prints it.
        for (int value = 0; value < 256; ++value) {
            const quint8 b = quint8(value);
            QCOMPARE(UtilityProtocol::ipv4ToText({b, quint8(255 - value), b, 0}),
                     QString::asprintf("%d.%d.%d.0", value, 255 - value, value));
            QCOMPARE(UtilityProtocol::macToText({b, 0, 0, 0, 0, quint8(255 - value)}),
                     QString::asprintf("%02x:00:00:00:00:%02x", value, 255 - value));
        }
    }

    // A parse that reuses recurring texts gives exactly what a plain parse
    // gives, whatever changes from one reply to the next.
    void recurringTextsNeverChangeAValue()
    {
        UtilityProtocol::RecurringTexts recurring;
        UtilitySearchCamInfo base = sampleCamera(
            QStringLiteral("02:00:5e:10:00:01"), QStringLiteral("CAM-100"), QStringLiteral("192.0.2.10"),
            QStringLiteral("Hall"));
        base.dhcp = false;
        base.dns2 = QStringLiteral("0.0.0.0");

        QList<UtilitySearchCamInfo> sequence;
        sequence << base;
        UtilitySearchCamInfo next = base;
        next.mask = QStringLiteral("255.255.0.0");
        next.model = QStringLiteral("CAM-200");
        sequence << next;
        next.dns2 = QStringLiteral("198.51.100.53");
        next.fwVersion = QString();                       // empty text after a filled one
        sequence << next;
        next.model = QStringLiteral("CAM-\u00e9");          // not ASCII: never taken from the last one
        sequence << next;
        next.model = QStringLiteral("CAM-\u00c3\u00a9");    // its UTF-8 bytes read as Latin-1
        sequence << next;
        next.model = QStringLiteral("CAM-\u00e9");
        next.fwVersion = QStringLiteral("1.0");
        sequence << next << base << base;

        UtilitySearchCamInfo previous;
        for (int i = 0; i < sequence.size(); ++i) {
            const QByteArray reply = UtilityProtocol::encodeReply(sequence.at(i), UtilityProtocol::ReplyForm::Long);
            UtilitySearchCamInfo plain;
            UtilitySearchCamInfo shared;
            QVERIFY(UtilityProtocol::parseReply(reply, &plain));
            QVERIFY(UtilityProtocol::parseReply(reply.constData(), reply.size(), &shared, &recurring));
            QVERIFY2(shared == plain, qPrintable(QString::number(i)));
            QCOMPARE(shared.model.isNull(), plain.model.isNull());
            QCOMPARE(shared.fwVersion.isNull(), plain.fwVersion.isNull());
            if (i > 0 && sequence.at(i).model == sequence.at(i - 1).model && shared.model.at(shared.model.size() - 1).unicode() < 0x80)
                QVERIFY(shared.model.isSharedWith(previous.model));
            previous = shared;
        }
        // The same reply again hands out one copy of each recurring text.
        UtilitySearchCamInfo again;
        const QByteArray last = UtilityProtocol::encodeReply(base, UtilityProtocol::ReplyForm::Short);
        QVERIFY(UtilityProtocol::parseReply(last.constData(), last.size(), &again, &recurring));
        QVERIFY(again.mask.isSharedWith(previous.mask));
        QVERIFY(again.gateway.isSharedWith(previous.gateway));
        QVERIFY(again.dns1.isSharedWith(previous.dns1));
        QVERIFY(again.dns2.isSharedWith(previous.dns2));
        QVERIFY(again.fwVersion.isSharedWith(previous.fwVersion));

        recurring.clear();
        QVERIFY(UtilityProtocol::parseReply(last.constData(), last.size(), &again, &recurring));
        QVERIFY(!again.mask.isSharedWith(previous.mask));
        QCOMPARE(again.mask, previous.mask);
    }

    // What cannot be a camera's reply, found on the bytes: a text field
    // (as the parser reads it, up to its NUL) that is not valid UTF-8 or
    // holds a control character, or a MAC no camera can have.
    void replyFaults_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("fault");
        const int none = int(UtilityProtocol::ReplyFault::None);
        const int model = int(UtilityProtocol::ReplyFault::ModelText);
        const int name = int(UtilityProtocol::ReplyFault::NameText);
        const int firmware = int(UtilityProtocol::ReplyFault::FirmwareText);
        const int mac = int(UtilityProtocol::ReplyFault::Mac);
        QTest::newRow("reference camera") << 0 << QByteArray() << none;
        QTest::newRow("UTF-8 name") << 73 << QByteArray("B\xc3\xbcro \xe2\x82\xac \xf0\x9f\x93\xb7") << none;
        QTest::newRow("empty name") << 73 << QByteArray("\0", 1) << none;
        QTest::newRow("replacement character itself") << 73 << QByteArray("\xef\xbf\xbd") << none;
        QTest::newRow("Latin-1 byte") << 73 << QByteArray("B\xfcro") << name;
        QTest::newRow("lone continuation") << 41 << QByteArray("CAM\x80") << model;
        QTest::newRow("cut sequence") << 41 << QByteArray("CAM\xe2\x82") << model;
        QTest::newRow("overlong slash") << 73 << QByteArray("\xc0\xaf") << name;
        QTest::newRow("surrogate") << 73 << QByteArray("\xed\xa0\x80") << name;
        QTest::newRow("past U+10FFFF") << 73 << QByteArray("\xf4\x90\x80\x80") << name;
        QTest::newRow("escape") << 73 << QByteArray("Hall\x1b[2J") << name;
        QTest::newRow("newline") << 105 << QByteArray("1.0\n2.0") << firmware;
        QTest::newRow("tab") << 105 << QByteArray("1.0\t") << firmware;
        QTest::newRow("DEL") << 41 << QByteArray("CAM\x7f") << model;
        QTest::newRow("C1 control") << 73 << QByteArray("Hall\xc2\x9b") << name;
        QTest::newRow("MAC all zeros") << 14 << QByteArray(6, '\0') << mac;
        QTest::newRow("MAC broadcast") << 14 << QByteArray(6, '\xff') << mac;
        QTest::newRow("MAC multicast") << 14 << QByteArray("\x01\x00\x5e\x00\x00\x01", 6) << mac;
        QTest::newRow("MAC locally administered") << 14 << QByteArray("\x02\x50\x4d\x00\x00\x01", 6) << none;
    }

    void replyFaults()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(int, fault);
        for (const int size : {UtilityProtocol::ShortReplySize, UtilityProtocol::LongReplySize}) {
            QByteArray reply = handReply(size, "dhcp");
            if (!bytes.isEmpty()) {
                reply.replace(offset, bytes.size(), bytes);
                // The text ends right after what the row wrote.
                if (offset != 14 && bytes.back() != '\0')
                    reply[offset + bytes.size()] = '\0';
            }
            QCOMPARE(int(UtilityProtocol::replyFault(reply.constData(), reply.size())), fault);
        }
    }

    // A field without a NUL runs on to the datagram's end, as the parser reads
    // it: a bad byte anywhere on that way counts.
    void replyFaultFollowsTheParsersTextEnd()
    {
        QByteArray reply = handReply(UtilityProtocol::ShortReplySize, "dhcp");
        reply.replace(105, 148, QByteArray(148, 'v'));
        QCOMPARE(int(UtilityProtocol::replyFault(reply.constData(), reply.size())),
                 int(UtilityProtocol::ReplyFault::None));
        reply[250] = '\x07';
        QCOMPARE(int(UtilityProtocol::replyFault(reply.constData(), reply.size())),
                 int(UtilityProtocol::ReplyFault::FirmwareText));
        // Not a reply's length: not a reply's fault either.
        QCOMPARE(int(UtilityProtocol::replyFault(reply.constData(), 252)), int(UtilityProtocol::ReplyFault::None));
    }
};

QTEST_GUILESS_MAIN(TestUtilityProtocol)
#include "tst_utilityprotocol.moc"
