// pathmere-cli with cameras it cannot reach and addresses held twice: the
// real binary in the program namespace, camsim behind lan0.
#include "camsimprocess.h"
#include "cliprocess.h"
#include "testlan.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("Pw-51c0de");
const QString Lost = QStringLiteral("02:50:4d:00:fe:01");   // the camera on its factory address

QString camera(const QString &mac, const QString &ip, const QString &extra = QString())
{
    return QStringLiteral("mac=%1,ip=%2,user=admin,password=%3").arg(mac, ip, Password)
        + (extra.isEmpty() ? QString() : QLatin1Char(',') + extra);
}

QJsonObject findMac(const QJsonArray &list, const QString &mac)
{
    for (const QJsonValue &v : list) {
        if (v.toObject().value(QStringLiteral("mac")).toString().compare(mac, Qt::CaseInsensitive) == 0)
            return v.toObject();
    }
    return QJsonObject();
}

QJsonArray searchJson()
{
    const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("2"),
                                               QStringLiteral("--format"), QStringLiteral("json")});
    if (r.code != 0)
        qWarning("search failed (%d): %s", r.code, r.err.constData());
    return QJsonDocument::fromJson(r.out).array();
}

} // namespace

class TestCliFixSubnet : public QObject
{
    Q_OBJECT

private:
    CamsimProcess *camsim = nullptr;

    bool startCameras(const QStringList &cameras)
    {
        delete camsim;
        camsim = new CamsimProcess(this);
        if (!camsim->startCameras(0, cameras)) {
            qWarning("%s", qPrintable(camsim->errorText()));
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(QFile::exists(CliProcess::path()), qPrintable(CliProcess::path()));
        // A reply from another subnet must not be filtered here: that case
        // belongs to the doctor's suite.
        for (const char *adapter : {"all", "default", "lan0"})
            QVERIFY(TestLan::setRpFilter(QLatin1String(adapter), 0));
    }

    void cleanup()
    {
        delete camsim;
        camsim = nullptr;
    }

    // A camera on an address of another subnet is marked in every output,
    // moved home by fix-subnet (dry run first, a wrong password refused) and
    // confirmed there by the search.
    void otherSubnetMarkedAndReaddressed()
    {
        const QString home = QStringLiteral("02:50:4d:00:fe:02");
        QVERIFY(startCameras({camera(Lost, QStringLiteral("203.0.113.5")), camera(home, QStringLiteral("192.0.2.40"))}));

        const QJsonArray before = searchJson();
        QCOMPARE(findMac(before, Lost).value(QStringLiteral("reachable")), QJsonValue(false));
        QCOMPARE(findMac(before, home).value(QStringLiteral("reachable")), QJsonValue(true));
        QCOMPARE(findMac(before, Lost).value(QStringLiteral("conflict")), QJsonValue(false));
        // Every key a caller read before is still there.
        QCOMPARE(findMac(before, Lost).value(QStringLiteral("ip")).toString(), QStringLiteral("203.0.113.5"));

        const CliProcess::Run table = CliProcess::run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("2")});
        QVERIFY2(table.out.contains(QStringLiteral("! %1 at 203.0.113.5 is not reachable from this computer").arg(Lost).toUtf8()),
                 table.out.constData());
        QVERIFY2(!table.out.contains(QStringLiteral("! %1").arg(home).toUtf8()), table.out.constData());
        QVERIFY(table.out.endsWith("2 cameras found\n"));

