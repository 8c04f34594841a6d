// The list both SSDP managers keep: one record per device, nothing taken
// outside a search, a hard cap, and a bounded number of refusal lines.
#include "recordinglogger.h"
#include "ssdpfoundlist.h"

#include <QtTest>

namespace {

bool sameMac(const DocCamUpnpData &a, const DocCamUpnpData &b) { return a.device.mac == b.device.mac; }

DocCamUpnpData device(int n, const QString &name = QStringLiteral("cam"))
{
    DocCamUpnpData d;
    d.device.mac = QStringLiteral("02:00:00:00:%1:%2").arg(n / 256, 2, 16, QLatin1Char('0')).arg(n % 256, 2, 16, QLatin1Char('0'));
    d.device.name = name;
    d.device.model = QStringLiteral("M%1").arg(n);
    d.device.ip = QStringLiteral("192.0.2.%1").arg(n % 250 + 1);
    return d;
}

} // namespace

class TestSsdpFoundList : public QObject
{
    Q_OBJECT

private slots:
    void oneRecordPerDeviceWithinOneSearch()
    {
        SsdpFoundList list(sameMac);
        QCOMPARE(list.merge(device(1)), SsdpFoundList::Merge::NotRunning);
        QVERIFY(list.begin());
        QVERIFY(!list.begin());
        QCOMPARE(list.merge(device(1)), SsdpFoundList::Merge::Added);
        DocCamUpnpData renamed = device(1, QStringLiteral("renamed"));
        renamed.device.ip = QStringLiteral("198.51.100.9");
        QCOMPARE(list.merge(renamed), SsdpFoundList::Merge::Updated);
        QCOMPARE(list.records().size(), 1);
        QCOMPARE(list.records().first().device.name, QStringLiteral("renamed"));
        // The first answer's address stays; only name and model follow.
        QCOMPARE(list.records().first().device.ip, device(1).device.ip);

        list.end();
        QCOMPARE(list.merge(device(2)), SsdpFoundList::Merge::NotRunning);
        QCOMPARE(list.records().size(), 1);
        QVERIFY(list.begin());
        QVERIFY(list.records().isEmpty());
    }

    void capAndRefusalLines()
    {
        RecordingLogger logger;
        LogSystem *const log = LogSystem::getSysLogSystem();
        log->setLogLevel(LogSystem::LogMajorMsg);
        log->setLogger(&logger);
        log->startLog();
        auto stopLog = qScopeGuard([log]() { log->stopLog(); log->setLogger(nullptr); });
        const auto count = [&logger](const QString &start) {
            int n = 0;
            for (const QString &message : logger.messages())
                n += message.startsWith(start) ? 1 : 0;
            return n;
        };
        SsdpFoundList list(sameMac);
        QVERIFY(list.begin());
        for (int n = 0; n < SsdpFoundList::MaxFoundDevices; ++n)
            QCOMPARE(list.merge(device(n)), SsdpFoundList::Merge::Added);
        QCOMPARE(list.merge(device(SsdpFoundList::MaxFoundDevices)), SsdpFoundList::Merge::Full);
        // A device already listed still gets its update at the cap.
        QCOMPARE(list.merge(device(7, QStringLiteral("again"))), SsdpFoundList::Merge::Updated);
        QCOMPARE(list.records().size(), SsdpFoundList::MaxFoundDevices);

        for (int i = 0; i < 3 * SsdpFoundList::MaxRefusalLogs; ++i)
            list.logRefusal(QStringLiteral("refused %1").arg(i));
        QCOMPARE(count(QStringLiteral("refused ")), SsdpFoundList::MaxRefusalLogs);
        // A new search may log again.
        list.end();
        QVERIFY(list.begin());
        list.logRefusal(QStringLiteral("refused again"));
        QCOMPARE(count(QStringLiteral("refused again")), 1);
    }
};

QTEST_GUILESS_MAIN(TestSsdpFoundList)
#include "tst_ssdpfoundlist.moc"
