// Power-on with two local addresses, in the two-adapter test LAN: every
// VISCA message leaves once through each bound socket, the camera answers
// every copy, and still the program sends one power-on command (one copy per
// socket) and reports the completion once.
#include "discoveryservice.h"
#include "camsimprocess.h"
#include "searchmanager.h"
#include "testlan.h"
#include "viscaoipcontrol.h"

#include <QSignalSpy>
#include <QtTest>

class TestLanPowerTwoAdapters : public QObject
{
    Q_OBJECT

private:
    DiscoveryService *discovery = nullptr;
    SearchManager *manager = nullptr;
    CamsimProcess *camsim = nullptr;

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::programAddresses().size() >= 2, "this suite needs the two-adapter LAN");
        discovery = new DiscoveryService;
        manager = SearchManager::getInstance();
        manager->setSearchTypes(SearchManager::UtilitySearchBit);
    }

    void cleanupTestCase()
    {
        delete camsim;
        delete discovery;
        discovery = nullptr;
    }

    void everyMessageLeavesThroughEverySocket()
    {
        const QString ip = QStringLiteral("192.0.2.81");
        const QString mac = QStringLiteral("02:50:4d:00:08:01");
        camsim = new CamsimProcess(this);
        QVERIFY2(camsim->start(0, {QStringLiteral("--camera"), QStringLiteral("ip=%1,mac=%2,power=standby").arg(ip, mac)}),
                 qPrintable(camsim->errorText()));

        ViscaOipControl *visca = ViscaOipControl::getInstance();
        QSignalSpy state(visca, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply);
        QSignalSpy status(manager, &SearchManager::emitViscaStatus);
        QCOMPARE(manager->setPowerOn(ip, mac), 0);
        QCOMPARE(visca->socketCount(), TestLan::programAddresses().size());
        QTRY_VERIFY_WITH_TIMEOUT(status.count() >= 1, 5000);
        QTest::qWait(800);   // room for the answers to the second copies
        
        QCOMPARE(state.count(), 1);
        QCOMPARE(state.first().at(1).toInt(), 3);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.first().first().toInt(), 5);

        // Inquiry and command each arrive once per program address, with the
        // same sequence number, and the camera answered all of them.
        QStringList inquiryFrom, commandFrom;
        const QList<QJsonObject> seen = camsim->events(QStringLiteral("visca"));
        for (const QJsonObject &e : seen) {
            QCOMPARE(e.value(QStringLiteral("camera")).toString(), mac);
            const QString from = e.value(QStringLiteral("from")).toString().section(QLatin1Char(':'), 0, 0);
            const QString payload = e.value(QStringLiteral("payload")).toString();
            if (payload == QLatin1String("81090400ff")) {
                QCOMPARE(e.value(QStringLiteral("seq")).toInt(), 0);
                QCOMPARE(e.value(QStringLiteral("answer")).toArray().size(), 1);
                inquiryFrom << from;
            } else {
                QCOMPARE(payload, QStringLiteral("8101040002ff"));
                QCOMPARE(e.value(QStringLiteral("seq")).toInt(), 1);
                QCOMPARE(e.value(QStringLiteral("answer")).toArray().size(), 2);
                commandFrom << from;
            }
        }
        QStringList expected = TestLan::programAddresses();
        expected.sort();
        inquiryFrom.sort();
        commandFrom.sort();
        QCOMPARE(inquiryFrom, expected);
        QCOMPARE(commandFrom, expected);
        QCOMPARE(camsim->count(QStringLiteral("wol")), 0);
    }
};

QTEST_GUILESS_MAIN(TestLanPowerTwoAdapters)
#include "tst_lanpowertwoadapters.moc"
