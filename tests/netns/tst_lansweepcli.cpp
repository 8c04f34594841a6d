// pathmere-cli's sweep of routed subnets in a test LAN with a routed site
// behind a router (netns.sh --routed): networks, ranges and a targets file
// find the site's cameras, a dry run plans without sending, a sweep larger
// than a /16 waits for --yes, and a broken route is said and ends the tool.
#include "camsimprocess.h"
#include "cliprocess.h"
#include "testlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

namespace {

// The site's 203.0.113.128/25 shares its /24 with the router links, so its
// cameras take the /25's mask.
QString camera(const QString &mac, const QString &ip, const QString &extra = QString())
{
    const QString mask = ip.startsWith(QLatin1String("203.0.113.")) ? QStringLiteral("255.255.255.128")
                                                                     : QStringLiteral("255.255.255.0");
    return QStringLiteral("mac=%1,ip=%2,mask=%3,model=SWEEP-CAM,name=Cam %1").arg(mac, ip, mask)
           + (extra.isEmpty() ? QString() : QStringLiteral(",") + extra);
}

QStringList macsOf(const QByteArray &json)
{
    QStringList macs;
    for (const QJsonValue &value : QJsonDocument::fromJson(json).array())
        macs << value.toObject().value(QStringLiteral("mac")).toString();
    macs.sort();
    return macs;
}

const QString Cam1 = QStringLiteral("02:50:4d:5e:01:01");
const QString Cam2 = QStringLiteral("02:50:4d:5e:01:02");
const QString Cam3 = QStringLiteral("02:50:4d:5e:01:03");

} // namespace

class TestLanSweepCli : public QObject
{
    Q_OBJECT

private:
    CamsimProcess *site = nullptr;
    CamsimProcess *local = nullptr;

    // Two cameras in 198.51.100.0/24 (one with the long reply), one in the
    // site's other subnet, and one on the program's own link.
    bool startCameras()
    {
        delete site;
        delete local;
        site = new CamsimProcess(this);
        local = new CamsimProcess(this);
        const QStringList siteCameras{
            QStringLiteral("--quiet"),
            QStringLiteral("--camera"), camera(Cam1, QStringLiteral("198.51.100.10")),
            QStringLiteral("--camera"), camera(Cam2, QStringLiteral("198.51.100.200"), QStringLiteral("reply=long,serial=SN-2")),
            QStringLiteral("--camera"), camera(Cam3, QStringLiteral("203.0.113.133"))};
        if (!site->start(TestLan::siteSide(), siteCameras)) {
            qWarning("%s", qPrintable(site->errorText()));
            return false;
        }
        if (!local->start(0, {QStringLiteral("--quiet"), QStringLiteral("--camera"),
                              camera(QStringLiteral("02:50:4d:5e:01:21"), QStringLiteral("192.0.2.21"))})) {
            qWarning("%s", qPrintable(local->errorText()));
            return false;
        }
        return true;
    }

