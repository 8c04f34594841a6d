// pathmere-cli in the test LAN: the real binary, run as a child process in
// the program namespace, against camsim cameras behind both adapters.
#include "camsimprocess.h"
#include "cliprocess.h"
#include "camsimsides.h"
#include "testlan.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("Pw-7f3e9a");

using CliRun = CliProcess::Run;

QString cliPath()
{
    return CliProcess::path();
}

QString camera(const QString &mac, const QString &ip, const QString &extra = QString())
{
    return QStringLiteral("mac=%1,ip=%2,user=admin,password=%3").arg(mac, ip, Password)
        + (extra.isEmpty() ? QString() : QLatin1Char(',') + extra);
}

QJsonObject findMac(const QJsonArray &list, const QString &mac)
{
    for (const QJsonValue &v : list) {
        if (v.toObject().value(QStringLiteral("mac")).toString() == mac)
            return v.toObject();
    }
    return QJsonObject();
}

} // namespace

class TestCliLan : public QObject
{
    Q_OBJECT

private:
    CamsimSides side;

    bool startSide(int index, const QStringList &args) { return side.start(index, args); }

    // Runs pathmere-cli to its end while the event loop keeps running (the
    // camsim events arrive through it). whileRunning is called every 50 ms
    // with the process.
    static CliRun run(const QStringList &args, const QByteArray &input = QByteArray(),
                      const QStringList &env = QStringList(),
                      const std::function<void(QProcess &)> &whileRunning = {}, int timeoutMs = 60000)
    {
        return CliProcess::run(args, input, env, timeoutMs, whileRunning);
    }

    static QJsonArray searchJson(const QStringList &extra)
    {
        const CliRun r = run(QStringList{QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("2"),
                                         QStringLiteral("--format"), QStringLiteral("json")} + extra);
        if (r.code != 0)
            qWarning("search failed (%d): %s", r.code, r.err.constData());
        return QJsonDocument::fromJson(r.out).array();
    }

    static bool runIpIn(const QString &ns, const QStringList &args)
    {
        QProcess ip;
        ip.start(QStringLiteral("ip"), QStringList{QStringLiteral("-n"), ns} + args);
        return ip.waitForFinished(5000) && ip.exitCode() == 0;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(TestLan::cameraNamespaces().size() >= 2, "this suite needs the two-adapter LAN");
        QVERIFY2(QFile::exists(cliPath()), qPrintable(cliPath()));
    }

    void cleanup()
    {
        side.stop();
    }

