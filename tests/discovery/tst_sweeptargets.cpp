// What a sweep probes, worked out before anything is sent: target texts and
// files into one merged address set, the plan (datagrams, time at a rate,
// confirmation) and the progress figures.
#include "ipv4rangeset.h"
#include "sweepplan.h"
#include "sweepprogress.h"
#include "sweeptargets.h"

#include <QHostAddress>
#include <QTemporaryFile>
#include <QtTest>

#include <random>

namespace {

quint32 ip(const char *text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

QString rangesText(const Ipv4RangeSet &set)
{
    QStringList parts;
    for (const Ipv4RangeSet::Range &range : set.ranges())
        parts << QHostAddress(range.first).toString() + QLatin1Char('-') + QHostAddress(range.last).toString();
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestSweepTargets : public QObject
{
    Q_OBJECT

private slots:
    void entries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("ranges");   // empty: refused
        QTest::addColumn<QString>("error");    // part of the message when refused

        QTest::newRow("address") << "192.0.2.7" << "192.0.2.7-192.0.2.7" << "";
        QTest::newRow("blanks around") << "  192.0.2.7\t" << "192.0.2.7-192.0.2.7" << "";
        QTest::newRow("/24 without network and broadcast") << "10.20.1.0/24" << "10.20.1.1-10.20.1.254" << "";
        QTest::newRow("/16") << "10.20.0.0/16" << "10.20.0.1-10.20.255.254" << "";
        QTest::newRow("host bits ignored") << "10.20.1.5/16" << "10.20.0.1-10.20.255.254" << "";
        QTest::newRow("/30 keeps two") << "192.0.2.8/30" << "192.0.2.9-192.0.2.10" << "";
        QTest::newRow("/31 keeps both") << "192.0.2.8/31" << "192.0.2.8-192.0.2.9" << "";
        QTest::newRow("/32") << "192.0.2.8/32" << "192.0.2.8-192.0.2.8" << "";
        QTest::newRow("range") << "10.20.1.10-10.20.1.200" << "10.20.1.10-10.20.1.200" << "";
        QTest::newRow("range across blocks") << "10.20.1.250-10.20.2.3" << "10.20.1.250-10.20.2.3" << "";
        QTest::newRow("one-address range") << "10.20.1.10-10.20.1.10" << "10.20.1.10-10.20.1.10" << "";

        QTest::newRow("backwards range") << "10.20.1.200-10.20.1.10" << "" << "ends before it starts";
        QTest::newRow("prefix 33") << "10.0.0.0/33" << "" << "prefix length is a number from 0 to 32";
        QTest::newRow("prefix empty") << "10.0.0.0/" << "" << "prefix length";
        QTest::newRow("prefix signed") << "10.0.0.0/+8" << "" << "prefix length";
        QTest::newRow("octet 256") << "10.0.0.256" << "" << "is not an address";
        QTest::newRow("four digits") << "10.0.0.1000" << "" << "is not an address";
        QTest::newRow("three parts") << "10.0.1" << "" << "is not an address";
        QTest::newRow("name") << "camera.local" << "" << "is not an address";
        QTest::newRow("short range end") << "10.20.1.10-200" << "" << "is not an address";
        QTest::newRow("range and prefix") << "10.0.0.0/24-10.0.1.0" << "" << "is not an address";
        QTest::newRow("empty") << "" << "" << "an empty target";
        QTest::newRow("too long") << QString(80, QLatin1Char('1')) << "" << "longer than 64";
        QTest::newRow("all of IPv4") << "0.0.0.0/0" << "" << "\"this network\"";
        QTest::newRow("loopback") << "127.0.0.1" << "" << "loopback";
        QTest::newRow("multicast inside a range") << "223.255.255.250-224.0.0.5" << "" << "multicast";
        QTest::newRow("limited broadcast") << "255.255.255.255" << "" << "broadcast";
        QTest::newRow("IPv6") << "2001:db8::1" << "" << "is not an address";
        QTest::newRow("larger than a /8") << "10.0.0.0/7" << "" << "at most 16777216";
    }

    void entries()
    {
        QFETCH(QString, text);
        QFETCH(QString, ranges);
        QFETCH(QString, error);
        Ipv4RangeSet set;
        set.add(ip("223.0.0.1"), ip("223.0.0.1"));
        const Ipv4RangeSet before = set;
        QString why;
        const bool ok = SweepTargets::parseEntry(text, &set, &why);
        QCOMPARE(ok, !ranges.isEmpty());
        if (ok) {
            QVERIFY(why.isEmpty());
            QCOMPARE(rangesText(set), ranges + QStringLiteral(" 223.0.0.1-223.0.0.1"));
        } else {
            QVERIFY2(why.contains(error), qPrintable(why));
            QVERIFY(!why.endsWith(QLatin1Char('.')));
            // A refused entry leaves the set as it was.
            QCOMPARE(set.ranges(), before.ranges());
        }
    }

    void listsMergeDeduplicateAndNameTheLine()
    {
        const QByteArray list = "# site A\n"
                                "10.20.1.0/24\n"
                                "\n"
                                "10.20.1.7          # already in the /24\n"
                                "10.20.2.1-10.20.2.10\r\n"
                                "10.20.1.255\n"
                                "  10.20.0.254  \n";
        Ipv4RangeSet set;
        QString error;
        QVERIFY2(SweepTargets::parseList(list, &set, &error), qPrintable(error));
        // The /24's .1-.254 and its broadcast .255 join; the duplicate adds nothing.
        QCOMPARE(rangesText(set), QStringLiteral("10.20.0.254-10.20.0.254 10.20.1.1-10.20.1.255 10.20.2.1-10.20.2.10"));
        QCOMPARE(set.count(), quint64(1 + 255 + 10));

        Ipv4RangeSet untouched;
        QVERIFY(!SweepTargets::parseList("10.0.0.1\n# fine\n10.0.0.x\n", &untouched, &error));
        QCOMPARE(error, QStringLiteral("line 3: \"10.0.0.x\" is not an address, a network (A.B.C.D/N) or a range "
                                       "(A.B.C.D-E.F.G.H)"));
        QVERIFY(untouched.isEmpty());
        QVERIFY(!SweepTargets::parseList("# nothing\n\n", &untouched, &error));
        QCOMPARE(error, QStringLiteral("the list names no target"));
        QVERIFY(!SweepTargets::parseList(QByteArray(int(SweepTargets::MaxFileBytes) + 1, '#'), &untouched, &error));
        QVERIFY2(error.contains(QLatin1String("at most 1048576")), qPrintable(error));
        QByteArray many;
        for (int i = 0; i <= SweepTargets::MaxEntries; ++i)
            many += "10.1.2.3\n";
        QVERIFY(!SweepTargets::parseList(many, &untouched, &error));
        QCOMPARE(error, QStringLiteral("line %1: more than %2 entries").arg(SweepTargets::MaxEntries + 1)
                            .arg(SweepTargets::MaxEntries));
        // Each entry fits, together they pass the cap.
        QVERIFY(!SweepTargets::parseList("10.0.0.0/8\n11.0.0.0/29\n", &untouched, &error));
        QVERIFY2(error.contains(QLatin1String("at most 16777216")), qPrintable(error));
        QVERIFY(untouched.isEmpty());
    }

    void filesAreReadWithTheirName()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("192.0.2.0/28\n192.0.2.300\n");
        file.close();
        Ipv4RangeSet set;
        QString error;
        QVERIFY(!SweepTargets::readFile(file.fileName(), &set, &error));
        QCOMPARE(error, file.fileName() + QStringLiteral(": line 2: \"192.0.2.300\" is not an address, a network "
                                                         "(A.B.C.D/N) or a range (A.B.C.D-E.F.G.H)"));
        QVERIFY(!SweepTargets::readFile(file.fileName() + QStringLiteral(".missing"), &set, &error));
        QVERIFY(error.startsWith(QLatin1String("cannot read ")));
    }

    // Ranges added one by one and all at once give the same set, and the
    // cursor walks every address exactly once, in order.
    void rangeSetMatchesAPlainSet()
    {
        std::mt19937 random(26);
        for (int round = 0; round < 50; ++round) {
            Ipv4RangeSet oneByOne;
            std::vector<Ipv4RangeSet::Range> batch;
            QSet<quint32> plain;
            for (int i = 0; i < 12; ++i) {
                const quint32 first = 0xc0000200u + random() % 200;
                const quint32 last = first + random() % 12;
                oneByOne.add(last, first);   // backwards on purpose
                batch.push_back({first, last});
                for (quint32 a = first; a <= last; ++a)
                    plain.insert(a);
            }
            Ipv4RangeSet together;
            together.add(batch);
            QCOMPARE(together.ranges(), oneByOne.ranges());
            QCOMPARE(oneByOne.count(), quint64(plain.size()));
            quint32 previous = 0;
            int walked = 0;
            for (Ipv4RangeSet::Cursor cursor(oneByOne); !cursor.atEnd(); cursor.next(), ++walked) {
                QVERIFY(plain.contains(cursor.address()));
                QVERIFY(walked == 0 || cursor.address() > previous);
                previous = cursor.address();
            }
            QCOMPARE(walked, plain.size());
            for (quint32 a = 0xc0000200u; a < 0xc0000200u + 220; ++a)
                QCOMPARE(oneByOne.contains(a), plain.contains(a));
        }
        // The top of the address space does not wrap.
        Ipv4RangeSet top;
        top.add(0xfffffffeu, 0xffffffffu);
        top.add(0xfffffff0u, 0xfffffffdu);
        QCOMPARE(top.ranges().size(), size_t(1));
        QCOMPARE(top.count(), quint64(16));
        int walked = 0;
        for (Ipv4RangeSet::Cursor cursor(top); !cursor.atEnd(); cursor.next())
            ++walked;
        QCOMPARE(walked, 16);
    }

    void plan()
    {
        const SweepPlan sixteen(65534, SweepPlan::DefaultRatePps);
        QCOMPARE(sixteen.datagrams(), quint64(65534 * 4));
        QCOMPARE(sixteen.sendingMs(), qint64(26214));   // 262 136 datagrams at 10 000 a second, rounded up
        QCOMPARE(sixteen.durationMs(), qint64(26214 + SweepPlan::DefaultReplyWindowMs));
        QVERIFY(sixteen.durationMs() <= 30000);
        QVERIFY(!sixteen.needsConfirmation());
        QVERIFY(!SweepPlan(65536, 100).needsConfirmation());
        QVERIFY(SweepPlan(65537, 100).needsConfirmation());
        QCOMPARE(SweepPlan(1, 3).ratePps(), SweepPlan::MinRatePps);
        QCOMPARE(SweepPlan(1, 1 << 30).ratePps(), SweepPlan::MaxRatePps);
        QCOMPARE(SweepPlan(1, 100, -5).replyWindowMs(), 0);
        QCOMPARE(sixteen.summary(), QStringLiteral("65534 addresses, 262136 datagrams (both queries, 2 passes) at "
                                                   "10000 per second: about 27 s"));
        QCOMPARE(SweepPlan::durationText(999), QStringLiteral("999 ms"));
        QCOMPARE(SweepPlan::durationText(59499), QStringLiteral("59 s"));
        QCOMPARE(SweepPlan::durationText(60000), QStringLiteral("1 min"));
        QCOMPARE(SweepPlan::durationText(185000), QStringLiteral("3 min 5 s"));
        QCOMPARE(SweepPlan::durationText(6720000), QStringLiteral("1 h 52 min"));

        Ipv4RangeSet set;
        QString error;
        for (const char *entry : {"10.20.0.0/16", "192.0.2.7", "192.0.2.20-192.0.2.30", "198.51.100.0/30"})
            QVERIFY(SweepTargets::parseEntry(QString::fromLatin1(entry), &set, &error));
        QCOMPARE(SweepPlan::rangeTexts(set, 10), (QStringList{QStringLiteral("10.20.0.0/16"), QStringLiteral("192.0.2.7"),
                                                              QStringLiteral("192.0.2.20-192.0.2.30"),
                                                              QStringLiteral("198.51.100.1-198.51.100.2")}));
        QCOMPARE(SweepPlan::rangeTexts(set, 2).last(), QStringLiteral("... and 2 more ranges"));
    }

    void progress()
    {
        SweepProgress progress(SweepPlan(1000, 1000, 2000));   // 4 000 datagrams: 4 s, then 2 s of listening
        QCOMPARE(progress.pass(), 1);
        QCOMPARE(progress.timeLeftMs(), qint64(6000));
        QCOMPARE(progress.fraction(), 0.0);
        progress.datagramsSent = 2400;   // 600 probes into the second pass
        progress.elapsedMs = 2400;
        QCOMPARE(progress.probesSent(), quint64(1200));
        QCOMPARE(progress.probesTotal(), quint64(2000));
        QCOMPARE(progress.pass(), 2);
        QCOMPARE(progress.timeLeftMs(), qint64(1600 + 2000));
        QCOMPARE(progress.fraction(), 0.4);
        progress.datagramsSent = 4000;
        progress.sendingEndedMs = 4100;
        progress.elapsedMs = 5100;
        QCOMPARE(progress.pass(), 2);
        QCOMPARE(progress.timeLeftMs(), qint64(1000));
        progress.elapsedMs = 7000;   // late end: never below zero
        QCOMPARE(progress.timeLeftMs(), qint64(0));
        progress.finished = true;
        QCOMPARE(progress.fraction(), 1.0);
    }
};

QTEST_GUILESS_MAIN(TestSweepTargets)
#include "tst_sweeptargets.moc"
