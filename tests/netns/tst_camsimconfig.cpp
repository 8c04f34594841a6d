// camsim's command line and config file: a camera's gateway and first DNS
// server follow its own address unless given, and with --interface only
// owned documentation addresses are accepted. Nothing here opens a socket.
#include "camsimconfig.h"

#include <QJsonArray>
#include <QTemporaryFile>
#include <QtTest>

class TestCamsimConfig : public QObject
{
    Q_OBJECT

private:
    static CamsimConfig::Outcome parse(const QStringList &args, CamsimConfig *config, QString *error)
    {
        return config->parse(QStringList{QStringLiteral("camsim")} + args, error);
    }

private slots:
    void addressDefaultsFollowTheCamera_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QString>("dns1");

        QTest::newRow("198.51.100.x") << QStringList{"-c", "ip=198.51.100.20"}
                                      << "198.51.100.20" << "198.51.100.1" << "198.51.100.1";
        QTest::newRow("203.0.113.x") << QStringList{"-c", "ip=203.0.113.5"}
                                     << "203.0.113.5" << "203.0.113.1" << "203.0.113.1";
        QTest::newRow("generated address") << QStringList{"-c", "name=Plain"}
                                           << "192.0.2.10" << "192.0.2.1" << "192.0.2.1";
        QTest::newRow("gateway given") << QStringList{"-c", "ip=198.51.100.20,gateway=198.51.100.254"}
                                       << "198.51.100.20" << "198.51.100.254" << "198.51.100.1";
        QTest::newRow("dns1 given") << QStringList{"-c", "ip=203.0.113.5,dns1=192.0.2.53"}
                                    << "203.0.113.5" << "203.0.113.1" << "192.0.2.53";
        QTest::newRow("gateway as option default")
            << QStringList{"--gateway", "192.0.2.254", "-c", "ip=198.51.100.20"}
            << "198.51.100.20" << "192.0.2.254" << "198.51.100.1";
        QTest::newRow("ip as option default") << QStringList{"--ip", "203.0.113.9", "-c", "name=A"}
                                              << "203.0.113.9" << "203.0.113.1" << "203.0.113.1";
        QTest::newRow("spec ip beats option ip") << QStringList{"--ip", "203.0.113.9", "-c", "ip=198.51.100.3"}
                                                 << "198.51.100.3" << "198.51.100.1" << "198.51.100.1";
        QTest::newRow("/28") << QStringList{"-c", "ip=198.51.100.20,mask=255.255.255.240"}
                             << "198.51.100.20" << "198.51.100.17" << "198.51.100.17";
        QTest::newRow("/16") << QStringList{"-c", "mask=255.255.0.0,ip=198.51.100.20"}
                             << "198.51.100.20" << "198.51.0.1" << "198.51.0.1";
        QTest::newRow("/32 falls back to the /24") << QStringList{"-c", "ip=203.0.113.77,mask=255.255.255.255"}
                                                   << "203.0.113.77" << "203.0.113.1" << "203.0.113.1";
        QTest::newRow("mask with holes") << QStringList{"-c", "ip=203.0.113.77,mask=255.0.255.0"}
                                         << "203.0.113.77" << "203.0.0.1" << "203.0.0.1";
    }

    void addressDefaultsFollowTheCamera()
    {
        QFETCH(QStringList, args);
        CamsimConfig config;
        QString error;
        QCOMPARE(parse(args, &config, &error), CamsimConfig::Outcome::Run);
        QCOMPARE(config.cameras.size(), 1);
        const UtilitySearchCamInfo &info = config.cameras.first().info;
        QTEST(info.ip, "ip");
        QTEST(info.gateway, "gateway");
        QTEST(info.dns1, "dns1");
        QCOMPARE(info.dns2, QStringLiteral("0.0.0.0"));
        // The replies carry the same values the camera reports.
        UtilitySearchCamInfo sent;
        QVERIFY(UtilityProtocol::parseReply(config.cameras.first().replyTo(UtilityProtocol::RecordKind::QueryA), &sent));
        QCOMPARE(sent.gateway, info.gateway);
        QCOMPARE(sent.dns1, info.dns1);
    }

    void fleetAndFileFollowTheirAddresses()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(R"({"cameras": [ {"ip": "198.51.100.7"}, {"ip": "203.0.113.8", "gateway": "203.0.113.254"} ],
                       "fleet": {"count": 2, "baseIp": "203.0.113.50"}})");
        file.close();
        CamsimConfig config;
        QString error;
        QCOMPARE(parse({"-f", file.fileName(), "-c", "ip=192.0.2.30"}, &config, &error), CamsimConfig::Outcome::Run);
        QCOMPARE(config.cameras.size(), 5);
        const QStringList ips{"198.51.100.7", "203.0.113.8", "192.0.2.30", "203.0.113.50", "203.0.113.51"};
        const QStringList gateways{"198.51.100.1", "203.0.113.254", "192.0.2.1", "203.0.113.1", "203.0.113.1"};
        for (int i = 0; i < ips.size(); ++i) {
            QCOMPARE(config.cameras.at(i).info.ip, ips.at(i));
            QCOMPARE(config.cameras.at(i).info.gateway, gateways.at(i));
        }
        QVERIFY(!config.cameras.at(3).ownsAddress);

        CamsimConfig fleet;
        QCOMPARE(parse({"--fleet", "3", "--fleet-base-ip", "198.51.100.253"}, &fleet, &error),
                 CamsimConfig::Outcome::Run);
        // Counting wraps inside the /24 and the gateway stays in it.
        QCOMPARE(fleet.cameras.at(2).info.ip, QStringLiteral("198.51.100.1"));
        for (const SimCamera &camera : qAsConst(fleet.cameras))
            QCOMPARE(camera.info.gateway, QStringLiteral("198.51.100.1"));
    }

    void interfaceTakesDocumentationAddressesOnly_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("owned private address") << QStringList{"-i", "eth0", "-c", "ip=10.0.0.5"} << false;
        QTest::newRow("owned public address") << QStringList{"-i", "eth0", "-c", "ip=192.0.2.9", "-c", "ip=8.8.8.8"}
                                              << false;
        QTest::newRow("option default") << QStringList{"-i", "eth0", "--ip", "172.16.0.9", "-c", "name=X"} << false;
        QTest::newRow("documentation addresses")
            << QStringList{"-i", "eth0", "-c", "ip=192.0.2.9", "-c", "ip=198.51.100.9", "-c", "ip=203.0.113.9"} << true;
        // Only reported, never put on an interface.
        QTest::newRow("not owned") << QStringList{"-i", "eth0", "-c", "ip=10.0.0.5,own=0"} << true;
        QTest::newRow("fleet") << QStringList{"-i", "eth0", "--fleet", "2", "--fleet-base-ip", "10.1.1.1"} << true;
        QTest::newRow("no interface") << QStringList{"-c", "ip=10.0.0.5"} << true;
    }

    void interfaceTakesDocumentationAddressesOnly()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, accepted);
        CamsimConfig config;
        QString error;
        const CamsimConfig::Outcome outcome = parse(args, &config, &error);
        QCOMPARE(outcome == CamsimConfig::Outcome::Run, accepted);
        if (!accepted) {
            QCOMPARE(outcome, CamsimConfig::Outcome::Error);
            QVERIFY2(error.contains(QLatin1String("documentation addresses")), qPrintable(error));
        }
    }

    void printConfigShowsResolvedCameras()
    {
        CamsimConfig config;
        QString error;
        QCOMPARE(parse({"--print-config", "-q", "-c", "ip=198.51.100.20,power=on,queries=b"}, &config, &error),
                 CamsimConfig::Outcome::Run);
        QVERIFY(config.printOnly);
        const QJsonObject json = config.toJson();
        QCOMPARE(json.value("quiet").toBool(), true);
        const QJsonObject camera = json.value("cameras").toArray().at(0).toObject();
        QCOMPARE(camera.value("gateway").toString(), QStringLiteral("198.51.100.1"));
        QCOMPARE(camera.value("dns1").toString(), QStringLiteral("198.51.100.1"));
        QCOMPARE(camera.value("power").toString(), QStringLiteral("on"));
        QCOMPARE(camera.value("queries").toString(), QStringLiteral("b"));
        QCOMPARE(camera.value("own").toBool(), true);
        QVERIFY(!CamsimConfig().printOnly);
    }

    void onvifKeys_data()
    {
        QTest::addColumn<QString>("spec");
        QTest::addColumn<QString>("error");
        QTest::newRow("all") << "kind=onvif,onvif-clock=+5h,onvif-port=8080,onvif-apply=ignore,onvif-reboot=1,"
                                "onvif-skip=2,onvif-uuid=0B1D0000-0000-4000-8000-000000000001" << QString();
        QTest::newRow("clock unit") << "kind=onvif,onvif-clock=5d" << "onvif-clock=5d";
        QTest::newRow("apply") << "kind=onvif,onvif-apply=maybe" << "take or ignore";
        QTest::newRow("uuid") << "kind=onvif,onvif-uuid=cam-1" << "a UUID";
        QTest::newRow("skip") << "kind=onvif,onvif-skip=-1" << "a count";
        QTest::newRow("port") << "kind=onvif,onvif-port=70000" << "a port";
    }

    void onvifKeys()
    {
        QFETCH(QString, spec);
        QFETCH(QString, error);
        CamsimConfig config;
        QString why;
        const CamsimConfig::Outcome outcome = parse({"-c", spec}, &config, &why);
        if (!error.isEmpty()) {
            QCOMPARE(outcome, CamsimConfig::Outcome::Error);
            QVERIFY2(why.contains(error), qPrintable(why));
            return;
        }
        QCOMPARE(outcome, CamsimConfig::Outcome::Run);
        const SimCamera &camera = config.cameras.first();
        QCOMPARE(camera.kind, SimCamera::Kind::Onvif);
        QCOMPARE(camera.onvifClockSeconds, qint64(5 * 3600));
        QCOMPARE(camera.onvifPort, quint16(8080));
        QCOMPARE(camera.onvifApply, SimCamera::OnvifApply::Ignore);
        QVERIFY(camera.onvifReboot);
        QCOMPARE(camera.onvifSkipProbes, 2);
        QCOMPARE(camera.onvifEndpoint(), QStringLiteral("urn:uuid:0b1d0000-0000-4000-8000-000000000001"));
        qint64 seconds = 0;
        QVERIFY(SimCamera::parseClockOffset(QStringLiteral("-30m"), &seconds));
        QCOMPARE(seconds, qint64(-1800));
        QVERIFY(SimCamera::parseClockOffset(QStringLiteral("3600"), &seconds));
        QCOMPARE(seconds, qint64(3600));
    }
};

QTEST_GUILESS_MAIN(TestCamsimConfig)
#include "tst_camsimconfig.moc"