    // The same two cameras in all three formats; a name with a comma, quotes
    // and a non-ASCII letter tests the CSV quoting against a real reader.
    void searchFormats()
    {
        const QString tricky = QStringLiteral("Hall \"B\", left \u00e9");
        // camsim's SPEC splits at commas: the cameras come from a config file.
        QTemporaryFile config;
        QVERIFY(config.open());
        QJsonObject first{{QStringLiteral("mac"), QStringLiteral("02:50:4d:c0:00:01")},
                          {QStringLiteral("ip"), QStringLiteral("192.0.2.40")},
                          {QStringLiteral("name"), tricky},
                          {QStringLiteral("reply"), QStringLiteral("long")},
                          {QStringLiteral("serial"), QStringLiteral("SN-1")},
                          {QStringLiteral("dns2"), QStringLiteral("203.0.113.53")}};
        QJsonObject second{{QStringLiteral("mac"), QStringLiteral("02:50:4d:c0:00:02")},
                           {QStringLiteral("ip"), QStringLiteral("192.0.2.41")},
                           {QStringLiteral("dhcp"), QStringLiteral("1")},
                           {QStringLiteral("model"), QStringLiteral("PTZ-20X")}};
        config.write(QJsonDocument(QJsonObject{{QStringLiteral("cameras"), QJsonArray{first, second}}}).toJson());
        config.flush();
        QVERIFY(startSide(0, {QStringLiteral("--config"), config.fileName()}));
        QVERIFY(startSide(1, {QStringLiteral("--camera"),
                              camera(QStringLiteral("02:50:4d:c6:00:01"), QStringLiteral("198.51.100.40"))}));

        const QJsonArray json = searchJson({});
        QCOMPARE(json.size(), 3);
        const QJsonObject a = findMac(json, QStringLiteral("02:50:4d:c0:00:01"));
        QCOMPARE(a.keys().size(), 15);   // the record's 13 fields, then "reachable" and "conflict"
        QCOMPARE(a.value(QStringLiteral("reachable")), QJsonValue(true));
        QCOMPARE(a.value(QStringLiteral("conflict")), QJsonValue(false));
        QVERIFY(a.value(QStringLiteral("searchType")).isDouble());
        QCOMPARE(a.value(QStringLiteral("searchType")).toInt(), 0);
        QVERIFY(a.value(QStringLiteral("dhcp")).isBool());
        QCOMPARE(a.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.40"));
        QCOMPARE(a.value(QStringLiteral("serialNo")).toString(), QStringLiteral("SN-1"));
        QCOMPARE(a.value(QStringLiteral("dns2")).toString(), QStringLiteral("203.0.113.53"));
        QCOMPARE(a.value(QStringLiteral("name")).toString(), tricky);
        const QJsonObject b = findMac(json, QStringLiteral("02:50:4d:c0:00:02"));
        QCOMPARE(b.value(QStringLiteral("dhcp")).toBool(), true);
        QCOMPARE(b.value(QStringLiteral("model")).toString(), QStringLiteral("PTZ-20X"));
        QCOMPARE(findMac(json, QStringLiteral("02:50:4d:c6:00:01")).value(QStringLiteral("ip")).toString(),
                 QStringLiteral("198.51.100.40"));

        // --adapter keeps the search to one subnet, named by address or by
        // interface.
        QCOMPARE(searchJson({QStringLiteral("--adapter"), QStringLiteral("198.51.100.1")}).size(), 1);
        const QJsonArray byName = searchJson({QStringLiteral("--adapter"), TestLan::programInterface(1)});
        QCOMPARE(byName.size(), 1);
        QCOMPARE(byName.first().toObject().value(QStringLiteral("ip")).toString(), QStringLiteral("198.51.100.40"));
        const CliRun noSuchAdapter = run({QStringLiteral("search"), QStringLiteral("--adapter"), QStringLiteral("nosuch0")});
        QCOMPARE(noSuchAdapter.code, 2);
        QVERIFY2(noSuchAdapter.err.contains("interface name"), noSuchAdapter.err.constData());

        const CliRun csv = run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("1"),
                                    QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(csv.code, 0);
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is needed as the independent CSV reader");
        // Python's csv module reads the output back; it prints JSON we compare.
        QProcess reader;
        reader.start(python, {QStringLiteral("-c"),
                              QStringLiteral("import csv,io,json,sys\n"
                                             "data=sys.stdin.buffer.read().decode('utf-8')\n"
                                             "assert data.endswith('\\r\\n')\n"
                                             "print(json.dumps(list(csv.DictReader(io.StringIO(data, newline='')))))\n")});
        QVERIFY(reader.waitForStarted());
        reader.write(csv.out);
        reader.closeWriteChannel();
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(reader.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(findMac(rows, QStringLiteral("02:50:4d:c0:00:01")).value(QStringLiteral("name")).toString(), tricky);
        const QJsonObject row = findMac(rows, QStringLiteral("02:50:4d:c0:00:02"));
        QCOMPARE(row.keys().size(), 15);
        QCOMPARE(row.value(QStringLiteral("dhcp")).toString(), QStringLiteral("true"));
        QCOMPARE(row.value(QStringLiteral("searchType")).toString(), QStringLiteral("0"));
        QCOMPARE(row.value(QStringLiteral("reachable")).toString(), QStringLiteral("true"));
        QCOMPARE(row.value(QStringLiteral("conflict")).toString(), QStringLiteral("false"));
        for (const QString &key : b.keys()) {
            if (b.value(key).isString())
                QCOMPARE(row.value(key).toString(), b.value(key).toString());
        }

        const CliRun table = run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("1")});
        QCOMPARE(table.code, 0);
        const QStringList lines = QString::fromUtf8(table.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.last(), QStringLiteral("3 cameras found"));
        for (const QString &line : lines)
            QVERIFY2(line.size() <= 100, qPrintable(line));
        const int macColumn = lines.first().indexOf(QStringLiteral("mac"));
        QVERIFY(macColumn > 0);
        for (int i = 1; i + 1 < lines.size(); ++i)
            QVERIFY2(lines.at(i).mid(macColumn, 12) == QLatin1String("02:50:4d:c0:") || lines.at(i).mid(macColumn, 12) == QLatin1String("02:50:4d:c6:"),
                     qPrintable(lines.at(i)));
    }

