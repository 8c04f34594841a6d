// "Remember" without a Secret Service: a bus on which no keyring answers
// (a process of its own: GLib keeps the first session bus it reaches).
#include "credentialkeyring.h"
#include "keyringsession.h"
#include "loginmemory.h"
#include "testhome.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

class TestLoginMemoryFallback : public QObject
{
    Q_OBJECT

private:
    TestHome home;
    KeyringSession session{home};

private slots:
    void cleanupTestCase() { CredentialKeyring::disconnect(); }

    void disabledWithTheReason()
    {
        QString error;
        QVERIFY2(session.startBus(&error), qPrintable(error));
        session.enter();
        QLineEdit user;
        QLineEdit password;
        QCheckBox remember;
        remember.setChecked(true);
        LoginMemory memory(&user, &password, &remember);
        memory.probeKeyring();
        QTRY_VERIFY_WITH_TIMEOUT(!remember.isEnabled(), 10000);
        QVERIFY(!remember.isChecked());
        QCOMPARE(remember.toolTip(), CredentialKeyring::unavailableSentence());
        // Selections and Apply go on without it, and without a word.
        DeviceRecord camera;
        camera.mac = QStringLiteral("02:50:4d:00:0c:01");
        camera.model = QStringLiteral("SIM-CAM100");
        memory.fillFor(camera);
        memory.rememberConfirmed(camera, {QStringLiteral("admin"), QStringLiteral("pw")});
        QTest::qWait(200);
        QVERIFY(user.text().isEmpty());
    }
};

QTEST_MAIN(TestLoginMemoryFallback)
#include "tst_loginmemoryfallback.moc"
