// The program behind a NAT bridge, as inside a container with its engine's
// default network: its only adapter is a veth whose other end sits on a
// bridge in another namespace, and its default route leads there. The
// cameras never hear its broadcast; the check names the container case and
// host networking as the fix.
#include "camsimprocess.h"
#include "checkreport.h"
#include "containerhints.h"
#include "networkdoctor.h"
#include "testlan.h"

#include <QSignalSpy>
#include <QtTest>

class TestLanDoctorNat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        if (qEnvironmentVariable("PATHMERE_NETNS_TOPOLOGY") != QLatin1String("nat"))
            QSKIP("needs netns.sh --nat-bridge");
    }

    void containerCaseNamed()
    {
        CamsimProcess camsim;
        QVERIFY2(camsim.start(0, {QStringLiteral("--camera"), QStringLiteral("mac=02:50:4d:00:0e:01,ip=192.0.2.40")}),
                 qPrintable(camsim.errorText()));
        NetworkDoctor doctor;
        QSignalSpy finished(&doctor, &NetworkDoctor::finished);
        NetworkDoctor::Options options;
        options.listenMs = 1500;
        options.probeConflicts = false;
        doctor.start(options);
        QVERIFY(finished.wait(60000));
        const QList<CheckResult> results = doctor.results();
        const QString report = CheckReport::text(results, true);
        qInfo("%s", qPrintable(report));

        const CheckResult *container = nullptr;
        for (const CheckResult &r : results) {
            if (r.check == QLatin1String("adapters") && r.subject == QLatin1String("container"))
                container = &r;
        }
        QVERIFY2(container, qPrintable(report));
        // A container marker of the machine itself (CI may run in one) makes
        // it certain; the route alone makes it likely.
        QCOMPARE(container->status, ContainerHints::read().inContainer() ? CheckResult::Status::Problem
                                                                         : CheckResult::Status::Warning);
        QVERIFY2(container->sentence.contains(QLatin1String("eth0, a virtual link whose other end is in another network namespace")),
                 qPrintable(container->sentence));
        QCOMPARE(container->fix, QStringLiteral("docker run --network host ..."));

        // The search from behind the bridge heard nothing, though the camera
        // is up and routed to.
        bool nothing = false;
        for (const CheckResult &r : results)
            nothing = nothing || (r.check == QLatin1String("live") && r.status == CheckResult::Status::Problem);
        QVERIFY2(nothing, qPrintable(report));
        QVERIFY(doctor.devices().isEmpty());
        QVERIFY(camsim.count(QStringLiteral("query")) == 0);
        camsim.stop();
    }
};

QTEST_GUILESS_MAIN(TestLanDoctorNat)
#include "tst_landoctornat.moc"