    int queriesSeen() const
    {
        return site->count(QStringLiteral("query")) + local->count(QStringLiteral("query"));
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::siteSide() >= 0, "the suite needs netns.sh --routed");
    }

    void init()
    {
        QVERIFY(startCameras());
    }

    void cleanup()
    {
        site->stop();
        local->stop();
    }

    // A network finds the routed cameras in it beside the local one, each
    // listed once; no progress line reaches a stderr that is no terminal.
    void networkTargetFindsRoutedCameras()
    {
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.51.100.0/24"), QStringLiteral("--seconds"),
                                                      QStringLiteral("1"), QStringLiteral("--format"),
                                                      QStringLiteral("json")});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(macsOf(r.out), (QStringList{QStringLiteral("02:50:4d:5e:01:01"), QStringLiteral("02:50:4d:5e:01:02"),
                                             QStringLiteral("02:50:4d:5e:01:21")}));
        QVERIFY2(r.err.isEmpty(), r.err.constData());
        // The camera outside the network heard nothing; the swept ones their
        // two passes and then the search's own unicast queries.
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("203.0.113.133")).size(), 0);
        QVERIFY(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.51.100.10")).size() >= 4);
    }

    // A single routed address is asked from the address the route leaves
    // from: a query from the other adapter's address gets no reply back.
    void singleRoutedTargetIsFound()
    {
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.51.100.200"), QStringLiteral("--seconds"),
                                                      QStringLiteral("1"), QStringLiteral("--format"),
                                                      QStringLiteral("json")});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(macsOf(r.out), (QStringList{Cam2, QStringLiteral("02:50:4d:5e:01:21")}));
        const QList<QJsonObject> queries =
            site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.51.100.200"));
        QCOMPARE(queries.size(), 2);
        for (const QJsonObject &query : queries)
            QVERIFY2(query.value(QStringLiteral("from")).toString().startsWith(QLatin1String("203.0.113.1:")),
                     qPrintable(query.value(QStringLiteral("from")).toString()));
    }

    // --stream prints each swept camera once, though the search asks it again.
    void streamPrintsSweptCamerasOnce()
    {
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.51.100.0-198.51.100.255"),
                                                      QStringLiteral("--seconds"), QStringLiteral("1"),
                                                      QStringLiteral("--stream")});
        QVERIFY2(r.code == 0, r.err.constData());
        QStringList macs;
        for (const QByteArray &line : r.out.split('\n')) {
            if (!line.isEmpty())
                macs << QJsonDocument::fromJson(line).object().value(QStringLiteral("mac")).toString();
        }
        QCOMPARE(macs.count(Cam1), 1);
        QCOMPARE(macs.count(Cam2), 1);
        QCOMPARE(macs.size(), 3);
    }

    // A targets file: an address and a network of the other subnet; what it
    // leaves out is not probed.
    void targetsFromFile()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("# the site\n198.51.100.10   # the lobby\n\n203.0.113.128/28\n");
        file.close();
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--targets-from"),
                                                      file.fileName(), QStringLiteral("--seconds"), QStringLiteral("1"),
                                                      QStringLiteral("--format"), QStringLiteral("json")});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(macsOf(r.out), (QStringList{Cam1, Cam3, QStringLiteral("02:50:4d:5e:01:21")}));
        QCOMPARE(site->events(QStringLiteral("query"), QStringLiteral("to"), QStringLiteral("198.51.100.200")).size(), 0);
    }

    // A dry run prints the plan and sends nothing, not even the broadcast.
    void dryRunSendsNothing()
    {
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.51.100.0/24"), QStringLiteral("--target"),
                                                      QStringLiteral("203.0.113.130-203.0.113.139"),
                                                      QStringLiteral("--rate"), QStringLiteral("1000"),
                                                      QStringLiteral("--dry-run")});
        QVERIFY2(r.code == 0, r.err.constData());
        const QString text = QString::fromUtf8(r.out);
        QVERIFY2(text.contains(QLatin1String("198.51.100.0/24\n")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("203.0.113.130-203.0.113.139\n")), qPrintable(text));
        // 254 + 10 addresses, 4 datagrams each, at 1000 a second: 1056 ms
        // of sending and the reply window, then the 5 s of the search.
        QVERIFY2(text.contains(QLatin1String("264 addresses, 1056 datagrams (both queries, 2 passes) at 1000 per second: "
                                             "about 2 s")),
                 qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("In all about 7 s. Nothing was sent")), qPrintable(text));
        QTest::qWait(300);
        QCOMPARE(queriesSeen(), 0);
    }

    // More than a /16 waits for --yes: a usage error naming it, nothing sent;
    // a dry run of it still shows the plan.
    void largeSweepNeedsYes()
    {
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.50.0.0/15")});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("131070 addresses") && r.err.contains("--yes"), r.err.constData());
        QVERIFY(r.out.isEmpty());
        const CliProcess::Run plan = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                         QStringLiteral("198.50.0.0/15"), QStringLiteral("--dry-run")});
        QCOMPARE(plan.code, 0);
        QVERIFY2(plan.out.contains("the sweep needs --yes"), plan.out.constData());
        // The set command shares the refusal, though it runs with --dry-run.
        const CliProcess::Run set = CliProcess::run({QStringLiteral("set"), Cam1, QStringLiteral("--ip"),
                                                        QStringLiteral("198.51.100.11"), QStringLiteral("--dry-run"),
                                                        QStringLiteral("--target"), QStringLiteral("198.50.0.0/15")});
        QCOMPARE(set.code, 2);
        QVERIFY2(set.err.contains("--yes"), set.err.constData());
        QTest::qWait(300);
        QCOMPARE(queriesSeen(), 0);
    }

    // No route to part of the targets: said in a sentence, exit 8, at once,
    // nothing sent.
    void missingRouteSaysSoAndEnds()
    {
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.51.100.0/24"), QStringLiteral("--target"),
                                                      QStringLiteral("203.0.113.64/28")}, {}, {}, 20000);
        QCOMPARE(r.code, 8);
        QVERIFY2(r.err.startsWith("pathmere-cli: No route to 203.0.113.65 ("), r.err.constData());
        QVERIFY2(r.err.endsWith(".\n") && r.err.count('\n') == 1, r.err.constData());
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.elapsedMs < 3000, qPrintable(QString::number(r.elapsedMs)));
        QTest::qWait(300);
        QCOMPARE(queriesSeen(), 0);
    }

    // The route goes while the sweep sends: said, exit 1, well before the
    // plan's end, and no search follows.
    void routeBreakingWhileSendingEndsTheTool()
    {
        QTimer::singleShot(600, [] {
            QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("198.51.100.0/24")}));
        });
        // 254 addresses at 200 a second: 5 s of sending.
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--target"),
                                                      QStringLiteral("198.51.100.0/24"), QStringLiteral("--rate"),
                                                      QStringLiteral("200"), QStringLiteral("--format"),
                                                      QStringLiteral("json")}, {}, {}, 20000);
        QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("198.51.100.0/24"),
                                QStringLiteral("via"), QStringLiteral("203.0.113.2"), QStringLiteral("dev"),
                                QStringLiteral("wan0")}));
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("failed") && r.err.contains("the sweep ends after"), r.err.constData());
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.elapsedMs < 4000, qPrintable(QString::number(r.elapsedMs)));
        QCOMPARE(local->count(QStringLiteral("query")), 0);
    }
};

QTEST_GUILESS_MAIN(TestLanSweepCli)
#include "tst_lansweepcli.moc"
