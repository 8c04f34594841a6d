// pathmere-cli --keyring and forget in the test LAN, against a real
// gnome-keyring-daemon on a D-Bus session of the test's own: one command
// stores the login after a confirmed write, the next reads it, forget
// removes it, and no password lands in a file under HOME. Without a Secret
// Service the tool says so once and takes the password from elsewhere.
#include "camsimprocess.h"
#include "keyringsession.h"
#include "testhome.h"
#include "testlan.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

const QString Mac = QStringLiteral("02:50:4d:00:0d:01");
const QString Password = QStringLiteral("cli-Pw-3e91a7c0");
const QString NoBusSentence = QStringLiteral("No keyring answers on this session's D-Bus");

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

QString cliPath()
{
    return qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/pathmere-cli");
}

} // namespace

class TestCliKeyring : public QObject
{
    Q_OBJECT

private:
    TestHome home;
    KeyringSession session{home};
    std::unique_ptr<CamsimProcess> camsim;

    // The CLI with the test's HOME and session bus (or bus, when given),
    // standard input not a terminal; the event loop turns meanwhile.
    CliRun run(const QStringList &args, const QString &password = QString(), const QString &bus = QString())
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("PATHMERE_PASSWORD"));
        home.applyTo(&env);
        session.applyTo(&env);
        if (!bus.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        if (!password.isEmpty())
            env.insert(QStringLiteral("PATHMERE_PASSWORD"), password);
        process.setProcessEnvironment(env);
        process.start(cliPath(), args);
        CliRun result;
        if (!process.waitForStarted(5000))
            return result;
        process.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
            process.kill();
            process.waitForFinished(2000);
            return result;
        }
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return result;
    }

    static QStringList setTo(const QString &ip, const QStringList &extra)
    {
        return QStringList{QStringLiteral("set"), Mac, QStringLiteral("--ip"), ip, QStringLiteral("--adapter"),
                           QStringLiteral("lan0"), QStringLiteral("--seconds"), QStringLiteral("2"),
                           QStringLiteral("--keyring")} + extra;
    }

    // Settings records camsim applied, by the address they moved to.
    int appliedTo(const QString &ip) const
    {
        int count = 0;
        for (const QJsonObject &event : camsim->events(QStringLiteral("settings"), QStringLiteral("result"),
                                                       QStringLiteral("applied")))
            count += event.value(QStringLiteral("ip")).toString() == ip ? 1 : 0;
        return count;
    }

