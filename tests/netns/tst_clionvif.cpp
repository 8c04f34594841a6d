// pathmere-cli with other makers' cameras in the two-adapter test LAN: the
// real binary lists a mixed site in one search, reads an ONVIF camera with
// info, and changes one's address with set, confirmed or refused.
#include "camsimsides.h"
#include "cliprocess.h"
#include "testlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("Pw-0nvif");

QString onvifCamera(const QString &mac, const QString &ip, const QString &extra = QString())
{
    return QStringLiteral("kind=onvif,mac=%1,ip=%2,user=admin,password=%3").arg(mac, ip, Password)
        + (extra.isEmpty() ? QString() : QLatin1Char(',') + extra);
}

QString makerCamera(const QString &mac, const QString &ip)
{
    return QStringLiteral("mac=%1,ip=%2,user=admin,password=%3").arg(mac, ip, Password);
}


// A camera side that knows our address already answers without asking for
// it, and then our neighbour table has no MAC for the camera: forgotten on
// both ends, the camera's answer brings its MAC again.
void forgetNeighbours(int side)
{
    TestLan::runIp({QStringLiteral("-n"), TestLan::cameraNamespaces().value(side), QStringLiteral("neigh"),
                    QStringLiteral("flush"), QStringLiteral("all")});
    TestLan::runIp({QStringLiteral("neigh"), QStringLiteral("flush"), QStringLiteral("all")});
}

QJsonArray searchJson(const QStringList &extra)
{
    const CliProcess::Run r = CliProcess::run(QStringList{QStringLiteral("search"), QStringLiteral("--seconds"),
                                                          QStringLiteral("2"), QStringLiteral("--format"),
                                                          QStringLiteral("json")} + extra);
    if (r.code != 0)
        qWarning("search failed (%d): %s", r.code, r.err.constData());
    return QJsonDocument::fromJson(r.out).array();
}

} // namespace

