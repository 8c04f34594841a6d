// The window's "Include other makers (ONVIF)" against camsim in the test LAN:
// off by default and the search then the maker's alone, kept between starts,
// and on, one table of both kinds, with Apply writing to an ONVIF camera.

#include "camsimprocess.h"
#include "discoveryservice.h"
#include "othermakerschoice.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "searchmanager.h"
#include "testlan.h"
#include "windowlanscene.h"

#include <QAction>
#include <QApplication>
#include <QTest>

namespace {

QAction *choiceOf(const Pathmere *window)
{
    const QList<QAction *> actions = window->findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == QLatin1String("Include other makers (ONVIF)"))
            return action;
    }
    return nullptr;
}

} // namespace

class TestPathmereOnvif : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void choiceOffByDefaultAndKept();
    void searchWithTheChoiceListsBothKinds();
    void applyWritesToTheOnvifCamera();

private:
    WindowLanScene scene;
};

void TestPathmereOnvif::initTestCase()
{
    TESTLAN_REQUIRE();
    const QString failed = scene.start(
        {"--camera", "mac=02:50:4d:00:00:21,model=ZR-20,name=Hall,ip=192.0.2.20",
         "--camera", "kind=onvif,mac=02:50:4d:e0:00:22,model=NVT-9,name=Yard,ip=192.0.2.22,"
                     "user=admin,password=pw22,onvif-clock=+5h"});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

void TestPathmereOnvif::choiceOffByDefaultAndKept()
{
    QVERIFY(scene.openWindow());
    QAction *choice = choiceOf(scene.window);
    QVERIFY(choice);
    QVERIFY(choice->isCheckable());
    QVERIFY(!choice->isChecked());
    QVERIFY(!OtherMakersChoice::stored());
    QCOMPARE(scene.discovery->searchManager()->searchTypes(), int(SearchManager::UtilitySearchBit));

    scene.search();
    QCOMPARE(scene.access->rowCount(), 1);
    QCOMPARE(scene.camsim->count(QStringLiteral("onvif-probe")), 0);

    choice->setChecked(true);
    QCOMPARE(scene.discovery->searchManager()->searchTypes(),
             int(SearchManager::UtilitySearchBit | SearchManager::OnvifBit));
    QVERIFY(OtherMakersChoice::stored());
    scene.closeWindow();

    // The next start has it on.
    QVERIFY(scene.openWindow());
    QVERIFY(choiceOf(scene.window)->isChecked());
    QCOMPARE(scene.discovery->searchManager()->searchTypes(),
             int(SearchManager::UtilitySearchBit | SearchManager::OnvifBit));
}

void TestPathmereOnvif::searchWithTheChoiceListsBothKinds()
{
    scene.camsim->clearEvents();
    scene.search();
    QVERIFY(scene.camsim->count(QStringLiteral("onvif-probe")) > 0);
    QTableView *table = scene.access->table();
    QCOMPARE(scene.access->rowCount(), 2);
    const int hall = WindowLanScene::rowOf(table, 6, QStringLiteral("192.0.2.20"));
    const int yard = WindowLanScene::rowOf(table, 6, QStringLiteral("192.0.2.22"));
    QVERIFY(hall >= 0 && yard >= 0);
    QCOMPARE(WindowLanScene::cellText(table, hall, 3), QStringLiteral("ZR-20"));
    QCOMPARE(WindowLanScene::cellText(table, yard, 3), QStringLiteral("NVT-9"));
    QCOMPARE(WindowLanScene::cellText(table, yard, 4), QStringLiteral("Yard"));
}

void TestPathmereOnvif::applyWritesToTheOnvifCamera()
{
    QTableView *table = scene.access->table();
    const int yard = WindowLanScene::rowOf(table, 6, QStringLiteral("192.0.2.22"));
    QVERIFY(yard >= 0);
    table->setCurrentIndex(table->model()->index(yard, 4));
    QVERIFY(scene.access->applyButton()->isEnabled());
    scene.access->staticIp()->setChecked(true);
    scene.access->ipField()->setAddress({192, 0, 2, 23});
    scene.access->maskField()->setAddress({255, 255, 255, 0});
    scene.access->userId()->setText(QStringLiteral("admin"));
    scene.access->password()->setText(QStringLiteral("pw22"));
    scene.camsim->clearEvents();
    scene.messages.clear();

    QTest::mouseClick(scene.access->applyButton(), Qt::LeftButton);
    QVERIFY2(scene.messages.isEmpty(), qPrintable(scene.messages.join(QLatin1Char('\n'))));
    QCOMPARE(WindowLanScene::cellText(table, yard, 1), QStringLiteral("Setting and checking"));
    QVERIFY(!scene.access->searchButton()->isEnabled());
    // Confirmed, the window searches again and lists the camera at its new address.
    QTRY_VERIFY_WITH_TIMEOUT(scene.camsim->count(QStringLiteral("onvif-address")) == 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(WindowLanScene::rowOf(table, 6, QStringLiteral("192.0.2.23")) >= 0, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(scene.access->searchButton()->isEnabled(), 12000);
    QCOMPARE(WindowLanScene::rowOf(table, 6, QStringLiteral("192.0.2.22")), -1);
    // No settings record of the maker's protocol went anywhere.
    QCOMPARE(scene.camsim->count(QStringLiteral("settings")), 0);
}

QTEST_MAIN(TestPathmereOnvif)
#include "tst_pathmereonvif.moc"