private slots:
    void initTestCase()
    {
        TESTLAN_REQUIRE();
        QVERIFY2(QFile::exists(cliPath()), qPrintable(cliPath()));
        QVERIFY(home.isValid());
        QString error;
        QVERIFY2(session.startBus(&error), qPrintable(error));
        QVERIFY2(session.startKeyring("login-keyring-password", &error), qPrintable(error));
    }

    void init()
    {
        camsim = std::make_unique<CamsimProcess>();
        QVERIFY2(camsim->startCameras(0, {QStringLiteral("mac=%1,ip=192.0.2.61,model=SIM-K,user=admin,password=%2")
                                              .arg(Mac, Password)}),
                 qPrintable(camsim->errorText()));
    }

    void cleanup()
    {
        camsim.reset();
        run({QStringLiteral("forget"), QStringLiteral("--all")});
    }

    // Stored per camera by one command, read by the next (user ID too),
    // forgotten; then the keyring has nothing and the tool asks as before.
    void cameraLoginStoredReadAndForgotten()
    {
        const CliRun first = run(setTo(QStringLiteral("192.0.2.62"), {QStringLiteral("--user"), QStringLiteral("admin")}),
                                 Password);
        QCOMPARE(first.code, 0);
        QVERIFY2(first.err.contains(QStringLiteral("stored in the keyring")), qPrintable(first.err));

        const CliRun second = run(setTo(QStringLiteral("192.0.2.63"), {}));
        QCOMPARE(second.code, 0);
        QVERIFY2(second.err.contains(QStringLiteral("from the keyring")), qPrintable(second.err));
        QVERIFY2(!second.err.contains(QStringLiteral("stored")), qPrintable(second.err));
        QCOMPARE(appliedTo(QStringLiteral("192.0.2.63")), 1);

        // Another user ID than the remembered one leaves the entry unused.
        const CliRun other = run(setTo(QStringLiteral("192.0.2.64"), {QStringLiteral("--user"), QStringLiteral("op")}));
        QCOMPARE(other.code, 2);
        QVERIFY2(other.err.contains(QStringLiteral("another user ID")), qPrintable(other.err));

        const CliRun forget = run({QStringLiteral("forget"), Mac.toUpper()});
        QCOMPARE(forget.code, 0);
        QVERIFY2(forget.out.contains(QStringLiteral("Removed 1 login")), qPrintable(forget.out));
        QCOMPARE(run({QStringLiteral("forget"), Mac}).code, 3);

        const CliRun nothing = run(setTo(QStringLiteral("192.0.2.64"), {QStringLiteral("--user"), QStringLiteral("admin")}));
        QCOMPARE(nothing.code, 2);
        QVERIFY2(nothing.err.contains(QStringLiteral("holds no login")), qPrintable(nothing.err));
        QCOMPARE(appliedTo(QStringLiteral("192.0.2.64")), 0);
        QCOMPARE(home.filesHolding({Password}), QStringList());
    }

    // A site's login serves the camera that has none of its own; forget
    // --site removes it and nothing else.
    void siteLoginServesCameraWithoutOwn()
    {
        const CliRun store = run(setTo(QStringLiteral("192.0.2.65"), {QStringLiteral("--user"), QStringLiteral("admin"),
                                                                      QStringLiteral("--keyring-scope"), QStringLiteral("site")}),
                                 Password);
        QCOMPARE(store.code, 0);
        QVERIFY2(store.err.contains(QStringLiteral("site 192.0.2.0/24")), qPrintable(store.err));
        const CliRun read = run(setTo(QStringLiteral("192.0.2.66"), {}));
        QCOMPARE(read.code, 0);
        QVERIFY2(read.err.contains(QStringLiteral("site 192.0.2.0/24 from the keyring")), qPrintable(read.err));
        QCOMPARE(appliedTo(QStringLiteral("192.0.2.66")), 1);
        QCOMPARE(run({QStringLiteral("forget"), Mac}).code, 3);
        QCOMPARE(run({QStringLiteral("forget"), QStringLiteral("--site"), QStringLiteral("192.0.2.9/24")}).code, 0);
        QCOMPARE(run({QStringLiteral("forget"), QStringLiteral("--all")}).code, 3);
        QCOMPARE(home.filesHolding({Password}), QStringList());
    }

    // assign keeps one site login for the batch, and the next assign reads
    // it for the first camera it changes.
    void assignStoresForTheSiteAndReadsIt()
    {
        const QStringList assign{QStringLiteral("assign"), QStringLiteral("--adapter"), QStringLiteral("lan0"),
                                 QStringLiteral("--seconds"), QStringLiteral("2"), QStringLiteral("--keyring"),
                                 QStringLiteral("--range")};
        const CliRun store = run(assign + QStringList{QStringLiteral("192.0.2.120-192.0.2.129"), QStringLiteral("--user"),
                                                      QStringLiteral("admin"), QStringLiteral("--keyring-scope"),
                                                      QStringLiteral("site")},
                                 Password);
        QCOMPARE(store.code, 0);
        QCOMPARE(store.err.count(QStringLiteral("site 192.0.2.0/24 is stored")), 1);
        const CliRun read = run(assign + QStringList{QStringLiteral("192.0.2.130-192.0.2.139")});
        QCOMPARE(read.code, 0);
        QVERIFY2(read.err.contains(QStringLiteral("site 192.0.2.0/24 from the keyring")), qPrintable(read.err));
        QCOMPARE(appliedTo(QStringLiteral("192.0.2.130")), 1);
        QCOMPARE(home.filesHolding({Password}), QStringList());
    }

    // No Secret Service on the bus: one sentence, then PATHMERE_PASSWORD
    // as without --keyring; forget fails in the same sentence.
    void withoutSecretServiceFallsBack()
    {
        const QString nowhere = QStringLiteral("unix:path=%1/no-bus").arg(home.path());
        const CliRun set = run(setTo(QStringLiteral("192.0.2.67"), {QStringLiteral("--user"), QStringLiteral("admin")}),
                               Password, nowhere);
        QCOMPARE(set.code, 0);
        QCOMPARE(set.err.count(NoBusSentence), 1);
        QCOMPARE(appliedTo(QStringLiteral("192.0.2.67")), 1);
        const CliRun forget = run({QStringLiteral("forget"), QStringLiteral("--all")}, QString(), nowhere);
        QCOMPARE(forget.code, 1);
        QVERIFY2(forget.err.contains(NoBusSentence), qPrintable(forget.err));
    }
};

QTEST_GUILESS_MAIN(TestCliKeyring)
#include "tst_clikeyring.moc"