class TestCliOnvif : public QObject
{
    Q_OBJECT

private:
    CamsimSides side;

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::cameraNamespaces().size() >= 2, "this suite needs the two-adapter LAN");
        QVERIFY2(QFile::exists(CliProcess::path()), qPrintable(CliProcess::path()));
    }

    void cleanup()
    {
        side.stop();
    }

    void mixedSiteListedOnceEach()
    {
        QVERIFY(side.startCameras(0, {makerCamera(QStringLiteral("02:50:4d:c1:00:01"), QStringLiteral("192.0.2.60")),
                              makerCamera(QStringLiteral("02:50:4d:c1:00:02"), QStringLiteral("192.0.2.61")),
                              onvifCamera(QStringLiteral("02:50:4d:e1:00:01"), QStringLiteral("192.0.2.62"),
                                          QStringLiteral("name=Yard,model=NVT-300"))}));
        QVERIFY(side.startCameras(1, {makerCamera(QStringLiteral("02:50:4d:c1:00:03"), QStringLiteral("198.51.100.60")),
                              onvifCamera(QStringLiteral("02:50:4d:e1:00:02"), QStringLiteral("198.51.100.62"))}));

        // Without the choice, the search is the maker's alone and sends no Probe.
        QJsonArray list = searchJson({});
        QCOMPARE(list.size(), 3);
        QCOMPARE(side[0]->count(QStringLiteral("onvif-probe")), 0);

        list = searchJson({QStringLiteral("--sources"), QStringLiteral("all")});
        QCOMPARE(list.size(), 5);
        QMap<QString, int> typeByIp;
        for (const QJsonValue &v : qAsConst(list))
            typeByIp.insert(v.toObject().value(QStringLiteral("ip")).toString(), v.toObject().value(QStringLiteral("searchType")).toInt());
        QCOMPARE(typeByIp.size(), 5);
        for (const QString &ip : {QStringLiteral("192.0.2.60"), QStringLiteral("192.0.2.61"), QStringLiteral("198.51.100.60")})
            QCOMPARE(typeByIp.value(ip, -1), 0);
        for (const QString &ip : {QStringLiteral("192.0.2.62"), QStringLiteral("198.51.100.62")})
            QCOMPARE(typeByIp.value(ip, -1), 3);
        const QJsonObject yard = CliProcess::find(list, QStringLiteral("ip"), QStringLiteral("192.0.2.62"));
        QCOMPARE(yard.value(QStringLiteral("name")).toString(), QStringLiteral("Yard"));
        QCOMPARE(yard.value(QStringLiteral("model")).toString(), QStringLiteral("NVT-300"));
        QCOMPARE(yard.value(QStringLiteral("endpoint")).toString(),
                 QStringLiteral("urn:uuid:6f6e7669-6600-4000-8000-02504de10001"));
        QCOMPARE(yard.value(QStringLiteral("serviceUrl")).toString(),
                 QStringLiteral("http://192.0.2.62:80/onvif/device_service"));

        // onvif alone lists only the other makers' cameras.
        list = searchJson({QStringLiteral("--sources"), QStringLiteral("onvif")});
        QCOMPARE(list.size(), 2);
        for (const QJsonValue &v : qAsConst(list))
            QCOMPARE(v.toObject().value(QStringLiteral("searchType")).toInt(), 3);
    }

    void infoReadsTheCamera()
    {
        QVERIFY(side.startCameras(0, {onvifCamera(QStringLiteral("02:50:4d:e1:00:11"), QStringLiteral("192.0.2.64"),
                                          QStringLiteral("model=NVT-310,fw=4.5.6,serial=SN-E111,onvif-clock=+5h"))}));
        const CliProcess::Run r = CliProcess::run({QStringLiteral("info"), QStringLiteral("192.0.2.64"),
                                                   QStringLiteral("--user"), QStringLiteral("admin"),
                                                   QStringLiteral("--password-stdin")},
                                                  Password.toUtf8() + '\n');
        QVERIFY2(r.code == 0, r.err.constData());
        const QJsonObject info = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(info.value(QStringLiteral("result")).toString(), QStringLiteral("Ok"));
        QCOMPARE(info.value(QStringLiteral("manufacturer")).toString(), QStringLiteral("camsim"));
        QCOMPARE(info.value(QStringLiteral("model")).toString(), QStringLiteral("NVT-310"));
        QCOMPARE(info.value(QStringLiteral("firmware")).toString(), QStringLiteral("4.5.6"));
        QCOMPARE(info.value(QStringLiteral("serial")).toString(), QStringLiteral("SN-E111"));
        QCOMPARE(info.value(QStringLiteral("mac")).toString(), QStringLiteral("02:50:4d:e1:00:11"));
        QCOMPARE(info.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.64"));
        QCOMPARE(info.value(QStringLiteral("dhcp")).toBool(), false);
        QVERIFY(info.value(QStringLiteral("prefixLength")).toInt() > 0);
        // The login was made at the camera's time, five hours ahead.
        QVERIFY2(qAbs(info.value(QStringLiteral("clockOffsetSeconds")).toDouble() - 5 * 3600) < 60, r.out.constData());

        // The password from the environment, as set takes it; a wrong one is refused.
        const CliProcess::Run wrong = CliProcess::run({QStringLiteral("info"), QStringLiteral("192.0.2.64"),
                                                       QStringLiteral("--user"), QStringLiteral("admin")},
                                                      QByteArray(), {QStringLiteral("PATHMERE_PASSWORD=nope")});
        QCOMPARE(wrong.code, 4);
        QCOMPARE(QJsonDocument::fromJson(wrong.out).object().value(QStringLiteral("result")).toString(),
                 QStringLiteral("Unauthorized"));
        QVERIFY2(wrong.err.contains("Unauthorized"), wrong.err.constData());

        // Nobody at the address.
        const CliProcess::Run silent = CliProcess::run({QStringLiteral("info"), QStringLiteral("192.0.2.65"),
                                                        QStringLiteral("--user"), QStringLiteral("admin")},
                                                       QByteArray(), {QStringLiteral("PATHMERE_PASSWORD=x")});
        QCOMPARE(silent.code, 3);
        QCOMPARE(CliProcess::run({QStringLiteral("info"), QStringLiteral("192.0.2.999"), QStringLiteral("--user"),
                                  QStringLiteral("admin")}).code, 2);
    }

    void setMovesAnOnvifCameraAndConfirms()
    {
        QVERIFY(side.startCameras(1, {onvifCamera(QStringLiteral("02:50:4d:e1:00:21"), QStringLiteral("198.51.100.70"),
                                          QStringLiteral("onvif-clock=-2h"))}));
        forgetNeighbours(1);
        const QString mac = TestLan::cameraMac(1);
        QVERIFY(!mac.isEmpty());
        const CliProcess::Run r = CliProcess::run(
            {QStringLiteral("set"), mac, QStringLiteral("--sources"), QStringLiteral("all"), QStringLiteral("--seconds"),
             QStringLiteral("2"), QStringLiteral("--ip"), QStringLiteral("198.51.100.71"), QStringLiteral("--dns1"),
             QStringLiteral("198.51.100.53"), QStringLiteral("--user"), QStringLiteral("admin"),
             QStringLiteral("--password-stdin")},
            Password.toUtf8() + '\n', {}, 90000);
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.out.contains("confirmed, 198.51.100.71"), r.out.constData());
        const QList<QJsonObject> moved = side[1]->events(QStringLiteral("onvif-address"));
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved.first().value(QStringLiteral("oldIp")).toString(), QStringLiteral("198.51.100.70"));
        QCOMPARE(moved.first().value(QStringLiteral("ip")).toString(), QStringLiteral("198.51.100.71"));

        // The camera shows the new address and DNS server.
        const CliProcess::Run info = CliProcess::run({QStringLiteral("info"), QStringLiteral("198.51.100.71"),
                                                      QStringLiteral("--user"), QStringLiteral("admin")},
                                                     QByteArray(), {QStringLiteral("PATHMERE_PASSWORD=") + Password});
        QCOMPARE(info.code, 0);
        QCOMPARE(QJsonDocument::fromJson(info.out).object().value(QStringLiteral("dns1")).toString(),
                 QStringLiteral("198.51.100.53"));
    }

    void setWithAWrongPasswordIsRefusedAndWritesNothing()
    {
        QVERIFY(side.startCameras(1, {onvifCamera(QStringLiteral("02:50:4d:e1:00:31"), QStringLiteral("198.51.100.74"))}));
        forgetNeighbours(1);
        const QString mac = TestLan::cameraMac(1);
        const CliProcess::Run r = CliProcess::run(
            {QStringLiteral("set"), mac, QStringLiteral("--sources"), QStringLiteral("onvif"), QStringLiteral("--seconds"),
             QStringLiteral("2"), QStringLiteral("--ip"), QStringLiteral("198.51.100.75"), QStringLiteral("--user"),
             QStringLiteral("admin")},
            QByteArray(), {QStringLiteral("PATHMERE_PASSWORD=wrong")}, 60000);
        QCOMPARE(r.code, 4);
        QVERIFY2(r.err.contains("Unauthorized"), r.err.constData());
        QCOMPARE(side[1]->count(QStringLiteral("onvif-address")), 0);
        QCOMPARE(side[1]->events(QStringLiteral("onvif-call"), QStringLiteral("call"),
                                 QStringLiteral("SetNetworkInterfaces")).size(), 0);
    }

    void setNotTakenIsExitFive()
    {
        QVERIFY(side.startCameras(1, {onvifCamera(QStringLiteral("02:50:4d:e1:00:41"), QStringLiteral("198.51.100.77"),
                                          QStringLiteral("onvif-apply=ignore"))}));
        forgetNeighbours(1);
        const QString mac = TestLan::cameraMac(1);
        // A setting that cannot work is refused before anything is written.
        const CliProcess::Run bad = CliProcess::run(
            {QStringLiteral("set"), mac, QStringLiteral("--sources"), QStringLiteral("onvif"), QStringLiteral("--seconds"),
             QStringLiteral("2"), QStringLiteral("--ip"), QStringLiteral("198.51.100.255"), QStringLiteral("--user"),
             QStringLiteral("admin")},
            QByteArray(), {QStringLiteral("PATHMERE_PASSWORD=") + Password}, 60000);
        QCOMPARE(bad.code, 2);
        QCOMPARE(side[1]->events(QStringLiteral("onvif-call"), QStringLiteral("call"),
                                 QStringLiteral("SetNetworkInterfaces")).size(), 0);

        const CliProcess::Run r = CliProcess::run(
            {QStringLiteral("set"), mac, QStringLiteral("--sources"), QStringLiteral("onvif"), QStringLiteral("--seconds"),
             QStringLiteral("2"), QStringLiteral("--ip"), QStringLiteral("198.51.100.78"), QStringLiteral("--user"),
             QStringLiteral("admin")},
            QByteArray(), {QStringLiteral("PATHMERE_PASSWORD=") + Password}, 90000);
        QCOMPARE(r.code, 5);
        QVERIFY2(r.err.contains("198.51.100.77"), r.err.constData());
        QCOMPARE(side[1]->events(QStringLiteral("onvif-call"), QStringLiteral("call"),
                                 QStringLiteral("SetNetworkInterfaces")).size(), 1);
    }

    void assignGivesBothKindsAddresses()
    {
        QVERIFY(side.startCameras(1, {makerCamera(QStringLiteral("02:50:4d:c1:00:51"), QStringLiteral("198.51.100.90")),
                              onvifCamera(QStringLiteral("02:50:4d:e1:00:52"), QStringLiteral("198.51.100.91"),
                                          QStringLiteral("model=NVT-5"))}));
        forgetNeighbours(1);
        const QStringList base{QStringLiteral("assign"), QStringLiteral("--seconds"), QStringLiteral("2"),
                               QStringLiteral("--sources"), QStringLiteral("all"), QStringLiteral("--range"),
                               QStringLiteral("198.51.100.120-198.51.100.129"), QStringLiteral("--user"),
                               QStringLiteral("admin")};
        const QStringList env{QStringLiteral("PATHMERE_PASSWORD=") + Password};

        // The plan holds both; the ONVIF camera was read (its mask is the
        // camera's own) and nothing was written.
        const CliProcess::Run dry = CliProcess::run(base + QStringList{QStringLiteral("--dry-run")}, {}, env);
        QVERIFY2(dry.code == 0, dry.err.constData());
        QVERIFY2(dry.out.contains("Plan for 2 camera(s)"), dry.out.constData());
        QVERIFY2(dry.out.contains("198.51.100.91 -> 198.51.100.12"), dry.out.constData());
        QCOMPARE(side[1]->count(QStringLiteral("onvif-address")), 0);
        QCOMPARE(side[1]->count(QStringLiteral("settings")), 0);

        // A refused login stops the command before anything goes out.
        const CliProcess::Run refused = CliProcess::run(base, {}, {QStringLiteral("PATHMERE_PASSWORD=wrong")});
        QCOMPARE(refused.code, 4);
        QCOMPARE(side[1]->count(QStringLiteral("settings")), 0);

        const CliProcess::Run applied = CliProcess::run(base, {}, env, 120000);
        QVERIFY2(applied.code == 0, applied.err.constData() + applied.out);
        int confirmed = 0;
        for (const QByteArray &line : applied.out.split('\n'))
            confirmed += line.endsWith(" confirmed") ? 1 : 0;
        QCOMPARE(confirmed, 2);
        QCOMPARE(side[1]->count(QStringLiteral("settings")), 1);
        const QList<QJsonObject> moved = side[1]->events(QStringLiteral("onvif-address"));
        QCOMPARE(moved.size(), 1);
        QVERIFY(moved.first().value(QStringLiteral("ip")).toString().startsWith(QLatin1String("198.51.100.12")));
    }
};

QTEST_GUILESS_MAIN(TestCliOnvif)
#include "tst_clionvif.moc"
