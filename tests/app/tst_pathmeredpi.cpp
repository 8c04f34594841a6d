// The real window on an X server at 192 DPI (200 %): every design value is
// doubled. The test starts its own Xvfb on a free display number and saves a
// screenshot next to itself for a person to look at.

#include "discoveryservice.h"
#include "dpiscaler.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "testhome.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QDir>
#include <QHeaderView>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {
QString skipReason;
QString screenshotPath;
} // namespace

class TestPathmereDpi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scaledRule();
    void windowAt192Dpi();
};

void TestPathmereDpi::initTestCase()
{
    if (!skipReason.isEmpty())
        QSKIP(qPrintable(skipReason));
}

void TestPathmereDpi::scaledRule()
{
    // trunc toward zero, not rounding: 1.5 x 41 = 61.5 gives 61.
    const DpiScaler scaler(1.5);
    QCOMPARE(scaler.scaled(41), 61);
    QCOMPARE(scaler.scaled(QRect(270, 30, 101, 31)), QRect(405, 45, 151, 46));
    QCOMPARE(DpiScaler(1.25).scaled(QSize(891, 664)), QSize(1113, 830));
}

void TestPathmereDpi::windowAt192Dpi()
{
    QCOMPARE(QApplication::desktop()->logicalDpiX(), 192);
    const TestHome home;
    home.enter();
    QStandardPaths::setTestModeEnabled(true);

    DiscoveryService discovery;
    Pathmere window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PathmereTestAccess access(&window);

    QCOMPARE(window.size(), QSize(1782, 1328));
    QCOMPARE(window.minimumSize(), QSize(1782, 1328));
    QCOMPARE(window.maximumSize(), QSize(1782, 1328));
    QCOMPARE(access.searchButton()->parentWidget(), access.networkGroup());
    QCOMPARE(access.searchButton()->pos(), QPoint(540, 60));
    QCOMPARE(access.searchButton()->size(), QSize(202, 62));
    QCOMPARE(access.networkGroup()->geometry(), QRect(40, 20, 762, 262));
    QCOMPARE(access.table()->geometry(), QRect(40, 300, 1702, 442));
    QCOMPARE(access.applyButton()->geometry(), QRect(1480, 420, 202, 62));
    // The address field keeps its own unscaled maximum width of 200.
    QCOMPARE(access.ipField()->geometry(), QRect(1000, 40, 200, 62));
    QCOMPARE(access.userId()->geometry(), QRect(20, 120, 282, 62));
    QCOMPARE(access.table()->columnWidth(0), 80);
    QCOMPARE(access.table()->columnWidth(8), 280);

    QTest::qWait(200);
    const QPixmap shot = window.grab();
    if (!screenshotPath.isEmpty() && shot.save(screenshotPath))
        qInfo("screenshot: %s", qPrintable(screenshotPath));
}

int main(int argc, char **argv)
{
    // An X server of our own at 192 DPI, started before the application
    // object so that Qt connects to it.
    std::unique_ptr<QCoreApplication> probe(new QCoreApplication(argc, argv));
    XvfbServer xserver;
    if (!xserver.start(192, QStringLiteral("2400x1600x24"))) {
        skipReason = xserver.errorText();
    } else {
        qputenv("DISPLAY", xserver.display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_SCALE_FACTOR");
        qunsetenv("QT_SCREEN_SCALE_FACTORS");
        qunsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
        qunsetenv("QT_FONT_DPI");
        screenshotPath = QCoreApplication::applicationDirPath() + QStringLiteral("/pathmere-192dpi.png");
    }
    probe.reset();
    if (!skipReason.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    TestPathmereDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pathmeredpi.moc"
