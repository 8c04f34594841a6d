#include "samplecamera.h"
#include "utilitydevicelist.h"
#include "utilityprotocol.h"
#include "utilityreplyfilter.h"

#include <QtTest>

// How replies become the device list: the merge by MAC and model, and the
// filter that keeps one datagram from counting twice.
class TestUtilityMerge : public QObject
{
    Q_OBJECT

private:
    static UtilitySearchCamInfo camera(const QString &mac, const QString &model, const QString &ip)
    {
        return sampleCamera(mac, model, ip);
    }

private slots:
    void shortThenLongReplyGivesOneRecordWithSerial()
    {
        UtilityDeviceList list;
        const UtilitySearchCamInfo first = camera(QStringLiteral("00:1a:2b:3c:4d:5e"), QStringLiteral("cam-100"),
                                                  QStringLiteral("192.0.2.10"));
        QCOMPARE(list.merge(first), UtilityDeviceList::MergeResult::Appended);

        UtilitySearchCamInfo longForm = first;
        longForm.mac = first.mac.toUpper();
        longForm.model = QStringLiteral("CAM-100");
        longForm.serialNo = QStringLiteral("SN42");
        QCOMPARE(list.merge(longForm), UtilityDeviceList::MergeResult::Updated);

        QCOMPARE(list.size(), 1);
        QCOMPARE(list.records().at(0).serialNo, QStringLiteral("SN42"));
        // The first reply's key texts stay.
        QCOMPARE(list.records().at(0).mac, first.mac);
        QCOMPARE(list.records().at(0).model, first.model);

        // A later short reply keeps the serial number.
        QCOMPARE(list.merge(first), UtilityDeviceList::MergeResult::Updated);
        QCOMPARE(list.records().at(0).serialNo, QStringLiteral("SN42"));
    }

    void knownCameraTakesOnlySomeFields()
    {
        UtilityDeviceList list;
        const UtilitySearchCamInfo first = camera(QStringLiteral("02:00:00:00:00:01"), QStringLiteral("M"),
                                                  QStringLiteral("192.0.2.10"));
        list.merge(first);

        UtilitySearchCamInfo changed = first;
        changed.ip = QStringLiteral("198.51.100.10");
        changed.mask = QStringLiteral("255.255.0.0");
        changed.gateway = QStringLiteral("198.51.100.1");
        changed.name = QStringLiteral("renamed");
        changed.fwVersion = QStringLiteral("2.0");
        changed.dhcp = false;
        changed.dns1 = QStringLiteral("198.51.100.53");
        changed.dns2 = QStringLiteral("198.51.100.54");
        changed.ipv6 = QStringLiteral("2001:db8::1");

        QCOMPARE(list.merge(changed), UtilityDeviceList::MergeResult::IpChanged);
        // The same reply again is no new change.
        QCOMPARE(list.merge(changed), UtilityDeviceList::MergeResult::Updated);

        const UtilitySearchCamInfo &merged = list.records().at(0);
        QCOMPARE(merged.ip, changed.ip);
        QCOMPARE(merged.mask, changed.mask);
        QCOMPARE(merged.gateway, changed.gateway);
        QCOMPARE(merged.name, changed.name);
        QCOMPARE(merged.fwVersion, changed.fwVersion);
        QCOMPARE(merged.dhcp, first.dhcp);
        QCOMPARE(merged.dns1, first.dns1);
        QCOMPARE(merged.dns2, first.dns2);
        QCOMPARE(merged.ipv6, first.ipv6);
    }

