// The real main window against simulated cameras in a test LAN of network
// namespaces (tests/netns/netns.sh runs this test in the program's namespace,
// camsim runs in the camera namespace). Search, a refused and an accepted
// settings change, as a user would do them.

#include "camsimprocess.h"
#include "ipctrl.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "testlan.h"
#include "windowlanscene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestPathmereLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchFillsTable();
    void wrongPasswordIsUnauthorized();
    void applyMovesCamera();
    void conflictingSettingsSendNothing();
    void typedAddressIsTheAddressSent();

private:
    // Selects the row of the camera with mac and fills in its login.
    int selectCamera(const QString &mac, const QString &password);
    // The first settings record camsim saw since its events were cleared.
    QJsonObject waitForSettings(int timeoutMs);

    WindowLanScene scene;
};

void TestPathmereLan::initTestCase()
{
    TESTLAN_REQUIRE();
    // Three cameras that answer in different ways: broadcast and unicast,
    // long and short replies, DHCP and static.
    const QString failed = scene.start(
        {"--camera", "mac=02:50:4d:00:00:01,model=ZR-20,name=Hall,ip=192.0.2.10,user=admin,password=secret,"
                     "send=broadcast,reply=long,serial=SN0001",
         "--camera", "mac=02:50:4d:00:00:02,model=AX-10,name=Lobby,ip=192.0.2.11,send=unicast,reply=short",
         "--camera", "mac=02:50:4d:00:00:03,model=MK-30,name=Stage,ip=192.0.2.12,dhcp=1,reply=both"});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY(scene.openWindow());
    // The program side has the one adapter lan0 of the test LAN.
    QCOMPARE(scene.access->adapterChooser()->count(), 1);
}

QJsonObject TestPathmereLan::waitForSettings(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return scene.camsim->count(QStringLiteral("settings")) > 0; }, timeoutMs))
        return QJsonObject();
    return scene.camsim->events(QStringLiteral("settings")).first();
}

