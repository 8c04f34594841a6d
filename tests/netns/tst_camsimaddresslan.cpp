// camsim with --interface in the test LAN: a settings record moving a camera
// to a non-documentation address is answered as the camera would answer it,
// but the address never reaches the interface and the camera keeps standing
// on its old one; a later move to a documentation address takes it along.
#include "camsimprocess.h"
#include "testlan.h"
#include "utilityprotocol.h"
#include "utilitysearchcaminfo.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

class TestCamsimAddressLan : public QObject
{
    Q_OBJECT

private:
    CamsimProcess *camsim = nullptr;
    QUdpSocket *socket = nullptr;
    const QString mac = QStringLiteral("02:50:4d:00:04:01");

    QStringList cameraAddresses() const
    {
        QString output;
        TestLan::runIp({QStringLiteral("netns"), QStringLiteral("exec"), TestLan::cameraNamespaces().first(),
                        QStringLiteral("ip"), QStringLiteral("-4"), QStringLiteral("-o"), QStringLiteral("addr"),
                        QStringLiteral("show"), QStringLiteral("dev"), TestLan::cameraInterface()},
                       &output);
        QStringList addresses;
        const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const QStringList fields = line.simplified().split(QLatin1Char(' '));
            const int at = fields.indexOf(QStringLiteral("inet"));
            if (at >= 0 && at + 1 < fields.size())
                addresses << fields.at(at + 1).section(QLatin1Char('/'), 0, 0);
        }
        return addresses;
    }

    // Sends a settings record to the camera's current address and returns
    // the answer that comes back (empty on timeout).
    QNetworkDatagram move(const QString &to, const QString &ip, const QString &name)
    {
        UtilityProtocol::Settings settings;
        settings.dhcp = false;
        UtilityProtocol::macFromText(mac, &settings.mac);
        settings.ip = UtilityProtocol::ipv4FromText(ip);
        settings.mask = UtilityProtocol::ipv4FromText(QStringLiteral("255.255.255.0"));
        settings.gateway = UtilityProtocol::ipv4FromText(ip.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".1"));
        settings.dns1 = settings.gateway;
        settings.name = name;
        settings.userId = QStringLiteral("admin");
        settings.password = QStringLiteral("admin");
        const QByteArray wire = UtilityProtocol::encodeWireRecord(UtilityProtocol::buildSettingsRecord(settings));
        if (socket->writeDatagram(wire, QHostAddress(to), UtilityProtocol::Port) != wire.size())
            return QNetworkDatagram();
        if (!QTest::qWaitFor([this] { return socket->hasPendingDatagrams(); }, 5000))
            return QNetworkDatagram();
        return socket->receiveDatagram();
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        socket = new QUdpSocket(this);
        QVERIFY(socket->bind(QHostAddress(TestLan::programAddresses().first()), 0));
        camsim = new CamsimProcess(this);
        QVERIFY2(camsim->start(0, {QStringLiteral("--camera"),
                                   QStringLiteral("ip=192.0.2.40,mac=%1,reply=long").arg(mac)}),
                 qPrintable(camsim->errorText()));
        QVERIFY(cameraAddresses().contains(QStringLiteral("192.0.2.40")));
    }

    void cleanupTestCase()
    {
        if (camsim)
            camsim->stop();
    }

    void nonDocumentationMoveKeepsTheOldAddress()
    {
        const QNetworkDatagram answer = move(QStringLiteral("192.0.2.40"), QStringLiteral("10.20.30.40"),
                                             QStringLiteral("Moved"));
        QVERIFY2(answer.isValid(), "no answer to the settings record");
        // The camera took the settings and says so...
        UtilitySearchCamInfo info;
        QVERIFY(UtilityProtocol::parseReply(answer.data(), &info));
        QCOMPARE(info.ip, QStringLiteral("10.20.30.40"));
        QCOMPARE(info.name, QStringLiteral("Moved"));
        // ...from the address it still stands on.
        QCOMPARE(answer.senderAddress().toString(), QStringLiteral("192.0.2.40"));

        QVERIFY(QTest::qWaitFor([this] { return camsim->count(QStringLiteral("settings")) >= 1; }, 2000));
        QCOMPARE(camsim->events(QStringLiteral("settings")).last().value("result").toString(),
                 QStringLiteral("applied"));
        const QList<QJsonObject> refused = camsim->events(QStringLiteral("address"));
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.first().value("result").toString(), QStringLiteral("refused"));
        QCOMPARE(refused.first().value("ip").toString(), QStringLiteral("10.20.30.40"));
        QCOMPARE(refused.first().value("kept").toString(), QStringLiteral("192.0.2.40"));
        QCOMPARE(refused.first().value("mac").toString(), mac);

        const QStringList addresses = cameraAddresses();
        QVERIFY2(addresses.contains(QStringLiteral("192.0.2.40")), qPrintable(addresses.join(' ')));
        QVERIFY2(!addresses.contains(QStringLiteral("10.20.30.40")), qPrintable(addresses.join(' ')));
    }

    void documentationMoveReleasesTheKeptAddress()
    {
        camsim->clearEvents();
        const QNetworkDatagram answer = move(QStringLiteral("192.0.2.40"), QStringLiteral("192.0.2.77"),
                                             QString());
        QVERIFY2(answer.isValid(), "no answer to the settings record");
        UtilitySearchCamInfo info;
        QVERIFY(UtilityProtocol::parseReply(answer.data(), &info));
        QCOMPARE(info.ip, QStringLiteral("192.0.2.77"));
        QCOMPARE(info.name, QStringLiteral("Moved"));
        QCOMPARE(answer.senderAddress().toString(), QStringLiteral("192.0.2.77"));
        QCOMPARE(camsim->count(QStringLiteral("address")), 0);

        const QStringList addresses = cameraAddresses();
        QVERIFY2(addresses.contains(QStringLiteral("192.0.2.77")), qPrintable(addresses.join(' ')));
        QVERIFY2(!addresses.contains(QStringLiteral("192.0.2.40")), qPrintable(addresses.join(' ')));
    }
};

QTEST_GUILESS_MAIN(TestCamsimAddressLan)
#include "tst_camsimaddresslan.moc"