    void sameMacOtherModelIsAnotherRecord()
    {
        UtilityDeviceList list;
        const QString mac = QStringLiteral("02:00:00:00:00:02");
        QCOMPARE(list.merge(camera(mac, QStringLiteral("A"), QStringLiteral("192.0.2.2"))), UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(mac, QStringLiteral("B"), QStringLiteral("192.0.2.3"))), UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(QStringLiteral("02:00:00:00:00:03"), QStringLiteral("A"), QStringLiteral("192.0.2.4"))),
                 UtilityDeviceList::MergeResult::Appended);
        // Key texts must not be confused by where one ends and the other starts.
        QCOMPARE(list.merge(camera(mac + QStringLiteral("A"), QString(), QStringLiteral("192.0.2.5"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(mac, QStringLiteral("a"), QStringLiteral("192.0.2.9"))), UtilityDeviceList::MergeResult::IpChanged);

        QCOMPARE(list.size(), 4);
        QCOMPARE(list.records().at(0).model, QStringLiteral("A"));
        QCOMPARE(list.records().at(0).ip, QStringLiteral("192.0.2.9"));
        QCOMPARE(list.records().at(1).model, QStringLiteral("B"));
        QCOMPARE(list.records().at(1).ip, QStringLiteral("192.0.2.3"));
    }

    void largeFleetKeepsOrderAndIndex()
    {
        UtilityDeviceList list;
        const int count = 5000;
        for (int i = 0; i < count; ++i) {
            const QString mac = UtilityProtocol::macToText({0x02, 0, 0, quint8(i >> 16), quint8(i >> 8), quint8(i)});
            QCOMPARE(list.merge(camera(mac, QStringLiteral("M"), QStringLiteral("192.0.2.1"))),
                     UtilityDeviceList::MergeResult::Appended);
        }
        // Every camera answering its second query lands on its own record.
        for (int i = count - 1; i >= 0; --i) {
            UtilitySearchCamInfo info = camera(UtilityProtocol::macToText({0x02, 0, 0, quint8(i >> 16), quint8(i >> 8), quint8(i)}),
                                               QStringLiteral("m"), QStringLiteral("192.0.2.1"));
            info.serialNo = QString::number(i);
            QCOMPARE(list.merge(info), UtilityDeviceList::MergeResult::Updated);
        }
        QCOMPARE(list.size(), count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(list.records().at(i).serialNo, QString::number(i));

        list.clear();
        QCOMPARE(list.size(), 0);
        QCOMPARE(list.merge(camera(QStringLiteral("02:00:00:00:00:00"), QStringLiteral("M"), QStringLiteral("192.0.2.1"))),
                 UtilityDeviceList::MergeResult::Appended);
    }

    // A flood of forged cameras stops at the cap; the cameras already listed
    // still take their updates.
    void fullListRefusesNewCamerasOnly()
    {
        UtilityDeviceList list;
        auto macOf = [](int i) {
            return UtilityProtocol::macToText({0x02, 0, 0, quint8(i >> 16), quint8(i >> 8), quint8(i)});
        };
        for (int i = 0; i < UtilityDeviceList::MaxDevices; ++i)
            list.merge(camera(macOf(i), QStringLiteral("M"), QStringLiteral("192.0.2.1")));
        QCOMPARE(list.merge(camera(macOf(UtilityDeviceList::MaxDevices), QStringLiteral("M"), QStringLiteral("192.0.2.1"))),
                 UtilityDeviceList::MergeResult::Refused);
        QCOMPARE(list.size(), UtilityDeviceList::MaxDevices);
        QCOMPARE(list.merge(camera(macOf(7), QStringLiteral("M"), QStringLiteral("192.0.2.7"))),
                 UtilityDeviceList::MergeResult::IpChanged);
    }

    // The key is the case-folded text: letters outside ASCII fold too, and a
    // sign that folds to a plain letter matches that letter.
    void modelsCompareCaseFolded()
    {
        UtilityDeviceList list;
        const QString mac = QStringLiteral("02:00:00:00:00:07");
        QCOMPARE(list.merge(camera(mac, QStringLiteral("\u00c4RA-K1"), QStringLiteral("192.0.2.2"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(mac, QStringLiteral("\u00e4ra-k1"), QStringLiteral("192.0.2.2"))),
                 UtilityDeviceList::MergeResult::Updated);
        // U+212A KELVIN SIGN folds to "k".
        QCOMPARE(list.merge(camera(mac, QStringLiteral("\u00e4ra-\u212a1"), QStringLiteral("192.0.2.3"))),
                 UtilityDeviceList::MergeResult::IpChanged);
        QCOMPARE(list.merge(camera(mac, QStringLiteral("\u00e4ra-x1"), QStringLiteral("192.0.2.3"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.records().at(0).model, QStringLiteral("\u00c4RA-K1"));

        // One model text object for a whole fleet, then another model: the
        // folded key must follow the text, not the last one seen.
        const QString fleetModel = QStringLiteral("FLEET-A");
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(list.merge(camera(UtilityProtocol::macToText({2, 1, 0, 0, 0, quint8(i)}), fleetModel,
                                       QStringLiteral("192.0.2.4"))),
                     UtilityDeviceList::MergeResult::Appended);
        }
        QCOMPARE(list.merge(camera(UtilityProtocol::macToText({2, 1, 0, 0, 0, 0}), QStringLiteral("FLEET-B"),
                                   QStringLiteral("192.0.2.4"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(UtilityProtocol::macToText({2, 1, 0, 0, 0, 1}), QStringLiteral("fleet-a"),
                                   QStringLiteral("192.0.2.5"))),
                 UtilityDeviceList::MergeResult::IpChanged);
        QCOMPARE(list.size(), 6);

        list.clear();
        QCOMPARE(list.merge(camera(mac, QString(), QStringLiteral("192.0.2.2"))), UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(mac, QStringLiteral(""), QStringLiteral("192.0.2.2"))), UtilityDeviceList::MergeResult::Updated);
    }

    // A MAC text folds like a model: capitals anywhere and letters outside
    // ASCII find the record of their folded twin; a text that folding does
    // not change is kept as it came.
    void macsCompareCaseFolded()
    {
        UtilityDeviceList list;
        const QString model = QStringLiteral("CAM-1");
        QCOMPARE(list.merge(camera(QStringLiteral("02:ab:cd:00:00:0f"), model, QStringLiteral("192.0.2.2"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(QStringLiteral("02:AB:cd:00:00:0f"), model, QStringLiteral("192.0.2.2"))),
                 UtilityDeviceList::MergeResult::Updated);
        QCOMPARE(list.merge(camera(QStringLiteral("02:ab:cd:00:00:0F"), model, QStringLiteral("192.0.2.3"))),
                 UtilityDeviceList::MergeResult::IpChanged);
        QCOMPARE(list.merge(camera(QStringLiteral("02:\u00c4b:cd:00:00:0f"), model, QStringLiteral("192.0.2.3"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(QStringLiteral("02:\u00e4B:cd:00:00:0f"), model, QStringLiteral("192.0.2.3"))),
                 UtilityDeviceList::MergeResult::Updated);
        // U+212A KELVIN SIGN folds to "k", as in a model.
        QCOMPARE(list.merge(camera(QStringLiteral("02:\u212a:00"), model, QStringLiteral("192.0.2.3"))),
                 UtilityDeviceList::MergeResult::Appended);
        QCOMPARE(list.merge(camera(QStringLiteral("02:k:00"), model, QStringLiteral("192.0.2.4"))),
                 UtilityDeviceList::MergeResult::IpChanged);
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.records().at(0).mac, QStringLiteral("02:ab:cd:00:00:0f"));
        QCOMPARE(list.records().at(1).mac, QStringLiteral("02:\u00c4b:cd:00:00:0f"));
    }

    void filterDropsOneDatagramSeenTwice()
    {
        UtilityReplyFilter filter;
        const QHostAddress camera(QStringLiteral("192.0.2.10"));
        const QByteArray reply(253, 'r');
        const quint64 boundSocket = 1ull << 32 | 3;
        const quint64 wildcard = 3;

        QVERIFY(filter.accept(reply, camera, 8000, boundSocket, 0));
        QVERIFY(!filter.accept(reply, camera, 8000, wildcard, 5));
        // The camera answering the second query the same way is a genuine repeat.
        QVERIFY(filter.accept(reply, camera, 8000, boundSocket, 10));
        QVERIFY(filter.accept(reply, camera, 8000, boundSocket, 10));
        // Another sender, port or content is another datagram.
        QVERIFY(filter.accept(reply, QHostAddress(QStringLiteral("192.0.2.11")), 8000, wildcard, 11));
        QVERIFY(filter.accept(reply, camera, 8001, wildcard, 11));
        QVERIFY(filter.accept(QByteArray(253, 's'), camera, 8000, wildcard, 11));
        // Long after, the other way is a new datagram again.
        QVERIFY(filter.accept(reply, camera, 8000, wildcard, 10 + UtilityReplyFilter::DuplicateWindowMs));
        QVERIFY(!filter.accept(reply, camera, 8000, boundSocket, 11 + UtilityReplyFilter::DuplicateWindowMs));

        filter.clear();
        QCOMPARE(filter.size(), 0);
        QVERIFY(filter.accept(reply, camera, 8000, wildcard, 12 + UtilityReplyFilter::DuplicateWindowMs));
    }

    // A fleet fills the table far past its first size; copies are still found
    // after it grew, and entries past the window are let go when it would grow.
    void filterKeepsFindingCopiesOfAFleet()
    {
        UtilityReplyFilter filter;
        const quint64 bound = 1ull << 32 | 3;
        const quint64 wildcard = 3;
        const int fleet = 20000;
        const auto reply = [](int i) {
            QByteArray datagram(253, '\0');
            datagram[14] = char(i >> 16);
            datagram[15] = char(i >> 8);
            datagram[16] = char(i);
            return datagram;
        };
        for (int i = 0; i < fleet; ++i)
            QVERIFY(filter.accept(reply(i), QHostAddress(quint32(0xc0000200 + i % 200)), 8000, bound, i / 100));
        QCOMPARE(filter.size(), fleet);
        for (int i = 0; i < fleet; i += 7)
            QVERIFY(!filter.accept(reply(i), QHostAddress(quint32(0xc0000200 + i % 200)), 8000, wildcard, 200));
        // Same payload from another sender or port is another datagram.
        QVERIFY(filter.accept(reply(5), QHostAddress(quint32(0xc0000200 + 6)), 8000, wildcard, 200));
        QVERIFY(filter.accept(reply(5), QHostAddress(quint32(0xc0000200 + 5)), 8001, wildcard, 200));

        // Long after, the old entries decide nothing and make room.
        const qint64 later = 1000 + UtilityReplyFilter::DuplicateWindowMs;
        for (int i = 0; i < fleet; ++i)
            QVERIFY(filter.accept(reply(fleet + i), QHostAddress(quint32(0xc0000300)), 8000, bound, later));
        QVERIFY(filter.size() < 2 * fleet);
        QVERIFY(filter.accept(reply(0), QHostAddress(quint32(0xc0000200)), 8000, wildcard, later));
        QVERIFY(!filter.accept(reply(fleet + 1), QHostAddress(quint32(0xc0000300)), 8000, wildcard, later + 1));
        QVERIFY(!filter.accept(reply(0), QHostAddress(quint32(0xc0000200)), 8000, bound, later + 1));

        // An IPv6 sender is keyed by its text and never meets an IPv4 key.
        const QHostAddress v6(QStringLiteral("2001:db8::1"));
        QVERIFY(filter.accept(reply(1), v6, 8000, bound, later));
        QVERIFY(!filter.accept(reply(1), v6, 8000, wildcard, later));
    }

    void lateSecondCopyCannotUndoAnAddressChange()
    {
        // The camera moves from one address to another; a copy of its old
        // reply that arrives the other way later must not move it back.
        UtilityReplyFilter filter;
        UtilityDeviceList list;
        UtilitySearchCamInfo before = camera(QStringLiteral("02:00:00:00:00:05"), QStringLiteral("M"), QStringLiteral("192.0.2.10"));
        UtilitySearchCamInfo after = before;
        after.ip = QStringLiteral("192.0.2.20");
        const QByteArray oldReply = UtilityProtocol::encodeReply(before, UtilityProtocol::ReplyForm::Short);
        const QByteArray newReply = UtilityProtocol::encodeReply(after, UtilityProtocol::ReplyForm::Short);
        const QHostAddress sender(QStringLiteral("192.0.2.10"));

        int ipChanges = 0;
        const auto deliver = [&](const QByteArray &datagram, quint64 path, qint64 now) {
            if (!filter.accept(datagram, sender, 8000, path, now))
                return;
            UtilitySearchCamInfo info;
            QVERIFY(UtilityProtocol::parseReply(datagram, &info));
            if (list.merge(info) == UtilityDeviceList::MergeResult::IpChanged)
                ++ipChanges;
        };
        deliver(oldReply, 1, 0);
        deliver(newReply, 1, 3);
        deliver(oldReply, 2, 4);   // the same old datagram, through the other socket
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.records().at(0).ip, after.ip);
        QCOMPARE(ipChanges, 1);
    }
};

QTEST_GUILESS_MAIN(TestUtilityMerge)
#include "tst_utilitymerge.moc"
