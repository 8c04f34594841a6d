// Camera logins in a real keyring: gnome-keyring-daemon on a D-Bus session
// of the test's own, its login keyring fresh and unlocked, HOME a
// temporary folder. Stores, fills and forgets through the same calls the
// window and the command line use, and looks for the passwords in every
// file under HOME and in the log.
#include "credentialkeyring.h"
#include "keyringjob.h"
#include "keyringsession.h"
#include "recordinglogger.h"
#include "testhome.h"

#undef signals
#include <libsecret/secret.h>
#define signals Q_SIGNALS

#include <QDirIterator>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

const QString CameraMac = QStringLiteral("00:1a:2b:3c:4d:5e");
const QString CameraModel = QStringLiteral("SIM-CAM 100");
const QString OtherMac = QStringLiteral("00:1a:2b:3c:4d:5f");
// Texts that appear nowhere else, so finding one in a file means a leak.
const QString CameraPassword = QStringLiteral("camera-Pw-7f3a9c21");
const QString SitePassword = QStringLiteral("site-Pw-b81d44e0");
const QString ReplacedPassword = QStringLiteral("replaced-Pw-55c0e913");

CredentialScope camera(const QString &mac = CameraMac)
{
    return CredentialScope::camera(mac, CameraModel);
}

CredentialScope site()
{
    return CredentialScope::siteFromText(QStringLiteral("192.0.2.0/24"));
}

} // namespace

class TestCredentialKeyring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void storeFillAndForget();
    void secondUserReplacesFirst();
    void forgetCameraOfAnyModelAndAll();
    void forgetAllLeavesOtherProgramsEntries();
    void noPasswordInFilesOrLog();
    void jobKeepsEventLoopTurningWhileKeyringHangs();
    void jobsRunInOrder();

private:
    CredentialKeyring::Result run(KeyringJob *job);

    TestHome home;
    KeyringSession session{home};
    LogCapture log;
};

void TestCredentialKeyring::initTestCase()
{
    QVERIFY(home.isValid());
    QString error;
    QVERIFY2(session.startBus(&error), qPrintable(error));
    QVERIFY2(session.startKeyring("login-keyring-password", &error), qPrintable(error));
    session.enter();
}

void TestCredentialKeyring::cleanupTestCase()
{
    // Before the bus goes: GLib would end the process when its session bus
    // closed under a live connection.
    CredentialKeyring::disconnect();
}

void TestCredentialKeyring::init()
{
    const CredentialKeyring::Result cleared = CredentialKeyring::forgetAll();
    QVERIFY2(cleared.status == CredentialKeyring::Status::Forgotten || cleared.status == CredentialKeyring::Status::NotFound,
             qPrintable(cleared.message));
}

CredentialKeyring::Result TestCredentialKeyring::run(KeyringJob *job)
{
    QSignalSpy finished(job, &KeyringJob::finished);
    if (!job->isFinished())
        finished.wait(30000);
    return job->result();
}

void TestCredentialKeyring::storeFillAndForget()
{
    using Status = CredentialKeyring::Status;
    QObject owner;

    // Nothing stored: nothing found, for the camera or its site.
    CredentialKeyring::Result found = run(KeyringJob::lookup(camera(), site(), CredentialKeyring::Unlock::Never, &owner));
    QCOMPARE(int(found.status), int(Status::NotFound));

    QCOMPARE(int(run(KeyringJob::store(site(), QStringLiteral("siteadmin"), SitePassword, &owner)).status), int(Status::Stored));
    QCOMPARE(int(run(KeyringJob::store(camera(), QStringLiteral("admin"), CameraPassword, &owner)).status), int(Status::Stored));

    // The camera's own entry comes before its site's.
    found = run(KeyringJob::lookup(camera(), site(), CredentialKeyring::Unlock::Never, &owner));
    QCOMPARE(int(found.status), int(Status::Found));
    QCOMPARE(found.userId, QStringLiteral("admin"));
    QCOMPARE(found.password, CameraPassword);
    QVERIFY(found.scope == camera());

    // Another camera of the site gets the site's login; the MAC is matched
    // whatever case it was given in.
    found = run(KeyringJob::lookup(camera(OtherMac.toUpper()), site(), CredentialKeyring::Unlock::Never, &owner));
    QCOMPARE(int(found.status), int(Status::Found));
    QCOMPARE(found.userId, QStringLiteral("siteadmin"));
    QCOMPARE(found.password, SitePassword);
    QVERIFY(found.scope == site());

    // The same site written with host bits is the same site.
    found = CredentialKeyring::lookup(CredentialScope(), CredentialScope::siteFromText(QStringLiteral("192.0.2.77/24")),
                                      CredentialKeyring::Unlock::Never);
    QCOMPARE(found.password, SitePassword);
    // A camera of another subnet has none.
    found = CredentialKeyring::lookup(camera(OtherMac), CredentialScope::siteFromText(QStringLiteral("198.51.100.0/24")),
                                      CredentialKeyring::Unlock::Never);
    QCOMPARE(int(found.status), int(Status::NotFound));

    // Forgetting the camera leaves its site's login to fill in.
    CredentialKeyring::Result forgotten = run(KeyringJob::forget(camera(), &owner));
    QCOMPARE(int(forgotten.status), int(Status::Forgotten));
    QCOMPARE(forgotten.count, 1);
    found = run(KeyringJob::lookup(camera(), site(), CredentialKeyring::Unlock::Never, &owner));
    QCOMPARE(found.userId, QStringLiteral("siteadmin"));

    forgotten = run(KeyringJob::forget(site(), &owner));
    QCOMPARE(int(forgotten.status), int(Status::Forgotten));
    found = run(KeyringJob::lookup(camera(), site(), CredentialKeyring::Unlock::Never, &owner));
    QCOMPARE(int(found.status), int(Status::NotFound));
    QCOMPARE(int(CredentialKeyring::forget(site()).status), int(Status::NotFound));
}

