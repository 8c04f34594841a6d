// "Remember" in the Login group against a real gnome-keyring-daemon on a
// D-Bus session of the test's own: a confirmed Apply stores the form's
// login for the camera, selecting the camera fills the form without
// blocking it, typing wins over a late answer, and no password lands in a
// file under HOME.
#include "credentialkeyring.h"
#include "keyringsession.h"
#include "loginmemory.h"
#include "testhome.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("form-Pw-9c4e1b77");

DeviceRecord cameraRecord(const QString &mac, const QString &ip)
{
    DeviceRecord device;
    device.mac = mac;
    device.model = QStringLiteral("SIM-CAM100");
    device.ip = ip;
    return device;
}

} // namespace

class TestLoginMemory : public QObject
{
    Q_OBJECT

private:
    TestHome home;
    KeyringSession session{home};

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        QString error;
        QVERIFY2(session.startBus(&error), qPrintable(error));
        QVERIFY2(session.startKeyring("login-keyring-password", &error), qPrintable(error));
        session.enter();
    }

    void cleanupTestCase() { CredentialKeyring::disconnect(); }

    void storeSelectFill()
    {
        QLineEdit user;
        QLineEdit password;
        QCheckBox remember;
        LoginMemory memory(&user, &password, &remember);
        memory.probeKeyring();
        QSignalSpy stored(&memory, &LoginMemory::loginStored);
        QSignalSpy looked(&memory, &LoginMemory::lookupFinished);
        const DeviceRecord camera = cameraRecord(QStringLiteral("02:50:4d:00:0c:01"), QStringLiteral("198.51.100.7"));
        const DeviceRecord other = cameraRecord(QStringLiteral("02:50:4d:00:0c:02"), QStringLiteral("198.51.100.8"));

        // Not ticked: a confirmed Apply keeps nothing.
        memory.rememberConfirmed(camera, {QStringLiteral("admin"), Password});
        QVERIFY(!stored.wait(1000));
        remember.setChecked(true);
        memory.rememberConfirmed(camera, {QStringLiteral("admin"), Password});
        QVERIFY(stored.wait(10000));
        QVERIFY(remember.isEnabled());

        remember.setChecked(false);
        memory.fillFor(camera);
        // The answer comes through the event loop, never inside the call.
        QVERIFY(user.text().isEmpty() && password.text().isEmpty());
        QVERIFY(looked.wait(10000));
        QCOMPARE(looked.last().first().toBool(), true);
        QCOMPARE(user.text(), QStringLiteral("admin"));
        QCOMPARE(password.text(), Password);
        QVERIFY(remember.isChecked());

        // Another camera without an entry leaves the form as it is.
        memory.fillFor(other);
        QVERIFY(looked.wait(10000));
        QCOMPARE(looked.last().first().toBool(), false);
        QCOMPARE(user.text(), QStringLiteral("admin"));

        // What the user types after the selection wins over the keyring.
        user.clear();
        password.clear();
        memory.fillFor(camera);
        QTest::keyClicks(&user, QStringLiteral("operator"));
        QVERIFY(looked.wait(10000));
        QCOMPARE(looked.last().first().toBool(), false);
        QCOMPARE(user.text(), QStringLiteral("operator"));
        QVERIFY(password.text().isEmpty());

        // A new selection while a lookup runs: only the last one fills.
        user.clear();
        memory.fillFor(camera);
        memory.fillFor(other);
        QVERIFY(looked.wait(10000));
        QTest::qWait(300);
        QVERIFY(user.text().isEmpty());

        QCOMPARE(home.filesHolding({Password}), QStringList());
        QCOMPARE(int(CredentialKeyring::forgetAll().status), int(CredentialKeyring::Status::Forgotten));
    }
};

QTEST_MAIN(TestLoginMemory)
#include "tst_loginmemory.moc"
