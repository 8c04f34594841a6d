#include "discoveryservice.h"
#include "networkinterfacemonitor.h"

#include "../corvane/logtestsupport.h"

#include <QtTest>

// The monitor's change detection, fed by a stand-in for the host's address
// list. The netns suite checks the same with a real address added.
class TestNetworkInterfaceMonitor : public QObject
{
    Q_OBJECT

private:
    RecordingLogger logger;
    QList<QHostAddress> hostAddresses;   // what the stand-in host reports

    static QList<QHostAddress> addresses(const QStringList &texts)
    {
        QList<QHostAddress> result;
        for (const QString &text : texts)
            result.append(QHostAddress(text));
        return result;
    }

    NetworkInterfaceMonitor::AddressSource source()
    {
        return [this] { return hostAddresses; };
    }

private slots:
    void initTestCase()
    {
        LogSystem *logSystem = LogSystem::getSysLogSystem();
        logSystem->setLogLevel(LogSystem::LogDetailMsg);
        logSystem->setLogger(&logger);
        logSystem->startLog();
    }

    void cleanupTestCase()
    {
        LogSystem::getSysLogSystem()->stopLog();
        LogSystem::getSysLogSystem()->setLogger(nullptr);
    }

    void init()
    {
        logger.lines.clear();
        hostAddresses.clear();
    }

    // The program's monitor is the discovery service's: it lives exactly as
    // long as the service, and the next service has a fresh one.
    void instanceLivesWithTheService()
    {
        QVERIFY(!NetworkInterfaceMonitor::getInstance());
        QPointer<NetworkInterfaceMonitor> watch;
        {
            DiscoveryService service;
            NetworkInterfaceMonitor *first = NetworkInterfaceMonitor::getInstance();
            watch = first;
            QCOMPARE(NetworkInterfaceMonitor::getInstance(), first);
            QCOMPARE(service.monitor(), first);
            first->setPolling(true);
            QVERIFY(watch);
        }
        QVERIFY(!watch);
        QVERIFY(!NetworkInterfaceMonitor::getInstance());
        DiscoveryService again;
        NetworkInterfaceMonitor *second = NetworkInterfaceMonitor::getInstance();
        QVERIFY(second);
        QVERIFY(!second->isPolling());
    }

    void onlyLocalIpv4AddressesCount()
    {
        const QList<QHostAddress> all = addresses({"127.0.0.1", "::1", "192.0.2.1", "fe80::1", "127.0.0.2",
                                                   "198.51.100.7", "::ffff:203.0.113.1"});
        QCOMPARE(NetworkInterfaceMonitor::localAddresses(all), addresses({"192.0.2.1", "198.51.100.7"}));
    }

    void pollDecision_data()
    {
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<QStringList>("knownAfter");
        const QStringList a{"192.0.2.1"};
        const QStringList ab{"192.0.2.1", "198.51.100.1"};
        QTest::newRow("nothing changed") << ab << ab << false << ab;
        QTest::newRow("order changed only") << ab << QStringList{"198.51.100.1", "192.0.2.1"} << false << ab;
        QTest::newRow("address added") << a << ab << true << ab;
        QTest::newRow("address removed") << ab << a << true << a;
        QTest::newRow("last address gone") << a << QStringList() << true << QStringList();
        QTest::newRow("still none") << QStringList() << QStringList() << false << QStringList();
        QTest::newRow("first address back") << QStringList() << a << true << a;
        QTest::newRow("two swapped for two") << ab << QStringList{"203.0.113.1", "203.0.113.2"} << true
                                             << QStringList{"203.0.113.1", "203.0.113.2"};
        QTest::newRow("one replaced, same count") << ab << QStringList{"192.0.2.1", "203.0.113.9"} << true
                                                  << QStringList{"192.0.2.1", "203.0.113.9"};
    }

    void pollDecision()
    {
        QFETCH(QStringList, known);
        QFETCH(QStringList, current);
        QFETCH(bool, reported);
        QFETCH(QStringList, knownAfter);

        QList<QHostAddress> list = addresses(known);
        QCOMPARE(NetworkInterfaceMonitor::applyPoll(list, addresses(current)), reported);
        QCOMPARE(list, addresses(knownAfter));
        // The poll after it sees the same host: nothing more to report.
        QVERIFY(!NetworkInterfaceMonitor::applyPoll(list, addresses(current)));
    }

    void creationLogsTheAddressesFound()
    {
        hostAddresses = addresses({"127.0.0.1", "192.0.2.1", "198.51.100.1"});
        NetworkInterfaceMonitor monitor(source());
        QCOMPARE(logger.messages(), (QStringList{"add address 192.0.2.1", "add address 198.51.100.1"}));
        QVERIFY(!monitor.isPolling());
    }

    void getAddressesLeavesTheCallerAloneWhenThereAreNone()
    {
        hostAddresses = addresses({"127.0.0.1", "::1"});
        NetworkInterfaceMonitor monitor(source());
        QList<QHostAddress> callers = addresses({"203.0.113.5"});
        QVERIFY(!monitor.getAddresses(callers));
        QCOMPARE(callers, addresses({"203.0.113.5"}));

        hostAddresses = addresses({"192.0.2.1", "::1", "198.51.100.1"});
        QVERIFY(monitor.getAddresses(callers));
        QCOMPARE(callers, addresses({"192.0.2.1", "198.51.100.1"}));
    }

    void pollsReportEachChangeOnce()
    {
        hostAddresses = addresses({"192.0.2.1"});
        NetworkInterfaceMonitor monitor(source());
        QSignalSpy changes(&monitor, &NetworkInterfaceMonitor::networkInterfaceHasChanged);
        monitor.setPolling(true);
        QVERIFY(monitor.isPolling());

        hostAddresses = addresses({"192.0.2.1", "198.51.100.1"});
        QVERIFY(changes.wait(2500));
        QCOMPARE(changes.count(), 1);
        // The timer is re-armed after every poll; the next one finds nothing new.
        QVERIFY(monitor.isPolling());
        QVERIFY(!changes.wait(1300));

        // A caller refreshing the list before the poll takes the news away.
        hostAddresses = addresses({"192.0.2.1"});
        QList<QHostAddress> callers;
        QVERIFY(monitor.getAddresses(callers));
        QVERIFY(!changes.wait(1300));

        monitor.setPolling(false);
        QVERIFY(!monitor.isPolling());
        hostAddresses.clear();
        QVERIFY(!changes.wait(1300));
        QCOMPARE(changes.count(), 1);
        QVERIFY(logger.messages().filter(QStringLiteral("add address")).size() == 1);
    }
};

QTEST_GUILESS_MAIN(TestNetworkInterfaceMonitor)
#include "tst_networkinterfacemonitor.moc"