        const CliProcess::Run csv = CliProcess::run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("2"),
                                                     QStringLiteral("--format"), QStringLiteral("csv")});
        const QList<QByteArray> lines = csv.out.split('\n');
        QVERIFY2(lines.first().startsWith("searchType,name,model,serialNo,ip,mac,"), csv.out.constData());
        QVERIFY2(lines.first().endsWith(",ipv6,reachable,conflict\r"), csv.out.constData());
        bool lostRow = false;
        for (const QByteArray &line : lines) {
            if (line.contains(Lost.toUtf8()) || line.contains(Lost.toUpper().toUtf8())) {
                lostRow = true;
                QVERIFY2(line.endsWith(",false,false\r"), line.constData());
            }
        }
        QVERIFY(lostRow);

        // Dry run: the plan, and nothing sent. .1 is this computer, .2 the
        // camera namespace's own address (it answers the probe), .40 a camera.
        const CliProcess::Run dry = CliProcess::run({QStringLiteral("fix-subnet"), Lost, QStringLiteral("--seconds"),
                                                     QStringLiteral("2"), QStringLiteral("--dry-run")});
        QVERIFY2(dry.code == 0, dry.err.constData());
        QVERIFY2(dry.out.contains("moving it to 192.0.2.3 mask 255.255.255.0"), dry.out.constData());
        QVERIFY2(dry.out.contains("  ip        192.0.2.3\n"), dry.out.constData());
        QCOMPARE(camsim->count(QStringLiteral("settings")), 0);

        const QStringList fix{QStringLiteral("fix-subnet"), Lost, QStringLiteral("--seconds"), QStringLiteral("2"),
                              QStringLiteral("--user"), QStringLiteral("admin")};
        const CliProcess::Run refused = CliProcess::run(fix, {}, {QStringLiteral("PATHMERE_PASSWORD=wrong")});
        QVERIFY2(refused.code == 4, refused.err.constData());
        QVERIFY2(refused.err.contains("Invalid ID"), refused.err.constData());

        const CliProcess::Run moved = CliProcess::run(fix, {}, {QStringLiteral("PATHMERE_PASSWORD=") + Password});
        QVERIFY2(moved.code == 0, moved.err.constData());
        QVERIFY2(moved.out.contains(QStringLiteral("%1: confirmed, 192.0.2.3 mask 255.255.255.0").arg(Lost).toUtf8()),
                 moved.out.constData());

        const QJsonObject after = findMac(searchJson(), Lost);
        QCOMPARE(after.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.3"));
        QCOMPARE(after.value(QStringLiteral("reachable")), QJsonValue(true));

        const CliProcess::Run again = CliProcess::run(fix, {}, {QStringLiteral("PATHMERE_PASSWORD=") + Password});
        QVERIFY2(again.code == 0, again.err.constData());
        QVERIFY2(again.out.contains("reachable from this computer already"), again.out.constData());
    }

    // --temporary prints the command; with --apply the address is on lan0
    // while the command runs and gone after it, whether --seconds ends it or
    // SIGTERM does. Without CAP_NET_ADMIN it names the command to run.
    void temporaryAddressAddedAndRemoved()
    {
        QVERIFY(startCameras({camera(Lost, QStringLiteral("203.0.113.5"), QStringLiteral("gateway=203.0.113.254"))}));
        const QString address = QStringLiteral("203.0.113.253");
        const QByteArray command = "sudo ip addr add 203.0.113.253/24 dev lan0";

        const CliProcess::Run printed = CliProcess::run({QStringLiteral("fix-subnet"), Lost, QStringLiteral("--temporary"),
                                                         QStringLiteral("--seconds"), QStringLiteral("2")});
        QVERIFY2(printed.code == 0, printed.err.constData());
        QVERIFY2(printed.out.contains(command), printed.out.constData());
        QVERIFY2(printed.out.contains("sudo ip addr del 203.0.113.253/24 dev lan0"), printed.out.constData());
        QVERIFY(!TestLan::hasAddress(QStringLiteral("lan0"), address));

        for (const bool bySignal : {false, true}) {
            QStringList arguments{QStringLiteral("fix-subnet"), Lost, QStringLiteral("--temporary"), QStringLiteral("--apply")};
            if (!bySignal)
                arguments << QStringLiteral("--seconds") << QStringLiteral("3");
            QByteArray seen;
            bool heldWhileRunning = false;
            const CliProcess::Run held = CliProcess::run(arguments, {}, {}, 60000, [&](QProcess &process) {
                seen += process.readAllStandardOutput();
                if (!heldWhileRunning && seen.contains("Added 203.0.113.253/24 to lan0")) {
                    heldWhileRunning = TestLan::hasAddress(QStringLiteral("lan0"), address);
                    if (bySignal)
                        process.terminate();
                }
            });
            seen += held.out;
            QVERIFY2(held.code == 0, held.err.constData());
            QVERIFY2(heldWhileRunning, seen.constData());
            QVERIFY2(seen.contains("Removed 203.0.113.253/24 from lan0."), seen.constData());
            QVERIFY(!TestLan::hasAddress(QStringLiteral("lan0"), address));
            QVERIFY(TestLan::hasAddress(QStringLiteral("lan0"), QStringLiteral("192.0.2.1")));
        }

        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("setpriv is not installed: the case without CAP_NET_ADMIN is not run");
        QProcess bare;
        bare.start(setpriv, {QStringLiteral("--inh-caps=-net_admin"), QStringLiteral("--bounding-set=-net_admin"),
                             CliProcess::path(), QStringLiteral("fix-subnet"), Lost, QStringLiteral("--temporary"),
                             QStringLiteral("--apply"), QStringLiteral("--seconds"), QStringLiteral("2")});
        QVERIFY(QTest::qWaitFor([&] { return bare.state() == QProcess::NotRunning; }, 30000));
        const QByteArray err = bare.readAllStandardError();
        QCOMPARE(bare.exitCode(), 1);
        QVERIFY2(err.contains("CAP_NET_ADMIN") && err.contains(command), err.constData());
        QVERIFY(!TestLan::hasAddress(QStringLiteral("lan0"), address));
    }

    // Two cameras on one address: both flagged in the JSON and warned about
    // on stderr; the third is not.
    void twoCamerasOnOneAddressFlagged()
    {
        const QString first = QStringLiteral("02:50:4d:00:fe:91");
        const QString second = QStringLiteral("02:50:4d:00:fe:92");
        const QString alone = QStringLiteral("02:50:4d:00:fe:95");
        QVERIFY(startCameras({camera(first, QStringLiteral("192.0.2.90")), camera(second, QStringLiteral("192.0.2.90")),
                              camera(alone, QStringLiteral("192.0.2.95"))}));
        const CliProcess::Run r = CliProcess::run({QStringLiteral("search"), QStringLiteral("--seconds"), QStringLiteral("2"),
                                                   QStringLiteral("--format"), QStringLiteral("json")});
        QVERIFY2(r.code == 0, r.err.constData());
        const QJsonArray list = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(findMac(list, first).value(QStringLiteral("conflict")), QJsonValue(true));
        QCOMPARE(findMac(list, second).value(QStringLiteral("conflict")), QJsonValue(true));
        QCOMPARE(findMac(list, alone).value(QStringLiteral("conflict")), QJsonValue(false));
        QCOMPARE(findMac(list, alone).value(QStringLiteral("reachable")), QJsonValue(true));
        const QString err = QString::fromLocal8Bit(r.err);
        const QRegularExpression warning(QStringLiteral("^pathmere-cli: warning: Conflict: 192\\.0\\.2\\.90 is answered by (\\S+) and (\\S+)\\.$"),
                                         QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = warning.match(err);
        QVERIFY2(match.hasMatch(), qPrintable(err));
        QCOMPARE(QSet<QString>({match.captured(1).toLower(), match.captured(2).toLower()}), QSet<QString>({first, second}));
        QVERIFY2(!err.contains(QLatin1String("192.0.2.95")), qPrintable(err));
    }

    // The firewall check covers the ports of the searches named by
    // --sources: a rule that drops only 1900 is no problem for the utility
    // search, and is one, with its fix, once doccam is among the sources.
    void doctorChecksTheSourcesPorts()
    {
        const QString nft = QStandardPaths::findExecutable(QStringLiteral("nft"));
        QVERIFY2(!nft.isEmpty(), "nft is not installed (scripts/packages.txt lists nftables)");
        QVERIFY(TestLan::loadNftRules("table inet pmfixtest {\n chain input {\n  type filter hook input priority 0; "
                                      "policy accept;\n  udp dport 1900 drop\n }\n}\n"));
        const auto dropTable = qScopeGuard([&nft] {
            QProcess::execute(nft, {QStringLiteral("delete"), QStringLiteral("table"), QStringLiteral("inet"),
                                    QStringLiteral("pmfixtest")});
        });
        const auto firewallFixes = [](const QStringList &extra, int *code) {
            const CliProcess::Run r = CliProcess::run(QStringList{QStringLiteral("doctor"), QStringLiteral("--no-live"),
                                                                  QStringLiteral("--no-probe"), QStringLiteral("--format"),
                                                                  QStringLiteral("json")} + extra);
            *code = r.code;
            QStringList fixes;
            const QJsonArray checks = QJsonDocument::fromJson(r.out).object().value(QStringLiteral("checks")).toArray();
            for (const QJsonValue &value : checks) {
                const QJsonObject check = value.toObject();
                if (check.value(QStringLiteral("check")).toString() == QLatin1String("firewall")
                    && check.value(QStringLiteral("status")).toString() == QLatin1String("problem"))
                    fixes.append(check.value(QStringLiteral("fix")).toString());
            }
            return fixes;
        };
        int code = -1;
        QCOMPARE(firewallFixes({}, &code), QStringList());
        QCOMPARE(code, 0);
        QCOMPARE(firewallFixes({QStringLiteral("--sources"), QStringLiteral("utility,doccam")}, &code),
                 QStringList{QStringLiteral("sudo nft insert rule inet pmfixtest input udp dport 1900 accept")});
        QCOMPARE(code, 10);
        QCOMPARE(CliProcess::run({QStringLiteral("doctor"), QStringLiteral("--sources"), QStringLiteral("nothing")}).code, 2);
    }
};

QTEST_GUILESS_MAIN(TestCliFixSubnet)
#include "tst_clifixsubnet.moc"