void TestCredentialKeyring::secondUserReplacesFirst()
{
    using Status = CredentialKeyring::Status;
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("admin"), CameraPassword).status), int(Status::Stored));
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("operator"), ReplacedPassword).status), int(Status::Stored));
    const CredentialKeyring::Result found = CredentialKeyring::lookup(camera(), CredentialScope(), CredentialKeyring::Unlock::Never);
    QCOMPARE(found.userId, QStringLiteral("operator"));
    QCOMPARE(found.password, ReplacedPassword);
    // One entry, not one per user ID ever stored.
    QCOMPARE(CredentialKeyring::forget(camera()).count, 1);

    // Storing refuses what it cannot keep, and keeps what was there.
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("admin"), CameraPassword).status), int(Status::Stored));
    QCOMPARE(int(CredentialKeyring::store(camera(), QString(), ReplacedPassword).status), int(Status::Failed));
    QCOMPARE(int(CredentialKeyring::store(CredentialScope::camera(QStringLiteral("00:1a"), CameraModel), QStringLiteral("a"),
                                          ReplacedPassword).status), int(Status::Failed));
    QCOMPARE(CredentialKeyring::lookup(camera(), CredentialScope(), CredentialKeyring::Unlock::Never).password, CameraPassword);
}

void TestCredentialKeyring::forgetCameraOfAnyModelAndAll()
{
    using Status = CredentialKeyring::Status;
    const CredentialScope renamed = CredentialScope::camera(CameraMac, QStringLiteral("SIM-CAM 200"));
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("a"), CameraPassword).status), int(Status::Stored));
    QCOMPARE(int(CredentialKeyring::store(renamed, QStringLiteral("b"), CameraPassword).status), int(Status::Stored));
    QCOMPARE(int(CredentialKeyring::store(camera(OtherMac), QStringLiteral("c"), CameraPassword).status), int(Status::Stored));
    QCOMPARE(int(CredentialKeyring::store(site(), QStringLiteral("d"), SitePassword).status), int(Status::Stored));

    // Model and camera are one identity: the other model's entry is not the camera's.
    QCOMPARE(CredentialKeyring::lookup(renamed, CredentialScope(), CredentialKeyring::Unlock::Never).userId, QStringLiteral("b"));

    const CredentialKeyring::Result byMac = CredentialKeyring::forgetCamera(CameraMac.toUpper());
    QCOMPARE(int(byMac.status), int(Status::Forgotten));
    QCOMPARE(byMac.count, 2);
    QCOMPARE(int(CredentialKeyring::lookup(camera(OtherMac), CredentialScope(), CredentialKeyring::Unlock::Never).status),
             int(Status::Found));
    QCOMPARE(int(CredentialKeyring::forgetCamera(QStringLiteral("not a mac")).status), int(Status::Failed));

    const CredentialKeyring::Result all = CredentialKeyring::forgetAll();
    QCOMPARE(int(all.status), int(Status::Forgotten));
    QCOMPARE(all.count, 2);
    QCOMPARE(int(CredentialKeyring::forgetAll().status), int(Status::NotFound));
}

