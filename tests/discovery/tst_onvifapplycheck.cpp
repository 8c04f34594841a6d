// Settings the apply job refuses before anything is sent, and a camera that
// does not answer at all: the job ends once, within the call deadline, as
// Unreachable. Loopback only.
#include "onvifapplyjob.h"
#include "onvifinfojob.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

class TestOnvifApplyCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<OnvifInfoJob::Result>();
        qRegisterMetaType<OnvifApplyJob::Result>();
    }

    void unusableSettingsAreRefused_data()
    {
        QTest::addColumn<bool>("dhcp");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QString>("dns1");
        QTest::addColumn<bool>("usable");
        QTest::newRow("static") << false << "192.0.2.5" << "255.255.255.0" << "192.0.2.1" << "" << true;
        QTest::newRow("dhcp needs no address") << true << "" << "" << "" << "" << true;
        QTest::newRow("no address") << false << "" << "255.255.255.0" << "" << "" << false;
        QTest::newRow("zero address") << false << "0.0.0.0" << "255.255.255.0" << "" << "" << false;
        QTest::newRow("mask with holes") << false << "192.0.2.5" << "255.0.255.0" << "" << "" << false;
        QTest::newRow("no mask") << false << "192.0.2.5" << "" << "" << "" << false;
        QTest::newRow("gateway text") << false << "192.0.2.5" << "255.255.255.0" << "router" << "" << false;
        QTest::newRow("dns text") << true << "" << "" << "" << "dns.example" << false;
    }

    void unusableSettingsAreRefused()
    {
        QFETCH(bool, dhcp);
        QFETCH(QString, ip);
        QFETCH(QString, mask);
        QFETCH(QString, gateway);
        QFETCH(QString, dns1);
        QFETCH(bool, usable);
        OnvifApplyJob::Settings settings;
        settings.dhcp = dhcp;
        settings.ip = ip;
        settings.mask = mask;
        settings.gateway = gateway;
        settings.dns1 = dns1;
        QCOMPARE(OnvifApplyJob::check(settings).isEmpty(), usable);
        if (usable)
            return;
        // Nothing is sent: the job ends at once as Failed, naming the problem.
        OnvifApplyJob job(QUrl(QStringLiteral("http://127.0.0.1:9/onvif/device_service")),
                          QStringLiteral("urn:uuid:0b1d0000-0000-4000-8000-000000000001"), {}, settings);
        QSignalSpy finished(&job, &OnvifApplyJob::finished);
        job.start();
        QCOMPARE(finished.count(), 1);
        const auto result = finished.first().first().value<OnvifApplyJob::Result>();
        QCOMPARE(result.status, OnvifApplyJob::Status::Failed);
        QCOMPARE(result.error, OnvifApplyJob::check(settings));
    }

    void aSilentCameraIsUnreachableWithinTheDeadline()
    {
        // Accepts the connection and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        OnvifInfoJob job(QUrl(QStringLiteral("http://127.0.0.1:%1/onvif/device_service").arg(silent.serverPort())),
                         {QStringLiteral("admin"), QStringLiteral("admin")});
        QSignalSpy finished(&job, &OnvifInfoJob::finished);
        QElapsedTimer clock;
        clock.start();
        job.start();
        QVERIFY(finished.wait(OnvifDeviceClient::CallDeadlineMs + 2000));
        QVERIFY(clock.elapsed() >= OnvifDeviceClient::CallDeadlineMs - 100);
        const auto result = finished.first().first().value<OnvifInfoJob::Result>();
        QCOMPARE(OnvifInfoJob::statusText(result.status), QStringLiteral("Unreachable"));
        QCOMPARE(result.failedCall, OnvifDeviceProtocol::Call::GetSystemDateAndTime);
        QTest::qWait(200);
        QCOMPARE(finished.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOnvifApplyCheck)
#include "tst_onvifapplycheck.moc"
