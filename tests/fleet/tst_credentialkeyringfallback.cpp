// Without a keyring: no session bus at all, then a bus on which nothing
// provides the Secret Service. Every call says so in the one sentence, the
// sentence reaches the user and the log once, and nothing hangs. (A process
// of its own: GLib keeps the first session bus it reaches.)
#include "credentialkeyring.h"
#include "keyringjob.h"
#include "keyringsession.h"
#include "recordinglogger.h"
#include "testhome.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestCredentialKeyringFallback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void scopes_data();
    void scopes();
    void withoutBusAddressNothingIsLaunched();
    void withoutBus();
    void busWithoutSecretService();

private:
    static void expectUnavailable(const CredentialKeyring::Result &result);

    TestHome home;
    KeyringSession session{home};
    LogCapture log;
};

void TestCredentialKeyringFallback::initTestCase()
{
    QVERIFY(home.isValid());
}

void TestCredentialKeyringFallback::cleanupTestCase()
{
    CredentialKeyring::disconnect();
}

void TestCredentialKeyringFallback::expectUnavailable(const CredentialKeyring::Result &result)
{
    QCOMPARE(int(result.status), int(CredentialKeyring::Status::Unavailable));
    QCOMPARE(result.message, CredentialKeyring::unavailableSentence());
    QVERIFY(result.password.isEmpty());
}

void TestCredentialKeyringFallback::scopes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("subnet");   // empty: refused
    QTest::newRow("network") << "192.0.2.0/24" << "192.0.2.0/24";
    QTest::newRow("host bits") << "192.0.2.77/24" << "192.0.2.0/24";
    QTest::newRow("odd prefix") << "198.51.100.130/25" << "198.51.100.128/25";
    QTest::newRow("everything") << "203.0.113.9/0" << "0.0.0.0/0";
    QTest::newRow("one host") << "203.0.113.9/32" << "203.0.113.9/32";
    QTest::newRow("prefix 33") << "192.0.2.0/33" << "";
    QTest::newRow("no prefix") << "192.0.2.0" << "";
    QTest::newRow("three parts") << "192.0.2/24" << "";
    QTest::newRow("padded prefix") << "192.0.2.0/024" << "";
    QTest::newRow("signed prefix") << "192.0.2.0/+8" << "";
    QTest::newRow("IPv6") << "2001:db8::/32" << "";
    QTest::newRow("number") << "3221225984/24" << "";
}

void TestCredentialKeyringFallback::scopes()
{
    QFETCH(QString, text);
    QFETCH(QString, subnet);
    const CredentialScope scope = CredentialScope::siteFromText(text);
    QCOMPARE(scope.isValid(), !subnet.isEmpty());
    QCOMPARE(scope.subnet(), subnet);
    if (scope.isValid()) {
        QCOMPARE(scope.description(), QStringLiteral("site ") + subnet);
        QVERIFY(scope.contains(0xC0000201u) == subnet.startsWith(QLatin1String("192.0.2.")) || subnet == QLatin1String("0.0.0.0/0"));
    }
    // Cameras: a MAC of six pairs (kept in lower case) and a model.
    QVERIFY(CredentialScope::camera(QStringLiteral("00:1A:2B:3C:4D:5E"), QStringLiteral("M")).mac() == QStringLiteral("00:1a:2b:3c:4d:5e"));
    QVERIFY(!CredentialScope::camera(QStringLiteral("00:1a:2b:3c:4d"), QStringLiteral("M")).isValid());
    QVERIFY(!CredentialScope::camera(QStringLiteral("00:1a:2b:3c:4d:5e"), QString()).isValid());
    QVERIFY(!CredentialScope::camera(QStringLiteral("00:1a:2b:3c:4d:5e"), QString(CredentialScope::MaxModelChars + 1, 'M')).isValid());
}

void TestCredentialKeyringFallback::withoutBusAddressNothingIsLaunched()
{
    // No bus address and no bus in the runtime folder, but an X display: a
    // dbus-launch on PATH records that it was started (it would bring up a
    // bus of its own, and a keyring daemon writing into HOME).
    QTemporaryDir bin;
    QTemporaryDir runtime;
    QVERIFY(bin.isValid() && runtime.isValid());
    const QString marker = bin.filePath(QStringLiteral("launched"));
    QFile launcher(bin.filePath(QStringLiteral("dbus-launch")));
    QVERIFY(launcher.open(QIODevice::WriteOnly));
    launcher.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\nexit 1\n").arg(marker).toUtf8());
    launcher.close();
    launcher.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("DISPLAY", ":97");
    const CredentialScope camera = CredentialScope::camera(QStringLiteral("00:1a:2b:3c:4d:5e"), QStringLiteral("SIM-CAM 100"));
    expectUnavailable(CredentialKeyring::lookup(camera, CredentialScope(), CredentialKeyring::Unlock::Ask));
    expectUnavailable(CredentialKeyring::store(camera, QStringLiteral("admin"), QStringLiteral("pw-fallback-0")));
    qputenv("PATH", path);
    qunsetenv("DISPLAY");
    QVERIFY2(!QFile::exists(marker), "dbus-launch was started");
}

void TestCredentialKeyringFallback::withoutBus()
{
    // The bus address names a socket nobody listens on.
    session.enter();
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=") + QFile::encodeName(home.path()) + "/no-bus");
    const CredentialScope camera = CredentialScope::camera(QStringLiteral("00:1a:2b:3c:4d:5e"), QStringLiteral("SIM-CAM 100"));
    const CredentialScope site = CredentialScope::siteFromText(QStringLiteral("192.0.2.0/24"));

    QElapsedTimer elapsed;
    elapsed.start();
    expectUnavailable(CredentialKeyring::lookup(camera, site, CredentialKeyring::Unlock::Ask));
    expectUnavailable(CredentialKeyring::store(camera, QStringLiteral("admin"), QStringLiteral("pw-fallback-1")));
    expectUnavailable(CredentialKeyring::forgetAll());
    QObject owner;
    KeyringJob *job = KeyringJob::lookup(camera, site, CredentialKeyring::Unlock::Never, &owner);
    QSignalSpy finished(job, &KeyringJob::finished);
    QVERIFY(finished.wait(10000));
    expectUnavailable(job->result());
    QVERIFY2(elapsed.elapsed() < 10000, "asking a missing bus took long");

    // The caller tells the user once, however often it asked.
    QVERIFY(CredentialKeyring::takeUnavailableNotice());
    QVERIFY(!CredentialKeyring::takeUnavailableNotice());
    QCOMPARE(log.messages().filter(CredentialKeyring::unavailableSentence()).size(), 1);
}

void TestCredentialKeyringFallback::busWithoutSecretService()
{
    QString error;
    QVERIFY2(session.startBus(&error), qPrintable(error));
    session.enter();
    QVERIFY(!session.hasOwner(QStringLiteral("org.freedesktop.secrets")));
    const CredentialScope camera = CredentialScope::camera(QStringLiteral("00:1a:2b:3c:4d:5e"), QStringLiteral("SIM-CAM 100"));
    expectUnavailable(CredentialKeyring::lookup(camera, CredentialScope(), CredentialKeyring::Unlock::Ask));
    expectUnavailable(CredentialKeyring::store(camera, QStringLiteral("admin"), QStringLiteral("pw-fallback-2")));
    expectUnavailable(CredentialKeyring::forgetCamera(camera.mac()));
    QCOMPARE(log.messages().filter(CredentialKeyring::unavailableSentence()).size(), 1);
}

QTEST_GUILESS_MAIN(TestCredentialKeyringFallback)
#include "tst_credentialkeyringfallback.moc"