    // --stream: one compact JSON object a line and one line a camera, the
    // first while the search is still running; it leaves no room for
    // --format.
    void searchStreams()
    {
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:11"), QStringLiteral("192.0.2.42")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:12"), QStringLiteral("192.0.2.43"))}));
        QVERIFY(startSide(1, {QStringLiteral("--camera"),
                              camera(QStringLiteral("02:50:4d:c6:00:11"), QStringLiteral("198.51.100.42"))}));

        QElapsedTimer clock;
        clock.start();
        qint64 firstOutputMs = -1;
        const CliRun r = run({QStringLiteral("search"), QStringLiteral("--stream"), QStringLiteral("--seconds"), QStringLiteral("4")},
                             QByteArray(), QStringList(), [&](QProcess &process) {
                                 if (firstOutputMs < 0 && process.bytesAvailable() > 0)
                                     firstOutputMs = clock.elapsed();
                             });
        const qint64 endMs = clock.elapsed();
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.endsWith('\n'));
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QSet<QString> macs;
        for (const QByteArray &line : lines) {
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(), line.constData());
            QCOMPARE(document.object().keys().size(), 13);
            macs.insert(document.object().value(QStringLiteral("mac")).toString());
        }
        QCOMPARE(macs, (QSet<QString>{QStringLiteral("02:50:4d:c0:00:11"), QStringLiteral("02:50:4d:c0:00:12"),
                                      QStringLiteral("02:50:4d:c6:00:11")}));
        // The search lasts its four seconds; the cameras answer in the first.
        QVERIFY2(firstOutputMs >= 0 && firstOutputMs < endMs - 2000,
                 qPrintable(QStringLiteral("first line at %1 ms, end at %2 ms").arg(firstOutputMs).arg(endMs)));

        const CliRun both = run({QStringLiteral("search"), QStringLiteral("--stream"), QStringLiteral("--format"),
                                 QStringLiteral("json")});
        QCOMPARE(both.code, 2);
        QVERIFY(both.out.isEmpty());
        QVERIFY2(both.err.contains("--stream"), both.err.constData());
    }

    // An address this computer has no route to: both refused at once, with
    // their own exit code and words, and nothing sent.
    void noRouteIsAFailure()
    {
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:60"), QStringLiteral("192.0.2.160"))}));
        const QString unroutable = QStringLiteral("203.0.113.99");
        QElapsedTimer clock;
        clock.start();
        const CliRun search = run({QStringLiteral("search"), QStringLiteral("--target"), unroutable});
        QCOMPARE(search.code, 8);
        QVERIFY2(search.err.contains("--target 203.0.113.99 cannot be reached: this computer has no route to it"),
                 search.err.constData());
        QVERIFY(search.out.isEmpty());
        const CliRun power = run({QStringLiteral("power"), unroutable, QStringLiteral("02:50:4d:c0:00:60")});
        QCOMPARE(power.code, 8);
        QVERIFY2(power.err.contains("203.0.113.99 cannot be reached: this computer has no route to it"), power.err.constData());
        QVERIFY(power.out.isEmpty());
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(500);
        QCOMPARE(side[0]->count(QStringLiteral("query")), 0);
        QCOMPARE(side[0]->count(QStringLiteral("visca")), 0);
        QCOMPARE(side[0]->count(QStringLiteral("wol")), 0);
    }

    // set refuses what cannot work (exit 2, whatever --force says) and what
    // conflicts with another holder of the address (exit 2 unless --force),
    // before anything is sent; --dry-run shows the record instead.
    void setRefusesBrokenAndTakenSettings()
    {
        const QString mac = QStringLiteral("02:50:4d:c0:00:50");
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(mac, QStringLiteral("192.0.2.150")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:51"), QStringLiteral("192.0.2.151"))}));
        // An address that is no camera's but answers ARP.
        const QString camNs = TestLan::cameraNamespaces().at(0);
        QVERIFY(runIpIn(camNs, {QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("192.0.2.153/24"),
                                QStringLiteral("dev"), TestLan::cameraInterface()}));
        auto dropAddress = qScopeGuard([&] {
            runIpIn(camNs, {QStringLiteral("addr"), QStringLiteral("del"), QStringLiteral("192.0.2.153/24"),
                            QStringLiteral("dev"), TestLan::cameraInterface()});
        });
        const QStringList base{QStringLiteral("set"), mac, QStringLiteral("--seconds"), QStringLiteral("1"),
                               QStringLiteral("--user"), QStringLiteral("admin")};
        const QStringList env{QStringLiteral("PATHMERE_PASSWORD=") + Password};
        const struct { QStringList args; const char *sentence; } refusals[] = {
            {{QStringLiteral("--ip"), QStringLiteral("192.0.2.151")},
             "--ip 192.0.2.151 is held by another device of the search (MAC 02:50:4d:c0:00:51"},
            {{QStringLiteral("--ip"), QStringLiteral("192.0.2.1"), QStringLiteral("--gateway"), QStringLiteral("192.0.2.254")},
             "--ip 192.0.2.1 is an address of this computer"},
            {{QStringLiteral("--ip"), QStringLiteral("192.0.2.153")},
             "--ip 192.0.2.153 answered an address-conflict probe from the device with MAC"},
            {{QStringLiteral("--ip"), QStringLiteral("192.0.2.255"), QStringLiteral("--force")},
             "--ip 192.0.2.255 is the broadcast address of 192.0.2.0/24; nothing was sent."},
            {{QStringLiteral("--ip"), QStringLiteral("192.0.2.152"), QStringLiteral("--mask"), QStringLiteral("255.0.255.0")},
             "--mask 255.0.255.0 is not a contiguous subnet mask"},
            {{QStringLiteral("--ip"), QStringLiteral("192.0.2.152"), QStringLiteral("--gateway"), QStringLiteral("198.51.100.1")},
             "--gateway 198.51.100.1 is outside the planned subnet 192.0.2.0/24"},
            {{QStringLiteral("--ip"), QStringLiteral("198.51.100.152")},
             "The camera's gateway 192.0.2.1 (kept: --gateway not given) is outside the planned subnet 198.51.100.0/24"},
        };
        for (const auto &refusal : refusals) {
            const CliRun r = run(base + refusal.args, {}, env);
            QVERIFY2(r.code == 2, qPrintable(refusal.args.join(QLatin1Char(' ')) + QLatin1String(": ") + QString::fromLocal8Bit(r.err)));
            QVERIFY2(r.err.contains(refusal.sentence), r.err.constData());
            QCOMPARE(r.err.count('\n'), 1);   // one sentence
        }
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 0);

        // --force sends a conflicting address; with --dry-run it shows the
        // record it would send, warns, and sends nothing. Any MAC form names
        // the camera.
        const CliRun forced = run({QStringLiteral("set"), QStringLiteral("02-50-4D-C0-00-50"), QStringLiteral("--seconds"),
                                   QStringLiteral("1"), QStringLiteral("--ip"), QStringLiteral("192.0.2.151"),
                                   QStringLiteral("--dns2"), QStringLiteral("192.0.2.53"), QStringLiteral("--user"),
                                   QStringLiteral("admin"), QStringLiteral("--force"), QStringLiteral("--dry-run")});
        QVERIFY2(forced.code == 0, forced.err.constData());
        QVERIFY2(forced.err.contains("warning: --ip 192.0.2.151 is held by another device"), forced.err.constData());
        const QString record = QString::fromUtf8(forced.out);
        for (const char *line : {"  mode      static (eth0)\n", "  ip        192.0.2.151\n", "  mac       02:50:4d:c0:00:50\n",
                                 "  mask      255.255.255.0\n", "  gateway   192.0.2.1\n", "  dns2      192.0.2.53\n",
                                 "  user      admin\n", "  password  (not read)\n"})
            QVERIFY2(record.contains(QLatin1String(line)), qPrintable(record));
        QTest::qWait(500);
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 0);
    }

    // A range across two subnets, or one the cameras' mask cuts, is refused;
    // the subnet's broadcast address is never planned.
    void assignStaysInsideOneSubnet()
    {
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:71"), QStringLiteral("192.0.2.40")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:72"), QStringLiteral("192.0.2.41"))}));
        const QStringList base{QStringLiteral("assign"), QStringLiteral("--seconds"), QStringLiteral("1"), QStringLiteral("--dry-run")};
        const QStringList across{QStringLiteral("--range"), QStringLiteral("192.0.2.254-192.0.3.5")};

        const CliRun given = run(base + across + QStringList{QStringLiteral("--mask"), QStringLiteral("255.255.255.0")});
        QCOMPARE(given.code, 2);
        QVERIFY2(given.err.contains("--range 192.0.2.254-192.0.3.5 is not inside one subnet of mask 255.255.255.0"),
                 given.err.constData());
        QCOMPARE(side[0]->count(QStringLiteral("query")), 0);   // refused before the search

        const CliRun kept = run(base + across);
        QCOMPARE(kept.code, 2);
        QVERIFY2(kept.err.contains("is not inside one subnet of mask 255.255.255.0"), kept.err.constData());

        const CliRun ends = run(base + QStringList{QStringLiteral("--range"), QStringLiteral("192.0.2.254-192.0.2.255")});
        QCOMPARE(ends.code, 7);
        QVERIFY2(ends.out.contains("skipped, the subnet's network or broadcast address: 192.0.2.255"), ends.out.constData());
        QVERIFY(!ends.out.contains("-> 192.0.2.255"));
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 0);
    }

    // A camera in a routed third subnet behind the second adapter: the
    // broadcast from the first adapter never reaches it, the unicast query
    // of --target does, and its reply comes back through the route.
    void targetReachesRoutedCamera()
    {
        const QString routed = QStringLiteral("203.0.113.20");
        QVERIFY(startSide(1, {QStringLiteral("--camera"),
                              camera(QStringLiteral("02:50:4d:c6:00:20"), routed,
                                     QStringLiteral("mask=255.255.255.0,gateway=203.0.113.1"))}));
        QVERIFY(TestLan::runIp({QStringLiteral("route"), QStringLiteral("replace"), QStringLiteral("203.0.113.0/24"),
                                QStringLiteral("via"), TestLan::cameraBaseAddresses().at(1)}));

        const QStringList fromFirst{QStringLiteral("--adapter"), QStringLiteral("192.0.2.1")};
        QVERIFY(searchJson(fromFirst).isEmpty());
        QCOMPARE(side[1]->count(QStringLiteral("query")), 0);

        const QJsonArray found = searchJson(fromFirst + QStringList{QStringLiteral("--target"), routed});
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().toObject().value(QStringLiteral("ip")).toString(), routed);
        const QList<QJsonObject> queries = side[1]->events(QStringLiteral("query"));
        QCOMPARE(queries.size(), 2);
        for (const QJsonObject &q : queries)
            QCOMPARE(q.value(QStringLiteral("to")).toString(), routed);

        // set reaches it the same way, and finds it again at its new address.
        const CliRun moved = run(QStringList{QStringLiteral("set"), QStringLiteral("02:50:4d:c6:00:20"), QStringLiteral("--ip"),
                                  QStringLiteral("203.0.113.21"), QStringLiteral("--seconds"), QStringLiteral("2"),
                                  QStringLiteral("--user"), QStringLiteral("admin")} + fromFirst
                                     + QStringList{QStringLiteral("--target"), routed},
                                 {}, {QStringLiteral("PATHMERE_PASSWORD=") + Password});
        QVERIFY2(moved.code == 0, moved.err.constData());
        // The record carries the password: a camera reached through a target
        // gets it by unicast alone, and the second adapter's link, which the
        // camera shares, sees no broadcast copy of it.
        const QList<QJsonObject> records = side[1]->events(QStringLiteral("settings"));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.last().value(QStringLiteral("to")).toString(), routed);
        QCOMPARE(records.last().value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
        side[1]->clearEvents();

        // The search keeps at most 16 targets; a 17th is refused before any query.
        QStringList tooMany{QStringLiteral("search")};
        for (int i = 1; i <= 17; ++i)
            tooMany << QStringLiteral("--target") << QStringLiteral("203.0.113.%1").arg(i);
        const CliRun refused = run(tooMany);
        QCOMPARE(refused.code, 2);
        QVERIFY(refused.err.contains("at most 16"));
        QCOMPARE(side[1]->count(QStringLiteral("query")), 0);

        TestLan::runIp({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("203.0.113.0/24")});
    }

    void setReachesEveryExitCode()
    {
        const QString mac = QStringLiteral("02:50:4d:c0:00:10");
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(mac, QStringLiteral("192.0.2.60"), QStringLiteral("reply=long"))}));
        const QStringList base{QStringLiteral("set"), mac, QStringLiteral("--seconds"), QStringLiteral("2"),
                               QStringLiteral("--user"), QStringLiteral("admin")};
        const QStringList env{QStringLiteral("PATHMERE_PASSWORD=") + Password};

        // usage, before anything is sent
        QCOMPARE(run(base + QStringList{QStringLiteral("--dhcp"), QStringLiteral("--ip"), QStringLiteral("192.0.2.61")}, {}, env).code, 2);
        QCOMPARE(run({QStringLiteral("set"), QStringLiteral("02:50:4d:c0:00"), QStringLiteral("--dhcp"),
                      QStringLiteral("--user"), QStringLiteral("admin")}, {}, env).code, 2);
        QCOMPARE(run(base + QStringList{QStringLiteral("--ip"), QStringLiteral("192.0.2.300")}, {}, env).code, 2);
        QCOMPARE(run(base + QStringList{QStringLiteral("--ip"), QStringLiteral("192.0.2.61")}).code, 2);   // no password
        QCOMPARE(side[0]->count(QStringLiteral("query")), 0);

        // not found
        const CliRun missing = run({QStringLiteral("set"), QStringLiteral("02:50:4d:c0:00:99"), QStringLiteral("--seconds"),
                                    QStringLiteral("1"), QStringLiteral("--dhcp"), QStringLiteral("--user"),
                                    QStringLiteral("admin")}, {}, env);
        QCOMPARE(missing.code, 3);
        QVERIFY(missing.err.contains("02:50:4d:c0:00:99"));

        // refused: wrong password from stdin
        const CliRun refused = run(base + QStringList{QStringLiteral("--ip"), QStringLiteral("192.0.2.61"),
                                                      QStringLiteral("--password-stdin")}, "wrong-one\n");
        QCOMPARE(refused.code, 4);
        QVERIFY(refused.err.contains("Invalid ID"));

        // confirmed; the password is never on the command line
        bool sawProcess = false;
        bool passwordInCmdline = false;
        const CliRun done = run(base + QStringList{QStringLiteral("--ip"), QStringLiteral("192.0.2.61"),
                                                   QStringLiteral("--gateway"), QStringLiteral("192.0.2.254"),
                                                   QStringLiteral("--password-stdin")},
                                Password.toUtf8() + "\n", {}, [&](QProcess &p) {
                                    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(p.processId()));
                                    if (cmdline.open(QIODevice::ReadOnly)) {
                                        const QByteArray text = cmdline.readAll();
                                        sawProcess = sawProcess || text.contains("set");
                                        passwordInCmdline = passwordInCmdline || text.contains(Password.toUtf8());
                                    }
                                });
        QVERIFY2(done.code == 0, done.err.constData());
        QVERIFY(sawProcess);
        QVERIFY(!passwordInCmdline);
        const QList<QJsonObject> applied = side[0]->events(QStringLiteral("settings"));
        QCOMPARE(applied.last().value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
        QCOMPARE(applied.last().value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.61"));
        // Fields not given keep the camera's values, as in the window's form.
        QCOMPARE(applied.last().value(QStringLiteral("mask")).toString(), QStringLiteral("255.255.255.0"));
        QCOMPARE(applied.last().value(QStringLiteral("dns1")).toString(), QStringLiteral("192.0.2.1"));
        const QJsonObject now = findMac(searchJson({}), mac);
        QCOMPARE(now.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.61"));
        QCOMPARE(now.value(QStringLiteral("gateway")).toString(), QStringLiteral("192.0.2.254"));

        // not confirmed: the camera takes the change and is gone before the
        // confirming search (a camera that restarts, say)
        bool stopped = false;
        const CliRun lost = run(base + QStringList{QStringLiteral("--dhcp")}, {}, env, [&](QProcess &) {
            if (!stopped && side[0]->count(QStringLiteral("settings")) > applied.size()) {
                stopped = true;
                side[0]->stop();
            }
        });
        QVERIFY(stopped);
        QCOMPARE(lost.code, 5);
    }

    void assignPlansAppliesAndRepeats()
    {
        // Model filter: OTHER-1 is not assigned, but its address is taken.
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:23"), QStringLiteral("192.0.2.71")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:21"), QStringLiteral("192.0.2.70")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:22"), QStringLiteral("192.0.2.90")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:30"), QStringLiteral("192.0.2.80"),
                                                                 QStringLiteral("model=OTHER-1"))}));
        // An address that is no camera's but answers ARP.
        const QString camNs = TestLan::cameraNamespaces().at(0);
        QVERIFY(runIpIn(camNs, {QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("192.0.2.81/24"),
                                QStringLiteral("dev"), TestLan::cameraInterface()}));
        const QStringList base{QStringLiteral("assign"), QStringLiteral("--seconds"), QStringLiteral("2"),
                               QStringLiteral("--model"), QStringLiteral("SIM-CAM100"), QStringLiteral("--user"),
                               QStringLiteral("admin")};
        const QStringList env{QStringLiteral("PATHMERE_PASSWORD=") + Password};
        const QStringList range{QStringLiteral("--range"), QStringLiteral("192.0.2.80-192.0.2.90")};

        const CliRun dry = run(base + range + QStringList{QStringLiteral("--dry-run")});
        QCOMPARE(dry.code, 0);
        const QString plan = QString::fromUtf8(dry.out);
        QVERIFY2(plan.contains(QStringLiteral("02:50:4d:c0:00:21  192.0.2.70 -> 192.0.2.82  new address")), qPrintable(plan));
        QVERIFY2(plan.contains(QStringLiteral("02:50:4d:c0:00:22  192.0.2.90 -> 192.0.2.90  unchanged")), qPrintable(plan));
        QVERIFY2(plan.contains(QStringLiteral("02:50:4d:c0:00:23  192.0.2.71 -> 192.0.2.83  new address")), qPrintable(plan));
        QVERIFY2(plan.contains(QStringLiteral("held by a device found: 192.0.2.80")), qPrintable(plan));
        QVERIFY2(plan.contains(QStringLiteral("answered an address-conflict probe: 192.0.2.81")), qPrintable(plan));
        QVERIFY(!plan.contains(QStringLiteral("02:50:4d:c0:00:30")));
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 0);

        const CliRun applied = run(base + range, {}, env);
        QVERIFY2(applied.code == 0, applied.err.constData() + applied.out);
        const QString status = QString::fromUtf8(applied.out);
        QVERIFY2(status.contains(QStringLiteral("02:50:4d:c0:00:21 192.0.2.82 confirmed")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("02:50:4d:c0:00:23 192.0.2.83 confirmed")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("02:50:4d:c0:00:22 192.0.2.90 unchanged")), qPrintable(status));
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 2);

        // The same command again changes nothing and sends nothing.
        const CliRun again = run(base + range, {}, env);
        QCOMPARE(again.code, 0);
        int unchangedLines = 0;
        for (const QString &line : QString::fromUtf8(again.out).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("02:50:4d:c0:00:2")) && line.endsWith(QLatin1String(" unchanged")))
                ++unchangedLines;   // status lines; the plan's are indented
        }
        QCOMPARE(unchangedLines, 3);
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 2);

        // Too small: 80 is held, 81 answers the probe, 82 stays with its
        // camera; two cameras are left without one.
        const CliRun small = run(base + QStringList{QStringLiteral("--range"), QStringLiteral("192.0.2.80-192.0.2.82")}, {}, env);
        QCOMPARE(small.code, 7);
        QVERIFY(small.err.contains("2 address(es) short"));
        QCOMPARE(side[0]->count(QStringLiteral("settings")), 2);

        runIpIn(camNs, {QStringLiteral("addr"), QStringLiteral("del"), QStringLiteral("192.0.2.81/24"),
                        QStringLiteral("dev"), TestLan::cameraInterface()});
    }

    void powerOnStandbyAndSilentCameras()
    {
        QVERIFY(startSide(0, {QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:41"), QStringLiteral("192.0.2.100"), QStringLiteral("power=on")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:42"), QStringLiteral("192.0.2.101"), QStringLiteral("power=standby")),
                              QStringLiteral("--camera"), camera(QStringLiteral("02:50:4d:c0:00:43"), QStringLiteral("192.0.2.102"), QStringLiteral("power=silent"))}));
        const CliRun on = run({QStringLiteral("power"), QStringLiteral("192.0.2.100"), QStringLiteral("02:50:4d:c0:00:41")});
        QCOMPARE(on.code, 0);
        QVERIFY2(on.out.contains("already on"), on.out.constData());
        QCOMPARE(side[0]->count(QStringLiteral("power")), 0);

        const CliRun standby = run({QStringLiteral("power"), QStringLiteral("192.0.2.101"), QStringLiteral("02:50:4d:c0:00:42")});
        QCOMPARE(standby.code, 0);
        QVERIFY2(standby.out.contains("switched on"), standby.out.constData());
        QCOMPARE(side[0]->count(QStringLiteral("power")), 1);
        QCOMPARE(side[0]->count(QStringLiteral("wol")), 0);

        // The silent camera wakes from Wake-on-LAN and, asked again, says so.
        const CliRun silent = run({QStringLiteral("power"), QStringLiteral("192.0.2.102"), QStringLiteral("02:50:4d:c0:00:43")});
        QCOMPARE(silent.code, 0);
        QVERIFY2(silent.out.contains("Wake-on-LAN was sent"), silent.out.constData());
        QVERIFY2(silent.out.contains("it now reports itself on"), silent.out.constData());
        int magic = 0;
        for (const QJsonObject &e : side[0]->events(QStringLiteral("wol")))
            magic += e.value(QStringLiteral("mac")).toString() == QLatin1String("02:50:4d:c0:00:43") ? 1 : 0;
        QCOMPARE(magic, 15);

        QCOMPARE(run({QStringLiteral("power"), QStringLiteral("192.0.2.102")}).code, 2);

        // Nobody at the address and nobody with the MAC: Wake-on-LAN goes
        // out, no answer ever comes, and that is no success.
        side[0]->clearEvents();
        const CliRun nobody = run({QStringLiteral("power"), QStringLiteral("192.0.2.104"), QStringLiteral("02:50:4d:c0:00:44")});
        QCOMPARE(nobody.code, 9);
        QVERIFY(nobody.out.isEmpty());
        QVERIFY2(nobody.err.contains("Wake-on-LAN was sent to 02:50:4d:c0:00:44"), nobody.err.constData());
        QVERIFY2(nobody.err.contains("whether it woke is not known"), nobody.err.constData());
        QCOMPARE(side[0]->count(QStringLiteral("wol")), 15);

        // Neither a broadcast address nor this computer's own is a camera.
        for (const char *address : {"192.0.2.255", "192.0.2.1", "224.0.0.1"}) {
            const CliRun refused = run({QStringLiteral("power"), QString::fromLatin1(address), QStringLiteral("02:50:4d:c0:00:41")});
            QCOMPARE(refused.code, 2);
            QVERIFY2(refused.err.contains("ADDRESS ") && refused.err.contains("nothing was sent"), refused.err.constData());
        }
    }

    // On a terminal the password is asked for with echo off; it never shows.
    void passwordPromptHasNoEcho()
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is needed for the pseudo-terminal");
        const QString script = QStringLiteral(
            "import json,os,pty,select,sys,termios,time\n"
            "pid,fd=pty.fork()\n"
            "if pid==0:\n"
            "    os.execv(sys.argv[1],[sys.argv[1],'set','02:50:4d:c0:00:99','--dhcp','--seconds','1','--user','admin'])\n"
            "buf=b''\n"
            "end=time.time()+10\n"
            "while b'Password for admin:' not in buf and time.time()<end:\n"
            "    if select.select([fd],[],[],0.2)[0]: buf+=os.read(fd,1024)\n"
            "time.sleep(0.3)\n"
            "echo=bool(termios.tcgetattr(fd)[3]&termios.ECHO)\n"
            "os.write(fd,b'Secret-123\\n')\n"
            "out=b''\n"
            "while True:\n"
            "    try: d=os.read(fd,1024)\n"
            "    except OSError: break\n"
            "    if not d: break\n"
            "    out+=d\n"
            "status=os.waitpid(pid,0)[1]\n"
            "print(json.dumps({'prompted':b'Password for admin:' in buf,'echo':echo,"
            "'echoed':b'Secret-123' in out,'code':os.waitstatus_to_exitcode(status)}))\n");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("PATHMERE_PASSWORD"));
        process.setProcessEnvironment(environment);
        process.start(python, {QStringLiteral("-c"), script, cliPath()});
        QVERIFY(process.waitForFinished(60000));
        const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        QVERIFY2(!result.isEmpty(), process.readAllStandardError().constData());
        QVERIFY(result.value(QStringLiteral("prompted")).toBool());
        QVERIFY(!result.value(QStringLiteral("echo")).toBool());
        QVERIFY(!result.value(QStringLiteral("echoed")).toBool());
        // The password was taken: the command went on to search (and found
        // no such camera).
        QCOMPARE(result.value(QStringLiteral("code")).toInt(), 3);
    }

    // Port 8000 held by another program: refused at once with --port-wait 0,
    // taken once it is given back otherwise.
    void portHeldByAnotherProgram()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 8000, QAbstractSocket::ReuseAddressHint));
        const CliRun refused = run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("1"),
                                    QStringLiteral("--port-wait"), QStringLiteral("0")});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains("port 8000"), refused.err.constData());
        QVERIFY(refused.out.isEmpty());

        QElapsedTimer clock;
        clock.start();
        const CliRun waited = run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("1"),
                                   QStringLiteral("--port-wait"), QStringLiteral("10")}, {}, {}, [&](QProcess &) {
                                       if (holder.state() == QAbstractSocket::BoundState && clock.elapsed() > 1000)
                                           holder.close();
                                   });
        QCOMPARE(waited.code, 0);
        QVERIFY(waited.err.contains("waiting"));
    }

    // A firewall that drops the search's replies: doctor names the rule and
    // its fix, and once the fix is in, the camera answers and no problem is left.
    void doctorNamesAFirewallDropAndItsFix()
    {
        const QString nft = QStandardPaths::findExecutable(QStringLiteral("nft"));
        QVERIFY2(!nft.isEmpty(), "nft is not installed (scripts/packages.txt lists nftables)");
        QVERIFY(startSide(0, {QStringLiteral("--camera"), QStringLiteral("mac=02:50:4d:00:0d:21,ip=192.0.2.41")}));
        QProcess load;
        load.start(nft, {QStringLiteral("-f"), QStringLiteral("-")});
        QVERIFY(load.waitForStarted(5000));
        load.write("table inet pmclitest {\n chain input {\n  type filter hook input priority 0; policy accept;\n"
                   "  udp dport 8000 drop\n }\n}\n");
        load.closeWriteChannel();
        QVERIFY(load.waitForFinished(5000) && load.exitCode() == 0);
        const auto dropTable = qScopeGuard([&nft] {
            QProcess::execute(nft, {QStringLiteral("delete"), QStringLiteral("table"), QStringLiteral("inet"),
                                    QStringLiteral("pmclitest")});
        });

        const CliRun broken = run({QStringLiteral("doctor"), QStringLiteral("--format"), QStringLiteral("json"),
                                   QStringLiteral("--seconds"), QStringLiteral("1")});
        QCOMPARE(broken.code, 10);
        const QJsonObject report = QJsonDocument::fromJson(broken.out).object();
        QCOMPARE(report.value(QStringLiteral("status")).toString(), QStringLiteral("problem"));
        QString fix;
        for (const QJsonValue &value : report.value(QStringLiteral("checks")).toArray()) {
            const QJsonObject check = value.toObject();
            if (check.value(QStringLiteral("check")).toString() == QLatin1String("firewall")
                && check.value(QStringLiteral("status")).toString() == QLatin1String("problem"))
                fix = check.value(QStringLiteral("fix")).toString();
        }
        QCOMPARE(fix, QStringLiteral("sudo nft insert rule inet pmclitest input udp dport 8000 accept"));

        // The fix as printed (without sudo: the suite is root in its namespace).
        QCOMPARE(QProcess::execute(nft, fix.split(QLatin1Char(' ')).mid(2)), 0);
        // The simulated camera's MAC is not its interface's, which an ARP
        // probe would rightly call a conflict.
        const CliRun fixed = run({QStringLiteral("doctor"), QStringLiteral("--seconds"), QStringLiteral("1"),
                                  QStringLiteral("--no-probe")});
        QVERIFY2(fixed.code == 0, fixed.out.constData());
        QVERIFY2(fixed.out.contains("(192.0.2.1) got answers from 1 camera(s)."), fixed.out.constData());

        QCOMPARE(run({QStringLiteral("doctor"), QStringLiteral("--format"), QStringLiteral("yaml")}).code, 2);
    }

    // The fleet report from a search, and from the list that search saved:
    // the same figures, firmware compared number by number (1.10 is newer
    // than 1.9), and a camera in no adapter's subnet named.
    void reportFromASearchAndFromItsSavedList()
    {
        QVERIFY(startSide(0, {QStringLiteral("--camera"), QStringLiteral("mac=02:50:4d:00:0e:01,ip=192.0.2.71,model=SIM-A,fw=1.9.0"),
                              QStringLiteral("--camera"), QStringLiteral("mac=02:50:4d:00:0e:02,ip=192.0.2.72,model=SIM-A,fw=1.10.0,dhcp=1"),
                              QStringLiteral("--camera"), QStringLiteral("mac=02:50:4d:00:0e:03,ip=192.0.2.73,model=SIM-A,fw=1.9.0"),
                              QStringLiteral("--camera"), QStringLiteral("mac=02:50:4d:00:0e:04,ip=203.0.113.74,model=SIM-B,fw=2.0")}));
        const QStringList search{QStringLiteral("--adapter"), QStringLiteral("lan0"), QStringLiteral("--seconds"), QStringLiteral("2")};
        const CliRun live = run(QStringList{QStringLiteral("report"), QStringLiteral("--format"), QStringLiteral("json")} + search);
        QCOMPARE(live.code, 0);
        QTemporaryFile saved;
        QVERIFY(saved.open());
        const CliRun list = run(QStringList{QStringLiteral("search"), QStringLiteral("--format"), QStringLiteral("csv")} + search);
        QCOMPARE(list.code, 0);
        saved.write(list.out);
        saved.flush();
        const CliRun fromFile = run({QStringLiteral("report"), QStringLiteral("--format"), QStringLiteral("json"),
                                     QStringLiteral("--from"), saved.fileName()});
        QCOMPARE(fromFile.code, 0);

        for (const CliRun *r : {&live, &fromFile}) {
            const QJsonObject report = QJsonDocument::fromJson(r->out).object();
            QCOMPARE(report.value(QStringLiteral("cameras")).toInt(), 4);
            QCOMPARE(report.value(QStringLiteral("dhcp")).toInt(), 1);
            QCOMPARE(report.value(QStringLiteral("static")).toInt(), 3);
            const QJsonObject a = report.value(QStringLiteral("models")).toArray().first().toObject();
            QCOMPARE(a.value(QStringLiteral("model")).toString(), QStringLiteral("SIM-A"));
            QCOMPARE(a.value(QStringLiteral("newest")).toString(), QStringLiteral("1.10.0"));
            QCOMPARE(a.value(QStringLiteral("oldest")).toString(), QStringLiteral("1.9.0"));
            QCOMPARE(a.value(QStringLiteral("behindNewest")).toArray().size(), 2);
            const QJsonArray outside = report.value(QStringLiteral("outsideSubnets")).toArray();
            QCOMPARE(outside.size(), 1);
            QCOMPARE(outside.first().toObject().value(QStringLiteral("ip")).toString(), QStringLiteral("203.0.113.74"));
        }
        QVERIFY(QJsonDocument::fromJson(fromFile.out).object().value(QStringLiteral("source")).toString().startsWith(
            QLatin1String("saved list ")));

        const CliRun html = run({QStringLiteral("report"), QStringLiteral("--from"), saved.fileName()});
        QCOMPARE(html.code, 0);
        QVERIFY(html.out.startsWith("<!DOCTYPE html>"));
        QVERIFY(html.out.contains("<svg"));
        const CliRun missing = run({QStringLiteral("report"), QStringLiteral("--from"), saved.fileName() + QStringLiteral(".gone")});
        QCOMPARE(missing.code, 1);
        QVERIFY(missing.out.isEmpty());
        QVERIFY(!missing.err.isEmpty());
        QCOMPARE(run({QStringLiteral("report"), QStringLiteral("--from"), saved.fileName(), QStringLiteral("--adapter"),
                      QStringLiteral("lan0")}).code, 2);
    }
};

QTEST_GUILESS_MAIN(TestCliLan)
#include "tst_clilan.moc"
