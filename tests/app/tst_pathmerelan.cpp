// The real main window against simulated cameras in a test LAN of network
// namespaces (tests/netns/netns.sh runs this test in the program's namespace,
// camsim runs in the camera namespace). Search, a refused and an accepted
// settings change, as a user would do them.

#include "discoveryservice.h"
#include "camsimprocess.h"
#include "ipctrl.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "testhome.h"
#include "testlan.h"
#include "updatepaths.h"
#include "usermessage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

namespace {

QString cellText(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

int rowOf(const QTableView *table, int column, const QString &text)
{
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        if (cellText(table, row, column) == text)
            return row;
    }
    return -1;
}

} // namespace

class TestPathmereLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
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

    TestHome home;
    CamsimProcess *camsim = nullptr;
    DiscoveryService *discovery = nullptr;
    Pathmere *window = nullptr;
    PathmereTestAccess *access = nullptr;
    QStringList messages;
};

void TestPathmereLan::initTestCase()
{
    TESTLAN_REQUIRE();
    QVERIFY(home.isValid());
    home.enter();
    QStandardPaths::setTestModeEnabled(true);
    UserMessage::setObserver([this](const QString &, const QString &text) { messages << text; });

    // Three cameras that answer in different ways: broadcast and unicast,
    // long and short replies, DHCP and static.
    camsim = new CamsimProcess(this);
    QVERIFY2(camsim->start(0, {"--camera", "mac=02:50:4d:00:00:01,model=ZR-20,name=Hall,ip=192.0.2.10,user=admin,password=secret,"
                                           "send=broadcast,reply=long,serial=SN0001",
                               "--camera", "mac=02:50:4d:00:00:02,model=AX-10,name=Lobby,ip=192.0.2.11,send=unicast,reply=short",
                               "--camera", "mac=02:50:4d:00:00:03,model=MK-30,name=Stage,ip=192.0.2.12,dhcp=1,reply=both"},
                           10000),
             qPrintable(camsim->errorText()));

    // The day's update check has run: this suite is about the table, and
    // no update server answers in the test LAN.
    QSettings(UpdatePaths::settingsFile(), QSettings::IniFormat)
        .setValue(QStringLiteral("Common/AppOpenDate"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));

    discovery = new DiscoveryService;
    window = new Pathmere;
    access = new PathmereTestAccess(window);
    window->setStartHidden(false);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // The program side has the one adapter lan0 of the test LAN.
    QCOMPARE(access->adapterChooser()->count(), 1);
}

void TestPathmereLan::cleanupTestCase()
{
    delete access;
    delete window;
    delete discovery;
    if (camsim)
        camsim->stop();
    UserMessage::setObserver({});
}

QJsonObject TestPathmereLan::waitForSettings(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return camsim->count(QStringLiteral("settings")) > 0; }, timeoutMs))
        return QJsonObject();
    return camsim->events(QStringLiteral("settings")).first();
}

