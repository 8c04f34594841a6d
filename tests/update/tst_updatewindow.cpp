// The main window's side of the update check: the check of the day runs at
// the first showing only, never on a "Show_Normal_UI" command, and the About
// window's "Check update" always asks; a failed check of the day shows no
// box. The process runs in a network namespace of its own (the window
// searches and serves the web bridge).

#include "discoveryservice.h"
#include "aboutdlg.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "privatenetwork.h"
#include "sessionsegment.h"
#include "singleinstance.h"
#include "updatefixture.h"
#include "usermessage.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestUpdateWindow : public QObject
{
    Q_OBJECT

private:
    UpdateFixture *fixture = nullptr;
    QStringList messages;

    int checks() const { return fixture->server.requests(UpdateFixture::descriptionPath); }

private slots:
    void initTestCase()
    {
        if (!PrivateNetwork::isolated())
            QSKIP(qPrintable(QStringLiteral("needs a private network namespace: ") + PrivateNetwork::reason()));
        PrivateNetwork::ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")});
        fixture = new UpdateFixture;
        QVERIFY(fixture->isValid());
        fixture->server.serve(UpdateFixture::descriptionPath,
                              fixture->description(QStringLiteral("1.1.1010.0"), QStringLiteral("/p.zip"), 10, "c2ln"));
        UserMessage::setObserver([this](const QString &, const QString &text) { messages << text; });
    }
    void cleanupTestCase()
    {
        UserMessage::setObserver({});
        delete fixture;
    }

    void dailyCheckAtFirstShowingOnly()
    {
        SessionSegment segment(SingleInstance::sessionKey());
        const SessionSegment::Outcome made = segment.create(1024);
        QVERIFY(made == SessionSegment::Outcome::Created || made == SessionSegment::Outcome::Attached);
        DiscoveryService discovery;
        Pathmere window;
        PathmereTestAccess access(&window);
        window.setStartHidden(true);
        QTest::qWait(300);
        QCOMPARE(checks(), 0);

        // A second start of the program shows the window through the segment.
        segment.lock();
        qstrcpy(static_cast<char *>(segment.data()), "Show_Normal_UI");
        segment.unlock();
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 5000);
        QTest::qWait(500);
        QCOMPARE(checks(), 0);

        // The tray: the first showing of the day checks, quietly when up to date.
        access.iconActive(QSystemTrayIcon::DoubleClick);
        QTRY_COMPARE_WITH_TIMEOUT(checks(), 1, 5000);
        window.hide();
        access.iconActive(QSystemTrayIcon::DoubleClick);
        QTest::qWait(500);
        QCOMPARE(checks(), 1);
        QVERIFY(messages.isEmpty());

        // The About window's button asks every time and answers the user.
        auto *button = access.aboutDialog()->findChild<QPushButton *>(QStringLiteral("btnCheckUpdate"));
        QVERIFY(button);
        button->click();
        QTRY_COMPARE_WITH_TIMEOUT(messages, QStringList{QStringLiteral("Software is up to date.")}, 5000);
        QCOMPARE(checks(), 2);
    }

    // The check of the day fails at once (nobody listens on the port): no
    // box holds the window; the tray's tool tip and the About window say it.
    void dayCheckFailureShowsNoBox()
    {
        fixture->resetDataFolder();
        fixture->pointAtClosedPort();
        messages.clear();
        DiscoveryService discovery;
        Pathmere window;
        PathmereTestAccess access(&window);
        window.setStartHidden(false);
        const QString failed = QStringLiteral("Automatic update check failed at ");
        QTRY_VERIFY_WITH_TIMEOUT(window.tray()->toolTip().startsWith(QStringLiteral("Pathmere\n") + failed), 5000);
        const auto *status = access.aboutDialog()->findChild<QLabel *>(QStringLiteral("label_UpdateStatus"));
        QVERIFY(status);
        QVERIFY2(status->text().startsWith(failed), qPrintable(status->text()));
        QTest::qWait(200);
        QCOMPARE(messages, QStringList());
    }
};

int main(int argc, char **argv)
{
    // Before any thread exists: a namespace of our own for the searches.
    PrivateNetwork::enter();
    QApplication app(argc, argv);
    TestUpdateWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updatewindow.moc"
