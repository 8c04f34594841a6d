// The dialog a taken-over session shows: its form, its scaling, and that
// every way of closing it asks for the restart exactly once.

#include "anotherlogindialog.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TstAnotherLoginDialog : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void scaling_data();
    void scaling();
    void everyCloseAsksForRestart_data();
    void everyCloseAsksForRestart();
};

void TstAnotherLoginDialog::form()
{
    AnotherLoginDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("AnotherLoginDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Pathmere"));
    QCOMPARE(dialog.styleSheet(), QStringLiteral("background-color:rgb(255, 255, 255);"));
    // Qt adds the system-menu hint to a customised title bar by itself.
    QCOMPARE(int(dialog.windowFlags() & ~Qt::WindowSystemMenuHint), 0x0A005001);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));

    auto *label = dialog.findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Another user login detected, please click OK to restart."));
    QCOMPARE(label->font().family(), QStringLiteral("Arial"));
    QCOMPARE(label->font().pointSize(), 10);
    QVERIFY(!label->font().bold());
    QVERIFY(!label->font().kerning());
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(label->wordWrap());

    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("OkButton"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->font().family(), QStringLiteral("Arial"));
    QCOMPARE(ok->font().pointSize(), 10);
    // Scaled by the dialog itself for the screen it comes up on.
    const double factor = QApplication::desktop()->logicalDpiX() / 96.0;
    QCOMPARE(dialog.size(), QSize(int(480 * factor), int(150 * factor)));
}

void TstAnotherLoginDialog::scaling_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("label");
    QTest::addColumn<QRect>("button");
    QTest::newRow("96") << 96 << QSize(480, 150) << QRect(10, 30, 451, 51) << QRect(175, 100, 130, 34);
    QTest::newRow("144") << 144 << QSize(720, 225) << QRect(15, 45, 676, 76) << QRect(262, 150, 195, 51);
    // Truncated toward zero, not rounded.
    QTest::newRow("120") << 120 << QSize(600, 187) << QRect(12, 37, 563, 63) << QRect(218, 125, 162, 42);
    QTest::newRow("192") << 192 << QSize(960, 300) << QRect(20, 60, 902, 102) << QRect(350, 200, 260, 68);
}

void TstAnotherLoginDialog::scaling()
{
    QFETCH(int, dpi);
    QFETCH(QSize, size);
    QFETCH(QRect, label);
    QFETCH(QRect, button);
    AnotherLoginDialog dialog;
    dialog.scaleForDpi(dpi);
    QCOMPARE(dialog.minimumSize(), size);
    QCOMPARE(dialog.maximumSize(), size);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label"))->geometry(), label);
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("OkButton"))->geometry(), button);
}

void TstAnotherLoginDialog::everyCloseAsksForRestart_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("OK button") << 0;
    QTest::newRow("title bar close") << 1;
    QTest::newRow("Escape") << 2;
}

void TstAnotherLoginDialog::everyCloseAsksForRestart()
{
    QFETCH(int, way);
    AnotherLoginDialog dialog;
    QSignalSpy restart(&dialog, &AnotherLoginDialog::emitAnotherLoginOk);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    switch (way) {
    case 0:
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("OkButton")), Qt::LeftButton);
        break;
    case 1:
        dialog.close();
        break;
    default:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    }
    QCOMPARE(restart.count(), 1);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TstAnotherLoginDialog)

#include "tst_anotherlogindialog.moc"
