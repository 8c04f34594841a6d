#include "aboutdlg.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QtTest>

class TestAboutDlg : public QObject
{
    Q_OBJECT

private slots:
    void formTexts();
    void checkUpdateIsSignalled();
    void closingHidesTheSameDialog();
    void windowFlagsHaveNoMaximise();
    void geometryScalesWithDpi_data();
    void geometryScalesWithDpi();
};

void TestAboutDlg::formTexts()
{
    AboutDlg dlg(nullptr, 1.0);
    QCOMPARE(dlg.objectName(), QStringLiteral("AboutDlg"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("About"));

    const auto label = [&dlg](const char *name) {
        auto *l = dlg.findChild<QLabel *>(QLatin1String(name));
        return l ? l->text() : QStringLiteral("<missing>");
    };
    QCOMPARE(label("label_3"), QStringLiteral("Pathmere"));
    QCOMPARE(label("label"), QStringLiteral("Version\uFF1A"));
    QCOMPARE(label("label_Version"), QStringLiteral("1.1.1010.0"));
    QCOMPARE(AboutDlg::versionText(), QStringLiteral("1.1.1010.0"));
    QVERIFY(!label("label_2").isEmpty());
    QVERIFY(!label("label_4").isEmpty());

    auto *button = dlg.findChild<QPushButton *>(QStringLiteral("btnCheckUpdate"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Check update"));

    auto *browser = dlg.findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
    QVERIFY(browser);
    QCOMPARE(browser->source(), QUrl(QStringLiteral("qrc:/CopyRight.txt")));
    // The notice itself is shown, not an empty page.
    QVERIFY(browser->toPlainText().contains(QStringLiteral("Pathmere")));
}

void TestAboutDlg::checkUpdateIsSignalled()
{
    AboutDlg dlg;
    QSignalSpy spy(&dlg, &AboutDlg::checkUpdate);
    dlg.show();
    auto *button = dlg.findChild<QPushButton *>(QStringLiteral("btnCheckUpdate"));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
    QVERIFY(dlg.isVisible()); // the check runs with the dialog still open
}

void TestAboutDlg::closingHidesTheSameDialog()
{
    auto *dlg = new AboutDlg(nullptr, 1.0);
    QPointer<AboutDlg> guard(dlg);
    dlg->setAttribute(Qt::WA_DeleteOnClose); // even so, a close must not destroy it
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg));

    QVERIFY(!dlg->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard);
    QVERIFY(dlg->isHidden());

    dlg->show();
    QVERIFY(dlg->isVisible());
    QCOMPARE(dlg->findChild<QLabel *>(QStringLiteral("label_Version"))->text(),
             QStringLiteral("1.1.1010.0"));
    delete dlg;
}

void TestAboutDlg::windowFlagsHaveNoMaximise()
{
    const AboutDlg dlg;
    // Title bar with minimise and close (0x0A005001); Qt adds the system menu
    // that those buttons live in.
    const int requested = 0x0A005001;
    QCOMPARE(int(dlg.windowFlags()) & requested, requested);
    QCOMPARE(int(dlg.windowFlags() & ~Qt::WindowSystemMenuHint), requested);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
}

void TestAboutDlg::geometryScalesWithDpi_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("button");
    QTest::addColumn<QRect>("browser");

    QTest::newRow("96 dpi") << 1.0 << QSize(343, 388) << QRect(20, 70, 171, 31)
                            << QRect(20, 110, 301, 201);
    QTest::newRow("144 dpi") << 1.5 << QSize(514, 582) << QRect(30, 105, 256, 46)
                             << QRect(30, 165, 451, 301);
    QTest::newRow("192 dpi") << 2.0 << QSize(686, 776) << QRect(40, 140, 342, 62)
                             << QRect(40, 220, 602, 402);
    QTest::newRow("120 dpi") << 1.25 << QSize(428, 485) << QRect(25, 87, 213, 38)
                             << QRect(25, 137, 376, 251);
}

void TestAboutDlg::geometryScalesWithDpi()
{
    QFETCH(double, scale);
    QFETCH(QSize, size);
    QFETCH(QRect, button);
    QFETCH(QRect, browser);

    AboutDlg dlg(nullptr, scale);
    QCOMPARE(dlg.minimumSize(), size);
    QCOMPARE(dlg.maximumSize(), size);
    QCOMPARE(dlg.findChild<QWidget *>(QStringLiteral("btnCheckUpdate"))->geometry(), button);
    QCOMPARE(dlg.findChild<QWidget *>(QStringLiteral("textBrowser"))->geometry(), browser);
}

QTEST_MAIN(TestAboutDlg)
#include "tst_aboutdlg.moc"