void TestCredentialKeyring::forgetAllLeavesOtherProgramsEntries()
{
    // Another program's entry in the same keyring, with attributes like ours.
    static const SecretSchema otherSchema = {
        "org.example.OtherProgram", SECRET_SCHEMA_NONE,
        {{"scope", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"mac", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    GError *error = nullptr;
    const QByteArray mac = CameraMac.toUtf8();
    QVERIFY(secret_password_store_sync(&otherSchema, SECRET_COLLECTION_DEFAULT, "other", "other-secret", nullptr, &error,
                                       "scope", "camera", "mac", mac.constData(), nullptr));
    QVERIFY(!error);
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("a"), CameraPassword).status),
             int(CredentialKeyring::Status::Stored));

    QCOMPARE(CredentialKeyring::forgetCamera(CameraMac).count, 1);
    QCOMPARE(int(CredentialKeyring::forgetAll().status), int(CredentialKeyring::Status::NotFound));

    gchar *kept = secret_password_lookup_sync(&otherSchema, nullptr, &error, "scope", "camera", "mac", mac.constData(), nullptr);
    QVERIFY(!error);
    QCOMPARE(QString::fromUtf8(kept), QStringLiteral("other-secret"));
    secret_password_free(kept);
    secret_password_clear_sync(&otherSchema, nullptr, nullptr, "scope", "camera", nullptr);
}

void TestCredentialKeyring::noPasswordInFilesOrLog()
{
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("admin"), CameraPassword).status),
             int(CredentialKeyring::Status::Stored));
    QCOMPARE(int(CredentialKeyring::store(site(), QStringLiteral("siteadmin"), SitePassword).status),
             int(CredentialKeyring::Status::Stored));
    QCOMPARE(CredentialKeyring::lookup(camera(), site(), CredentialKeyring::Unlock::Never).password, CameraPassword);

    // The keyring did write its files under this HOME...
    QVERIFY(QFileInfo::exists(home.path() + QStringLiteral("/.local/share/keyrings/login.keyring")));
    // ...and no other file there holds a password, nor does the log.
    const QStringList passwords{CameraPassword, SitePassword, ReplacedPassword};
    QCOMPARE(home.filesHolding(passwords), QStringList());
    const QString logText = log.messages().join(QLatin1Char('\n'));
    for (const QString &password : passwords)
        QVERIFY2(!logText.contains(password), "a password reached the log");
    // The log does say what was remembered.
    QVERIFY(logText.contains(QStringLiteral("remembered the login of camera 00:1a:2b:3c:4d:5e (SIM-CAM 100)")));
}

void TestCredentialKeyring::jobKeepsEventLoopTurningWhileKeyringHangs()
{
    QCOMPARE(int(CredentialKeyring::store(camera(), QStringLiteral("admin"), CameraPassword).status),
             int(CredentialKeyring::Status::Stored));
    // A keyring that does not answer (stopped, as a daemon waiting on a
    // prompt would be): the job waits, the GUI thread does not.
    QVERIFY(::kill(pid_t(session.keyringPid()), SIGSTOP) == 0);
    QObject owner;
    KeyringJob *job = KeyringJob::lookup(camera(), site(), CredentialKeyring::Unlock::Never, &owner);
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(20);
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::qWait(600);
    ::kill(pid_t(session.keyringPid()), SIGCONT);
    QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(elapsed.elapsed())));
    QVERIFY(!job->isFinished());
    const CredentialKeyring::Result found = run(job);
    QCOMPARE(int(found.status), int(CredentialKeyring::Status::Found));
    QCOMPARE(found.password, CameraPassword);
}

void TestCredentialKeyring::jobsRunInOrder()
{
    QObject owner;
    // Made one after the other without waiting: each sees the one before.
    KeyringJob *store = KeyringJob::store(camera(), QStringLiteral("first"), CameraPassword, &owner);
    KeyringJob *replace = KeyringJob::store(camera(), QStringLiteral("second"), ReplacedPassword, &owner);
    KeyringJob *lookup = KeyringJob::lookup(camera(), CredentialScope(), CredentialKeyring::Unlock::Never, &owner);
    KeyringJob *forget = KeyringJob::forgetAll(&owner);
    const CredentialKeyring::Result forgotten = run(forget);
    QVERIFY(store->isFinished() && replace->isFinished() && lookup->isFinished());
    QCOMPARE(lookup->result().userId, QStringLiteral("second"));
    QCOMPARE(lookup->result().password, ReplacedPassword);
    QCOMPARE(forgotten.count, 1);

    // A job deleted before its answer never reports.
    KeyringJob *dropped = KeyringJob::lookup(camera(), CredentialScope(), CredentialKeyring::Unlock::Never, &owner);
    QSignalSpy reported(dropped, &KeyringJob::finished);
    delete dropped;
    QTest::qWait(200);
    QCOMPARE(reported.count(), 0);
}

QTEST_GUILESS_MAIN(TestCredentialKeyring)
#include "tst_credentialkeyring.moc"