void TestPathmereLan::searchFillsTable()
{
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(scene.access->searchButton(), Qt::LeftButton);
    // Cameras answer within milliseconds, yet rows come only at the end.
    QTest::qWait(1000);
    QCOMPARE(scene.access->rowCount(), 0);
    // A header click during the search changes nothing.
    emit scene.access->table()->horizontalHeader()->sectionClicked(3);
    QCOMPARE(scene.access->sortToggle(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(scene.access->searchButton()->isEnabled(), 9000);
    QVERIFY(clock.elapsed() >= 4500);

    QTableView *table = scene.access->table();
    QCOMPARE(table->model()->rowCount(), 3);
    const int hall = WindowLanScene::rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    const int lobby = WindowLanScene::rowOf(table, 7, QStringLiteral("02:50:4d:00:00:02"));
    const int stage = WindowLanScene::rowOf(table, 7, QStringLiteral("02:50:4d:00:00:03"));
    QVERIFY(hall >= 0 && lobby >= 0 && stage >= 0);
    QCOMPARE(WindowLanScene::cellText(table, hall, 3), QStringLiteral("ZR-20"));
    QCOMPARE(WindowLanScene::cellText(table, hall, 4), QStringLiteral("Hall"));
    QCOMPARE(WindowLanScene::cellText(table, hall, 6), QStringLiteral("192.0.2.10"));
    QCOMPARE(WindowLanScene::cellText(table, lobby, 6), QStringLiteral("192.0.2.11"));
    QCOMPARE(WindowLanScene::cellText(table, stage, 6), QStringLiteral("192.0.2.12"));
    QCOMPARE(WindowLanScene::cellText(table, stage, 1), QStringLiteral("Working"));

    // Sorted by IPv4 text, then the form follows the selection.
    emit table->horizontalHeader()->sectionClicked(6);
    QCOMPARE(WindowLanScene::cellText(table, 0, 6), QStringLiteral("192.0.2.10"));
    table->setCurrentIndex(table->model()->index(2, 4));
    QCOMPARE(scene.access->deviceName()->text(), QStringLiteral("Stage"));
    QVERIFY(scene.access->dhcp()->isChecked());
}

void TestPathmereLan::wrongPasswordIsUnauthorized()
{
    QTableView *table = scene.access->table();
    const int hall = WindowLanScene::rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    QVERIFY(hall >= 0);
    table->setCurrentIndex(table->model()->index(hall, 4));
    QVERIFY(scene.access->staticIp()->isChecked());
    scene.access->ipField()->setAddress({192, 0, 2, 50});
    scene.access->userId()->setText(QStringLiteral("admin"));
    scene.access->password()->setText(QStringLiteral("wrong"));
    scene.camsim->clearEvents();

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(scene.access->applyButton(), Qt::LeftButton);
    QVERIFY(scene.messages.isEmpty());
    QCOMPARE(WindowLanScene::cellText(table, hall, 1), QStringLiteral("Setting and checking"));
    QTRY_COMPARE_WITH_TIMEOUT(WindowLanScene::cellText(table, hall, 1), QStringLiteral("Unauthorized"), 6000);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(scene.access->applyButton()->isEnabled());
    QVERIFY(scene.access->searchButton()->isEnabled());
    QVERIFY(!table->indexWidget(table->model()->index(hall, 2)));

    const QJsonObject settings = waitForSettings(1000);
    QVERIFY(!settings.isEmpty());
    QCOMPARE(settings.value(QStringLiteral("result")).toString(), QStringLiteral("refused"));
    QCOMPARE(settings.value(QStringLiteral("mac")).toString(), QStringLiteral("02:50:4d:00:00:01"));
}

void TestPathmereLan::applyMovesCamera()
{
    QTableView *table = scene.access->table();
    const int hall = WindowLanScene::rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    QVERIFY(hall >= 0);
    table->setCurrentIndex(table->model()->index(hall, 4));
    QCOMPARE(scene.access->deviceName()->text(), QStringLiteral("Hall"));
    scene.access->ipField()->setAddress({192, 0, 2, 50});
    scene.access->userId()->setText(QStringLiteral("admin"));
    scene.access->password()->setText(QStringLiteral("secret"));
    scene.camsim->clearEvents();

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(scene.access->applyButton(), Qt::LeftButton);
    QVERIFY(scene.messages.isEmpty());
    const QJsonObject settings = waitForSettings(3000);
    QVERIFY(!settings.isEmpty());
    QCOMPARE(settings.value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
    QCOMPARE(settings.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.50"));

    // Fifty ticks later the table empties and a new search starts by itself.
    QTRY_VERIFY_WITH_TIMEOUT(table->model()->rowCount() == 0, 7000);
    QVERIFY(clock.elapsed() >= 4500);
    QVERIFY(!scene.access->searchButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(scene.access->searchButton()->isEnabled(), 9000);

    QCOMPARE(table->model()->rowCount(), 3);
    const int moved = WindowLanScene::rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    QVERIFY(moved >= 0);
    QCOMPARE(WindowLanScene::cellText(table, moved, 6), QStringLiteral("192.0.2.50"));
    QCOMPARE(WindowLanScene::rowOf(table, 6, QStringLiteral("192.0.2.10")), -1);
}

int TestPathmereLan::selectCamera(const QString &mac, const QString &password)
{
    QTableView *table = scene.access->table();
    const int row = WindowLanScene::rowOf(table, 7, mac);
    if (row < 0)
        return row;
    table->setCurrentIndex(table->model()->index(row, 4));
    scene.access->userId()->setText(QStringLiteral("admin"));
    scene.access->password()->setText(password);
    return row;
}

// What the window would have sent a camera without a word before: another
// camera's address, this computer's, a gateway in another subnet. Each gets
// one box, and camsim, which records every settings record it receives,
// sees none.
void TestPathmereLan::conflictingSettingsSendNothing()
{
    QVERIFY(selectCamera(QStringLiteral("02:50:4d:00:00:01"), QStringLiteral("secret")) >= 0);
    scene.camsim->clearEvents();
    const struct { IPCtrl::Bytes ip; IPCtrl::Bytes gateway; const char *text; } cases[] = {
        {{192, 0, 2, 11}, {192, 0, 2, 1}, "IP Address 192.0.2.11 is held by another device of the search (MAC 02:50:4d:00:00:02"},
        {{192, 0, 2, 1}, {192, 0, 2, 254}, "IP Address 192.0.2.1 is an address of this computer."},
        {{192, 0, 2, 60}, {198, 51, 100, 1}, "Gateway 198.51.100.1 is outside the planned subnet 192.0.2.0/24."},
    };
    for (const auto &c : cases) {
        scene.messages.clear();
        scene.access->ipField()->setAddress(c.ip);
        scene.access->gatewayField()->setAddress(c.gateway);
        QTest::mouseClick(scene.access->applyButton(), Qt::LeftButton);
        QCOMPARE(scene.messages.size(), 1);
        QVERIFY2(scene.messages.first().startsWith(QLatin1String(c.text)), qPrintable(scene.messages.first()));
        QVERIFY(scene.access->applyButton()->isEnabled());
    }
    QTest::qWait(1500);
    QCOMPARE(scene.camsim->count(QStringLiteral("settings")), 0);
    scene.messages.clear();
}

// The address typed key by key, as a person types it, is the address the
// camera receives.
void TestPathmereLan::typedAddressIsTheAddressSent()
{
    QVERIFY(selectCamera(QStringLiteral("02:50:4d:00:00:01"), QStringLiteral("secret")) >= 0);
    scene.access->gatewayField()->setAddress({192, 0, 2, 1});
    IPCtrl *const ip = scene.access->ipField();
    ip->clearAddress();
    QApplication::setActiveWindow(scene.window);
    QVERIFY(QTest::qWaitForWindowActive(scene.window));
    ip->field(0)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ip->field(0));
    for (const QChar c : QStringLiteral("192.0.2.30")) {
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        QCoreApplication::processEvents();
    }
    scene.camsim->clearEvents();
    QTest::mouseClick(scene.access->applyButton(), Qt::LeftButton);
    QVERIFY2(scene.messages.isEmpty(), qPrintable(scene.messages.join(QLatin1Char('\n'))));
    const QJsonObject settings = waitForSettings(3000);
    QCOMPARE(settings.value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
    QCOMPARE(settings.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.30"));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestPathmereLan test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pathmerelan.moc"