void TestPathmereLan::searchFillsTable()
{
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(access->searchButton(), Qt::LeftButton);
    // Cameras answer within milliseconds, yet rows come only at the end.
    QTest::qWait(1000);
    QCOMPARE(access->rowCount(), 0);
    // A header click during the search changes nothing.
    emit access->table()->horizontalHeader()->sectionClicked(3);
    QCOMPARE(access->sortToggle(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(access->searchButton()->isEnabled(), 9000);
    QVERIFY(clock.elapsed() >= 4500);

    QTableView *table = access->table();
    QCOMPARE(table->model()->rowCount(), 3);
    const int hall = rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    const int lobby = rowOf(table, 7, QStringLiteral("02:50:4d:00:00:02"));
    const int stage = rowOf(table, 7, QStringLiteral("02:50:4d:00:00:03"));
    QVERIFY(hall >= 0 && lobby >= 0 && stage >= 0);
    QCOMPARE(cellText(table, hall, 3), QStringLiteral("ZR-20"));
    QCOMPARE(cellText(table, hall, 4), QStringLiteral("Hall"));
    QCOMPARE(cellText(table, hall, 6), QStringLiteral("192.0.2.10"));
    QCOMPARE(cellText(table, lobby, 6), QStringLiteral("192.0.2.11"));
    QCOMPARE(cellText(table, stage, 6), QStringLiteral("192.0.2.12"));
    QCOMPARE(cellText(table, stage, 1), QStringLiteral("Working"));

    // Sorted by IPv4 text, then the form follows the selection.
    emit table->horizontalHeader()->sectionClicked(6);
    QCOMPARE(cellText(table, 0, 6), QStringLiteral("192.0.2.10"));
    table->setCurrentIndex(table->model()->index(2, 4));
    QCOMPARE(access->deviceName()->text(), QStringLiteral("Stage"));
    QVERIFY(access->dhcp()->isChecked());
}

void TestPathmereLan::wrongPasswordIsUnauthorized()
{
    QTableView *table = access->table();
    const int hall = rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    QVERIFY(hall >= 0);
    table->setCurrentIndex(table->model()->index(hall, 4));
    QVERIFY(access->staticIp()->isChecked());
    access->ipField()->setAddress({192, 0, 2, 50});
    access->userId()->setText(QStringLiteral("admin"));
    access->password()->setText(QStringLiteral("wrong"));
    camsim->clearEvents();

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QVERIFY(messages.isEmpty());
    QCOMPARE(cellText(table, hall, 1), QStringLiteral("Setting and checking"));
    QTRY_COMPARE_WITH_TIMEOUT(cellText(table, hall, 1), QStringLiteral("Unauthorized"), 6000);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(access->applyButton()->isEnabled());
    QVERIFY(access->searchButton()->isEnabled());
    QVERIFY(!table->indexWidget(table->model()->index(hall, 2)));

    const QJsonObject settings = waitForSettings(1000);
    QVERIFY(!settings.isEmpty());
    QCOMPARE(settings.value(QStringLiteral("result")).toString(), QStringLiteral("refused"));
    QCOMPARE(settings.value(QStringLiteral("mac")).toString(), QStringLiteral("02:50:4d:00:00:01"));
}

void TestPathmereLan::applyMovesCamera()
{
    QTableView *table = access->table();
    const int hall = rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    QVERIFY(hall >= 0);
    table->setCurrentIndex(table->model()->index(hall, 4));
    QCOMPARE(access->deviceName()->text(), QStringLiteral("Hall"));
    access->ipField()->setAddress({192, 0, 2, 50});
    access->userId()->setText(QStringLiteral("admin"));
    access->password()->setText(QStringLiteral("secret"));
    camsim->clearEvents();

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QVERIFY(messages.isEmpty());
    const QJsonObject settings = waitForSettings(3000);
    QVERIFY(!settings.isEmpty());
    QCOMPARE(settings.value(QStringLiteral("result")).toString(), QStringLiteral("applied"));
    QCOMPARE(settings.value(QStringLiteral("ip")).toString(), QStringLiteral("192.0.2.50"));

    // Fifty ticks later the table empties and a new search starts by itself.
    QTRY_VERIFY_WITH_TIMEOUT(table->model()->rowCount() == 0, 7000);
    QVERIFY(clock.elapsed() >= 4500);
    QVERIFY(!access->searchButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(access->searchButton()->isEnabled(), 9000);

    QCOMPARE(table->model()->rowCount(), 3);
    const int moved = rowOf(table, 7, QStringLiteral("02:50:4d:00:00:01"));
    QVERIFY(moved >= 0);
    QCOMPARE(cellText(table, moved, 6), QStringLiteral("192.0.2.50"));
    QCOMPARE(rowOf(table, 6, QStringLiteral("192.0.2.10")), -1);
}

int TestPathmereLan::selectCamera(const QString &mac, const QString &password)
{
    QTableView *table = access->table();
    const int row = rowOf(table, 7, mac);
    if (row < 0)
        return row;
    table->setCurrentIndex(table->model()->index(row, 4));
    access->userId()->setText(QStringLiteral("admin"));
    access->password()->setText(password);
    return row;
}

// What the window would have sent a camera without a word before: another
// camera's address, this computer's, a gateway in another subnet. Each gets
// one box, and camsim, which records every settings record it receives,
// sees none.
void TestPathmereLan::conflictingSettingsSendNothing()
{
    QVERIFY(selectCamera(QStringLiteral("02:50:4d:00:00:01"), QStringLiteral("secret")) >= 0);
    camsim->clearEvents();
    const struct { IPCtrl::Bytes ip; IPCtrl::Bytes gateway; const char *text; } cases[] = {
        {{192, 0, 2, 11}, {192, 0, 2, 1}, "IP Address 192.0.2.11 is held by another device of the search (MAC 02:50:4d:00:00:02"},
        {{192, 0, 2, 1}, {192, 0, 2, 254}, "IP Address 192.0.2.1 is an address of this computer."},
        {{192, 0, 2, 60}, {198, 51, 100, 1}, "Gateway 198.51.100.1 is outside the planned subnet 192.0.2.0/24."},
    };
    for (const auto &c : cases) {
        messages.clear();
        access->ipField()->setAddress(c.ip);
        access->gatewayField()->setAddress(c.gateway);
        QTest::mouseClick(access->applyButton(), Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(QLatin1String(c.text)), qPrintable(messages.first()));
        QVERIFY(access->applyButton()->isEnabled());
    }
    QTest::qWait(1500);
    QCOMPARE(camsim->count(QStringLiteral("settings")), 0);
    messages.clear();
}

// The address typed key by key, as a person types it, is the address the
// camera receives.
void TestPathmereLan::typedAddressIsTheAddressSent()
{
    QVERIFY(selectCamera(QStringLiteral("02:50:4d:00:00:01"), QStringLiteral("secret")) >= 0);
    access->gatewayField()->setAddress({192, 0, 2, 1});
    IPCtrl *const ip = access->ipField();
    ip->clearAddress();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    ip->field(0)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ip->field(0));
    for (const QChar c : QStringLiteral("192.0.2.30")) {
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        QCoreApplication::processEvents();
    }
    camsim->clearEvents();
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
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
