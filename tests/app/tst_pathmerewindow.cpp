// The main window on the offscreen platform: the device table and its header,
// double click, the adapter chooser, the settings form and Apply, the tray.
// The process runs in a network namespace of its own (see PrivateNetwork), so
// the searches and settings it starts cannot leave the machine.

#include "discoveryservice.h"
#include "aboutdlg.h"
#include "autostartentry.h"
#include "ipctrl.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "privatenetwork.h"
#include "sampleadapter.h"
#include "searchmanager.h"
#include "testhome.h"
#include "usermessage.h"
#include "utilityprotocol.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <cmath>

namespace {

DeviceRecord device(const QString &model, const QString &name, const QString &ip, const QString &mac,
                    int searchType = DeviceRecord::BroadcastSearch)
{
    DeviceRecord d;
    d.searchType = searchType;
    d.model = model;
    d.name = name;
    d.ip = ip;
    d.mac = mac;
    d.fwVersion = QStringLiteral("1.0.") + ip.section(QLatin1Char('.'), 3);
    d.mask = QStringLiteral("255.255.255.0");
    d.gateway = QStringLiteral("192.0.2.254");
    d.dns1 = QStringLiteral("198.51.100.53");
    d.dns2 = QStringLiteral("203.0.113.53");
    d.ipv6 = QStringLiteral("fe80::") + ip.section(QLatin1Char('.'), 3);
    return d;
}

QList<DeviceRecord> threeCameras()
{
    return {device(QStringLiteral("ZR-20"), QStringLiteral("Hall"), QStringLiteral("192.0.2.9"), QStringLiteral("00:1a:2b:00:00:09")),
            device(QStringLiteral("AX-10"), QStringLiteral("Lobby"), QStringLiteral("192.0.2.10"), QStringLiteral("00:1a:2b:00:00:0a")),
            device(QStringLiteral("MK-30"), QStringLiteral("Stage"), QStringLiteral("192.0.2.2"), QStringLiteral("00:1a:2b:00:00:02"))};
}

QStringList column(QTableView *table, int col)
{
    QStringList texts;
    const QAbstractItemModel *model = table->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, col).data().toString();
    return texts;
}

void clickHeader(QTableView *table, int section)
{
    QHeaderView *header = table->horizontalHeader();
    table->scrollTo(table->model()->index(0, section));
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

void doubleClickCell(QTableView *table, int row, int col)
{
    const QModelIndex cell = table->model()->index(row, col);
    table->scrollTo(cell);
    const QPoint pos = table->visualRect(cell).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
}

} // namespace

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestPathmereWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void windowSizeAtDesignDpi();
    void formAsDesigned_data();
    void formAsDesigned();
    void headerColumnsZeroToTwoAreInert();
    void oneToggleServesEveryColumn();
    void addressesSortAsText();
    void noSortingDuringSearch();
    void searchRunsFiftyTicks();
    void doubleClickOpensCurrentRow();
    void noDoubleClickDuringSearch();
    void adapterRefreshKeepsListOpen();

    void formFilledFromSelection();
    void malformedAddressTextsFillWhatTheyHave();
    void settingsRecordByteForByte();
    void dhcpModeWordKeepsAddresses();
    void longTextsAreCut();
    void applyChecks_data();
    void applyChecks();
    void applyRefusesWhatWouldBreakTheCamera_data();
    void applyRefusesWhatWouldBreakTheCamera();
    void applyDisabledForOtherSource();
    void unauthorizedEndsSetting();
    void settingEndsInNewSearch();
    void settingWhoseRowIsGone();
    void subnetMoveRunsTheWindowsApply();

    void closeHidesAndTrayShows();
    void closeMinimisesOnceTrayIsGone();
    void trayMenuEntries();
    void checkMarkFollowsAutostartEntry();
    void toggleStartsHallbridge();
    void aboutDialogIsReused();
    void iconsComeAfterTheFirstFrame();

private:
    void requireIsolation();
    void selectRow(int row);
    void fillCredentials();

    TestHome home;
    DiscoveryService *discovery = nullptr;
    Pathmere *window = nullptr;
    PathmereTestAccess *access = nullptr;
    QList<QPair<QString, QString>> messages;
    UrlRecorder urls;
    bool trayAvailable = true;
    int trayLooks = 0;
};

void TestPathmereWindow::initTestCase()
{
    QVERIFY(home.isValid());
    // Every window listens on 127.0.0.1:15248 (the web bridge); a fresh
    // namespace's loopback is down and loses 127.0.0.1 once another link
    // gets an address.
    PrivateNetwork::ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")});
    // Autostart entries and logs of this test go to a scratch home.
    home.enter();
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("Pathmere"));
    UserMessage::setObserver([this](const QString &title, const QString &text) { messages.append({title, text}); });
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &urls, "open");
    // The offscreen platform never has a tray; these windows live in one.
    TrayMenu::setAvailabilityProbe([this] {
        ++trayLooks;
        return trayAvailable;
    });
}

void TestPathmereWindow::init()
{
    messages.clear();
    urls.urls.clear();
    // As start-up does: discovery first, the window on it.
    discovery = new DiscoveryService;
    window = new Pathmere;
    access = new PathmereTestAccess(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestPathmereWindow::cleanup()
{
    delete access;
    access = nullptr;
    delete window;
    window = nullptr;
    delete discovery;
    discovery = nullptr;
}

void TestPathmereWindow::cleanupTestCase()
{
    TrayMenu::setAvailabilityProbe({});
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    UserMessage::setObserver({});
}

void TestPathmereWindow::iconsComeAfterTheFirstFrame()
{
    // The window's icon and the tray's (a round trip to the display server
    // for the look) wait for the first frame. A window of its own, built
    // but not yet shown (the one init() made holds the bridge's port and
    // goes first).
    delete access;
    access = nullptr;
    delete window;
    trayLooks = 0;
    window = new Pathmere;
    access = new PathmereTestAccess(window);
    QVERIFY(window->windowIcon().isNull());
    QCoreApplication::processEvents();
    QVERIFY(window->windowIcon().isNull());
    QCOMPARE(trayLooks, 0);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().availableSizes().value(0), QSize(64, 64));
    QTRY_VERIFY(trayLooks > 0);
    // The tray was there: the icon is made, and closing hides the window.
    QVERIFY(!window->close());
    QVERIFY(!window->isVisible());
}

void TestPathmereWindow::requireIsolation()
{
    if (!PrivateNetwork::isolated())
        QSKIP(qPrintable(QStringLiteral("needs a private network namespace: ") + PrivateNetwork::reason()));
}

void TestPathmereWindow::selectRow(int row)
{
    QTableView *table = access->table();
    table->setCurrentIndex(access->cellIndex(row, 3));
    QCOMPARE(table->currentIndex().row(), row);
}

void TestPathmereWindow::fillCredentials()
{
    access->userId()->setText(QStringLiteral("admin"));
    access->password()->setText(QStringLiteral("secret"));
}

void TestPathmereWindow::windowSizeAtDesignDpi()
{
    // Whatever DPI the platform reports (the offscreen one says 100), design
    // values become trunc(v * DPI / 96); 192 DPI has its own test on Xvfb.
    const int dpi = QApplication::desktop()->logicalDpiX();
    const auto scaled = [dpi](int v) { return int(std::trunc(v * (dpi / 96.0))); };
    QCOMPARE(window->size(), QSize(scaled(891), scaled(664)));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(access->searchButton()->geometry(), QRect(scaled(270), scaled(30), scaled(101), scaled(31)));
    QCOMPARE(access->table()->geometry(), QRect(scaled(20), scaled(150), scaled(851), scaled(221)));
    QCOMPARE(access->table()->model()->columnCount(), 9);
    QCOMPARE(access->table()->columnWidth(7), scaled(140));
    const QStringList headers = {"No.", "Status", "Progress", "Model Name", "Device Name",
                                 "FW version", "IPv4 Address", "MAC Address", "IPv6 Address"};
    for (int i = 0; i < headers.size(); ++i)
        QCOMPARE(access->table()->model()->headerData(i, Qt::Horizontal).toString(), headers.at(i));
    QCOMPARE(access->rowCount(), 0);
}

void TestPathmereWindow::formAsDesigned_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("designGeometry");
    QTest::addColumn<QString>("text");
    const QString window;
    const auto row = [](const char *name, const QString &parent, const char *className, const QRect &rect,
                        const QString &text) {
        QTest::newRow(name) << parent << QString::fromLatin1(className) << rect << text;
    };
    // The six field labels end in the full-width colon U+FF1A.
    const QString colon(QChar(0xFF1A));
    row("groupBox", window, "QGroupBox", QRect(20, 10, 381, 131), QStringLiteral("Network Device"));
    row("DeviceSelect", "groupBox", "QComboBox", QRect(10, 30, 241, 31), QString());
    row("btnSearch", "groupBox", "QPushButton", QRect(270, 30, 101, 31), QStringLiteral("Search"));
    row("progressBar", "groupBox", "QProgressBar", QRect(10, 80, 361, 31), QString());
    row("btnAbout", window, "QPushButton", QRect(819, 10, 41, 41), QString());
    row("searchTable", window, "QTableView", QRect(20, 150, 851, 221), QString());
    row("groupBox_2", window, "QGroupBox", QRect(20, 390, 851, 261), QStringLiteral("Setting"));
    row("whyLabel", window, "QLabel", QRect(20, 371, 851, 19), QString());
    row("label_2", "groupBox_2", "QLabel", QRect(10, 20, 111, 16), QStringLiteral("Device Name") + colon);
    row("EditDeviceName", "groupBox_2", "QLineEdit", QRect(10, 40, 171, 31), QString());
    row("radioDHCP", "groupBox_2", "QRadioButton", QRect(10, 80, 121, 16), QStringLiteral("DHCP"));
    row("radioStaticIP", "groupBox_2", "QRadioButton", QRect(10, 110, 121, 16), QStringLiteral("Static IP"));
    row("groupBox_3", "groupBox_2", "QGroupBox", QRect(10, 140, 331, 111), QStringLiteral("Login"));
    row("label_8", "groupBox_3", "QLabel", QRect(10, 30, 111, 16), QStringLiteral("User ID"));
    row("label_9", "groupBox_3", "QLabel", QRect(180, 30, 111, 16), QStringLiteral("Password"));
    row("EditUserID", "groupBox_3", "QLineEdit", QRect(10, 60, 141, 31), QString());
    row("EditPassword", "groupBox_3", "QLineEdit", QRect(180, 60, 141, 31), QString());
    row("checkRemember", "groupBox_3", "QCheckBox", QRect(180, 91, 141, 19), QStringLiteral("Remember"));
    row("label_3", "groupBox_2", "QLabel", QRect(390, 30, 111, 16), QStringLiteral("IP Address") + colon);
    row("frameIPAddress", "groupBox_2", "IPCtrl", QRect(500, 20, 221, 31), QString());
    row("label_6", "groupBox_2", "QLabel", QRect(390, 75, 111, 16), QStringLiteral("Mask") + colon);
    row("frameMask", "groupBox_2", "IPCtrl", QRect(500, 65, 221, 31), QString());
    row("label_5", "groupBox_2", "QLabel", QRect(390, 120, 111, 16), QStringLiteral("Gateway") + colon);
    row("frameGateway", "groupBox_2", "IPCtrl", QRect(500, 110, 221, 31), QString());
    row("label_7", "groupBox_2", "QLabel", QRect(390, 165, 111, 16), QStringLiteral("Primary DNS") + colon);
    row("framePDNS", "groupBox_2", "IPCtrl", QRect(500, 155, 221, 31), QString());
    row("label_4", "groupBox_2", "QLabel", QRect(390, 210, 111, 16), QStringLiteral("Secondary DNS") + colon);
    row("frameSDNS", "groupBox_2", "IPCtrl", QRect(500, 200, 221, 31), QString());
    row("btnApply", "groupBox_2", "QPushButton", QRect(740, 210, 101, 31), QStringLiteral("Apply"));
}

void TestPathmereWindow::formAsDesigned()
{
    QFETCH(QString, parent);
    QFETCH(QString, className);
    QFETCH(QRect, designGeometry);
    QFETCH(QString, text);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QCOMPARE(window->windowTitle(), QStringLiteral("Pathmere"));

    QWidget *widget = window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget() == window ? QString() : widget->parentWidget()->objectName(), parent);

    const double scale = QApplication::desktop()->logicalDpiX() / 96.0;
    const auto scaled = [scale](int v) { return int(std::trunc(v * scale)); };
    QRect expected(scaled(designGeometry.x()), scaled(designGeometry.y()), scaled(designGeometry.width()),
                   scaled(designGeometry.height()));
    if (className == QLatin1String("IPCtrl")) {
        // The address field keeps its own maximum width of 200.
        expected.setWidth(qMin(expected.width(), 200));
        // White enabled or not (the field's own test compares the pixels).
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Disabled}) {
            QCOMPARE(widget->palette().color(group, QPalette::Window), QColor(Qt::white));
            QCOMPARE(widget->palette().color(group, QPalette::Base), QColor(Qt::white));
        }
        QVERIFY(widget->autoFillBackground());
    }
    QCOMPARE(widget->geometry(), expected);

    QString shown;
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        shown = box->title();
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    QCOMPARE(shown, text);

    // One font for the form; the info button shows only its image.
    if (name == QLatin1String("btnAbout")) {
        const QString sheet = widget->styleSheet();
        QVERIFY(sheet.contains(QLatin1String(":checked")));
        QCOMPARE(sheet.count(QStringLiteral(":/resource/info_icon.png")), 2);
        QVERIFY(static_cast<QPushButton *>(widget)->shortcut().isEmpty());
    } else {
        QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
        QCOMPARE(widget->font().pointSize(), 10);
    }

    if (name == QLatin1String("EditDeviceName"))
        QVERIFY(static_cast<QLineEdit *>(widget)->isReadOnly());
    if (name == QLatin1String("EditPassword"))
        QCOMPARE(static_cast<QLineEdit *>(widget)->echoMode(), QLineEdit::Password);
    if (name == QLatin1String("progressBar")) {
        QVERIFY(!access->progressBar()->isTextVisible());
        QCOMPARE(access->progressBar()->value(), 0);
    }
    if (name == QLatin1String("searchTable")) {
        QTableView *table = access->table();
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(table->showGrid());
        QVERIFY(table->verticalHeader()->isHidden());
        const int widths[] = {40, 80, 100, 120, 120, 120, 120, 140, 140};
        for (int column = 0; column < 9; ++column)
            QCOMPARE(table->columnWidth(column), scaled(widths[column]));
    }
}

void TestPathmereWindow::headerColumnsZeroToTwoAreInert()
{
    access->showDevices(threeCameras());
    const QStringList before = column(access->table(), 3);
    for (int section = 0; section <= 2; ++section) {
        clickHeader(access->table(), section);
        QCOMPARE(column(access->table(), 3), before);
        QCOMPARE(access->sortToggle(), 0);
    }
    // The direction flag was untouched: the first real sort is ascending.
    clickHeader(access->table(), 3);
    QCOMPARE(column(access->table(), 3), QStringList({"AX-10", "MK-30", "ZR-20"}));
}

void TestPathmereWindow::oneToggleServesEveryColumn()
{
    access->showDevices(threeCameras());
    clickHeader(access->table(), 3);
    QCOMPARE(column(access->table(), 3), QStringList({"AX-10", "MK-30", "ZR-20"}));
    QCOMPARE(column(access->table(), 0), QStringList({"1", "2", "3"}));
    // Another column reverses the direction: descending by name.
    clickHeader(access->table(), 4);
    QCOMPARE(column(access->table(), 4), QStringList({"Stage", "Lobby", "Hall"}));
    clickHeader(access->table(), 4);
    QCOMPARE(column(access->table(), 4), QStringList({"Hall", "Lobby", "Stage"}));
    // The rows carry whole records, not one re-sorted column.
    QCOMPARE(column(access->table(), 6), QStringList({"192.0.2.9", "192.0.2.10", "192.0.2.2"}));
    QCOMPARE(column(access->table(), 1), QStringList({"Working", "Working", "Working"}));
    // And the address column continues the same toggle: descending, as text.
    clickHeader(access->table(), 6);
    QCOMPARE(column(access->table(), 6), QStringList({"192.0.2.9", "192.0.2.2", "192.0.2.10"}));
}

void TestPathmereWindow::addressesSortAsText()
{
    access->showDevices(threeCameras());
    clickHeader(access->table(), 6);
    QCOMPARE(column(access->table(), 6), QStringList({"192.0.2.10", "192.0.2.2", "192.0.2.9"}));
    clickHeader(access->table(), 6);
    QCOMPARE(column(access->table(), 6), QStringList({"192.0.2.9", "192.0.2.2", "192.0.2.10"}));

    // After a sort the form shows the record that now stands in the selected row.
    selectRow(0);
    QCOMPARE(access->deviceName()->text(), QStringLiteral("Hall"));
    clickHeader(access->table(), 6);
    QCOMPARE(access->table()->currentIndex().row(), 0);
    QCOMPARE(access->deviceName()->text(), QStringLiteral("Lobby"));
}

void TestPathmereWindow::noSortingDuringSearch()
{
    requireIsolation();
    QTest::mouseClick(access->searchButton(), Qt::LeftButton);
    QVERIFY(!access->searchButton()->isEnabled());
    // Rows on screen during a search (put there to have something to sort).
    access->showDevices(threeCameras());
    const QStringList before = column(access->table(), 3);
    // Within the first tick the progress still reads 0: inert all the same.
    QCOMPARE(access->searchProgress(), 0);
    clickHeader(access->table(), 3);
    QCOMPARE(column(access->table(), 3), before);
    QTRY_VERIFY(access->searchProgress() > 0);
    clickHeader(access->table(), 3);
    clickHeader(access->table(), 6);
    QCOMPARE(column(access->table(), 3), before);
    QCOMPARE(access->sortToggle(), 0);
    // Selection does not fill the form either.
    selectRow(1);
    QVERIFY(access->deviceName()->text().isEmpty());
}

void TestPathmereWindow::searchRunsFiftyTicks()
{
    requireIsolation();
    access->showDevices(threeCameras());
    selectRow(1);
    fillCredentials();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(access->searchButton(), Qt::LeftButton);
    // The search empties table and form at once.
    QCOMPARE(access->rowCount(), 0);
    QVERIFY(access->deviceName()->text().isEmpty());
    QVERIFY(access->userId()->text().isEmpty());
    QVERIFY(!access->dhcp()->isChecked() && !access->staticIp()->isChecked());
    QVERIFY(!access->searchButton()->isEnabled());
    QVERIFY(!access->applyButton()->isEnabled());
    QVERIFY(!access->whyLine()->isShown());
    QTRY_VERIFY_WITH_TIMEOUT(access->progressBar()->value() >= 50, 5000);
    QVERIFY(!access->searchButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(access->searchButton()->isEnabled(), 8000);
    QVERIFY2(clock.elapsed() >= 4500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(access->progressBar()->value(), 100);
    QVERIFY(access->applyButton()->isEnabled());
    QCOMPARE(access->searchProgress(), 0);
    // Nobody answers in the private namespace: the line under the table
    // offers the checks, and nothing opens by itself.
    QCOMPARE(access->rowCount(), 0);
    QVERIFY(access->whyLine()->isShown());
    QVERIFY(access->whyLine()->text().contains(QLatin1String(">Why?</a>")));
    QVERIFY(!access->whyLine()->dialog());
}

void TestPathmereWindow::doubleClickOpensCurrentRow()
{
    access->showDevices(threeCameras());
    doubleClickCell(access->table(), 1, 4);
    QCOMPARE(urls.urls, QList<QUrl>({QUrl(QStringLiteral("http://192.0.2.10"))}));

    // The current row decides, not the row of the item the signal carries.
    urls.urls.clear();
    selectRow(2);
    emit access->table()->doubleClicked(access->cellIndex(0, 5));
    QCOMPARE(urls.urls, QList<QUrl>({QUrl(QStringLiteral("http://192.0.2.2"))}));

    // A table row beyond a replaced, shorter list opens nothing.
    urls.urls.clear();
    access->replaceDeviceList(threeCameras().mid(0, 1));
    doubleClickCell(access->table(), 2, 4);
    QVERIFY(urls.urls.isEmpty());
}

void TestPathmereWindow::noDoubleClickDuringSearch()
{
    requireIsolation();
    QTest::mouseClick(access->searchButton(), Qt::LeftButton);
    access->showDevices(threeCameras());
    QTRY_VERIFY(access->searchProgress() > 0);
    doubleClickCell(access->table(), 0, 4);
    QVERIFY(urls.urls.isEmpty());
}

void TestPathmereWindow::adapterRefreshKeepsListOpen()
{
    requireIsolation();
    QComboBox *chooser = access->adapterChooser();
    QCOMPARE(chooser->count(), 0);
    // Shown through the tray path, so the interface polling runs.
    access->iconActive(QSystemTrayIcon::DoubleClick);

    // A veth pair gives two adapters that get their addresses one by one.
    if (!PrivateNetwork::ip({"link", "add", "pmtest0", "type", "veth", "peer", "name", "pmtest1"}))
        QSKIP("veth links cannot be created here");
    QVERIFY(PrivateNetwork::ip({"addr", "add", "192.0.2.77/24", "dev", "pmtest0"}));
    QVERIFY(PrivateNetwork::ip({"link", "set", "pmtest0", "up"}));
    QVERIFY(PrivateNetwork::ip({"link", "set", "pmtest1", "up"}));
    // The interface monitor notices within its one-second poll.
    QTRY_COMPARE_WITH_TIMEOUT(chooser->count(), 1, 5000);
    QCOMPARE(chooser->itemText(0), QStringLiteral("pmtest0"));

    chooser->showPopup();
    QTRY_VERIFY(chooser->view()->isVisible());
    QVERIFY(PrivateNetwork::ip({"addr", "add", "198.51.100.77/24", "dev", "pmtest1"}));
    QTRY_COMPARE_WITH_TIMEOUT(chooser->count(), 2, 5000);
    QVERIFY(chooser->view()->isVisible());
    QCOMPARE(chooser->view()->model()->rowCount(), 2);
    QCOMPARE(chooser->currentIndex(), 0);
    QStringList names = {chooser->itemText(0), chooser->itemText(1)};
    names.sort();
    QCOMPARE(names, QStringList({"pmtest0", "pmtest1"}));

    // Choosing another adapter starts nothing.
    chooser->hidePopup();
    chooser->setCurrentIndex(1);
    QVERIFY(access->searchButton()->isEnabled());
    QCOMPARE(access->searchProgress(), 0);
    PrivateNetwork::ip({"link", "del", "pmtest0"});
}

void TestPathmereWindow::formFilledFromSelection()
{
    QList<DeviceRecord> devices = threeCameras();
    devices[1].dhcp = true;
    access->showDevices(devices);
    selectRow(0);
    QCOMPARE(access->deviceName()->text(), QStringLiteral("Hall"));
    QVERIFY(access->staticIp()->isChecked());
    QVERIFY(!access->dhcp()->isChecked());
    QVERIFY(access->ipField()->isEnabled());
    QCOMPARE(access->ipField()->getAddress(), IPCtrl::Bytes({192, 0, 2, 9}));
    QCOMPARE(access->maskField()->getAddress(), IPCtrl::Bytes({255, 255, 255, 0}));
    QCOMPARE(access->dns2Field()->getAddress(), IPCtrl::Bytes({203, 0, 113, 53}));
    QVERIFY(access->applyButton()->isEnabled());

    access->userId()->setText(QStringLiteral("admin"));
    selectRow(1);
    QVERIFY(access->dhcp()->isChecked());
    QVERIFY(!access->staticIp()->isChecked());
    QVERIFY(!access->ipField()->isEnabled());
    QVERIFY(!access->dns2Field()->isEnabled());
    QCOMPARE(access->ipField()->getAddress(), IPCtrl::Bytes({192, 0, 2, 10}));
    // Login fields keep what the user typed.
    QCOMPARE(access->userId()->text(), QStringLiteral("admin"));

    // The mode buttons switch the fields without touching them.
    QTest::mouseClick(access->staticIp(), Qt::LeftButton);
    QVERIFY(access->ipField()->isEnabled());
    QTest::mouseClick(access->dhcp(), Qt::LeftButton);
    QVERIFY(!access->gatewayField()->isEnabled());
    QCOMPARE(access->ipField()->getAddress(), IPCtrl::Bytes({192, 0, 2, 10}));
}

void TestPathmereWindow::malformedAddressTextsFillWhatTheyHave()
{
    DeviceRecord odd = device(QStringLiteral("ZR-20"), QStringLiteral("Odd"), QStringLiteral("192.0.2"),
                              QStringLiteral("00:1a:2b"));
    odd.mask = QStringLiteral("255.255.255.0.7.9");
    odd.gateway = QStringLiteral("x.y");
    odd.dns1.clear();
    access->showDevices({odd});
    selectRow(0);
    QCOMPARE(access->ipField()->getAddress(), IPCtrl::Bytes({192, 0, 2, 0}));
    QCOMPARE(access->maskField()->getAddress(), IPCtrl::Bytes({255, 255, 255, 0}));
    QCOMPARE(access->gatewayField()->getAddress(), IPCtrl::Bytes({0, 0, 0, 0}));
    QVERIFY(access->dns1Field()->field(0)->text().isEmpty());

    fillCredentials();
    const QByteArray record = access->settingsRecord(odd);
    QCOMPARE(record.size(), 180);
    QCOMPARE(record.mid(15, 6), QByteArray::fromHex("001a2b000000"));
}

void TestPathmereWindow::settingsRecordByteForByte()
{
    DeviceRecord cam = device(QStringLiteral("ZR-20"), QStringLiteral("Hall"), QStringLiteral("192.0.2.9"),
                              QStringLiteral("00:1a:2b:3c:4d:5e"));
    access->showDevices({cam});
    selectRow(0);
    QTest::mouseClick(access->staticIp(), Qt::LeftButton);
    access->ipField()->setAddress({192, 168, 10, 20});
    access->maskField()->setAddress({255, 255, 0, 0});
    access->gatewayField()->setAddress({192, 168, 10, 1});
    access->dns1Field()->setAddress({192, 168, 10, 2});
    access->dns2Field()->setAddress({192, 168, 10, 3});
    access->userId()->setText(QStringLiteral("admin"));
    access->password()->setText(QStringLiteral("pa55"));

    QByteArray expected(180, '\0');
    expected.replace(0, 6, "PCEdit");
    expected[6] = 0x01;
    expected.replace(7, 34, QByteArray("eth0") + QByteArray::fromHex("c0a80a14" "001a2b3c4d5e" "ffff0000" "01")
                                + QByteArray("gw") + QByteArray::fromHex("c0a80a01" "01" "c0a80a02" "c0a80a03"));
    expected[41] = 0x01;
    expected.replace(74, 4, "Hall");
    expected.replace(114, 5, "admin");
    expected.replace(147, 4, "pa55");
    QCOMPARE(expected.size(), 180);
    QCOMPARE(access->settingsRecord(cam).toHex(), expected.toHex());
}

void TestPathmereWindow::dhcpModeWordKeepsAddresses()
{
    DeviceRecord cam = device(QStringLiteral("ZR-20"), QStringLiteral("Hall"), QStringLiteral("192.0.2.9"),
                              QStringLiteral("00:1a:2b:3c:4d:5e"));
    access->showDevices({cam});
    selectRow(0);
    QTest::mouseClick(access->dhcp(), Qt::LeftButton);
    fillCredentials();
    const QByteArray record = access->settingsRecord(cam);
    QCOMPARE(record.mid(7, 4), QByteArray("dhcp"));
    QCOMPARE(record.mid(11, 4), QByteArray::fromHex("c0000209"));
    QCOMPARE(record.mid(21, 4), QByteArray::fromHex("ffffff00"));
    QCOMPARE(record.mid(37, 4), QByteArray::fromHex("cb007135"));
}

void TestPathmereWindow::longTextsAreCut()
{
    DeviceRecord cam = device(QStringLiteral("ZR-20"), QString(40, QLatin1Char('N')), QStringLiteral("192.0.2.9"),
                              QStringLiteral("00:1a:2b:3c:4d:5e"));
    access->showDevices({cam});
    selectRow(0);
    const QString user = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
    QCOMPARE(user.size(), 40);
    access->userId()->setText(user);
    access->password()->setText(QString(32, QLatin1Char('p')));
    const QByteArray record = access->settingsRecord(cam);
    QCOMPARE(record.size(), 180);
    QCOMPARE(record.mid(74, 32), QByteArray(32, 'N'));
    QCOMPARE(record.mid(106, 8), QByteArray(8, '\0'));
    QCOMPARE(record.mid(114, 33), user.left(33).toLatin1());
    QCOMPARE(record.mid(147, 33), QByteArray(32, 'p') + QByteArray(1, '\0'));
}

void TestPathmereWindow::applyChecks_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString mac = QStringLiteral("00:1a:2b:3c:4d:5e");
    QTest::newRow("no row") << -1 << mac << "admin" << "pw" << "Setting" << "Select index fail !!";
    QTest::newRow("seven mac parts") << 0 << "00:1a:2b:3c:4d:5e:6f" << "admin" << "pw" << "Setting"
                                     << "macAddress fail !!";
    QTest::newRow("no user, no password") << 0 << mac << "" << "" << "UserID" << "Please input use ID.";
    QTest::newRow("no password") << 0 << mac << "admin" << "" << "UserID" << "Please input password.";
}

void TestPathmereWindow::applyChecks()
{
    QFETCH(int, row);
    QFETCH(QString, mac);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, title);
    QFETCH(QString, text);
    access->showDevices({device(QStringLiteral("ZR-20"), QStringLiteral("Hall"), QStringLiteral("192.0.2.9"), mac)});
    if (row >= 0)
        selectRow(row);
    access->userId()->setText(user);
    access->password()->setText(password);
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().first, title);
    QCOMPARE(messages.first().second, text);
    // Nothing started: no setting, buttons as they were.
    QCOMPARE(access->settingRow(), -1);
    QVERIFY(access->applyButton()->isEnabled());
    QVERIFY(access->searchButton()->isEnabled());
    QCOMPARE(access->cell(0, 1), QStringLiteral("Working"));
}

void TestPathmereWindow::applyRefusesWhatWouldBreakTheCamera_data()
{
    QTest::addColumn<QString>("field");   // ip, mask, gateway, dns1
    QTest::addColumn<QString>("texts");   // the four numbers' texts, '|'-separated
    QTest::addColumn<QString>("text");    // the box's text
    const QString nothing = QStringLiteral(" Nothing was sent.");
    QTest::newRow("empty address field") << "ip" << "192|0||30"
        << "IP Address has an empty field: every one of its four numbers must be filled in." + nothing;
    QTest::newRow("empty address") << "ip" << "|||"
        << "IP Address has an empty field: every one of its four numbers must be filled in." + nothing;
    QTest::newRow("empty mask field") << "mask" << "255|255|255|"
        << "Mask has an empty field: every one of its four numbers must be filled in." + nothing;
    QTest::newRow("half a gateway") << "gateway" << "192|0|2|"
        << "Gateway has an empty field: every one of its four numbers must be filled in." + nothing;
    QTest::newRow("half a DNS server") << "dns1" << "|51|100|53"
        << "Primary DNS has an empty field: every one of its four numbers must be filled in." + nothing;
    QTest::newRow("mask with a hole") << "mask" << "255|0|255|0"
        << "Mask 255.0.255.0 is not a contiguous subnet mask (its one bits must come first, as in 255.255.255.0)." + nothing;
    QTest::newRow("broadcast") << "ip" << "192|0|2|255"
        << "IP Address 192.0.2.255 is the broadcast address of 192.0.2.0/24." + nothing;
    QTest::newRow("network") << "ip" << "192|0|2|0" << "IP Address 192.0.2.0 is the network address of 192.0.2.0/24." + nothing;
    QTest::newRow("loopback") << "ip" << "127|0|0|1" << "IP Address 127.0.0.1 is a loopback address (127.0.0.0/8)." + nothing;
    QTest::newRow("gateway elsewhere") << "gateway" << "198|51|100|1"
        << "Gateway 198.51.100.1 is outside the planned subnet 192.0.2.0/24." + nothing;
    QTest::newRow("another camera's") << "ip" << "192|0|2|10"
        << "IP Address 192.0.2.10 is held by another device of the search (MAC 00:1a:2b:00:00:0a, AX-10 \"Lobby\")." + nothing;
}

void TestPathmereWindow::applyRefusesWhatWouldBreakTheCamera()
{
    QFETCH(QString, field);
    QFETCH(QString, texts);
    QFETCH(QString, text);
    access->showDevices(threeCameras());
    selectRow(0);
    fillCredentials();
    IPCtrl *const ctrl = field == QLatin1String("ip") ? access->ipField()
        : field == QLatin1String("mask")             ? access->maskField()
        : field == QLatin1String("gateway")          ? access->gatewayField()
                                                      : access->dns1Field();
    const QStringList parts = texts.split(QLatin1Char('|'));
    for (int i = 0; i < 4; ++i)
        ctrl->field(i)->setText(parts.at(i));
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().first, QStringLiteral("Setting"));
    QCOMPARE(messages.first().second, text);
    // Nothing started: no setting, buttons as they were.
    QCOMPARE(access->settingRow(), -1);
    QVERIFY(access->applyButton()->isEnabled());
    QCOMPARE(access->cell(0, 1), QStringLiteral("Working"));

    // In DHCP mode the form's addresses are not the camera's to take: no box.
    requireIsolation();
    messages.clear();
    QTest::mouseClick(access->dhcp(), Qt::LeftButton);
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QVERIFY(messages.isEmpty());
    QCOMPARE(access->settingRow(), 0);
}

void TestPathmereWindow::applyDisabledForOtherSource()
{
    access->showDevices({device(QStringLiteral("DC-1"), QStringLiteral("Desk"), QStringLiteral("192.0.2.20"),
                                QStringLiteral("00:1a:2b:00:00:20"), DeviceRecord::DocumentCamera),
                         device(QStringLiteral("ZR-20"), QStringLiteral("Hall"), QStringLiteral("192.0.2.9"),
                                QStringLiteral("00:1a:2b:00:00:09"))});
    selectRow(0);
    QVERIFY(!access->applyButton()->isEnabled());
    selectRow(1);
    QVERIFY(access->applyButton()->isEnabled());
    selectRow(0);
    QVERIFY(!access->applyButton()->isEnabled());
}

void TestPathmereWindow::unauthorizedEndsSetting()
{
    requireIsolation();
    access->showDevices(threeCameras());
    selectRow(1);
    fillCredentials();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QVERIFY(messages.isEmpty());
    QCOMPARE(access->cell(1, 1), QStringLiteral("Setting and checking"));
    auto *bar = qobject_cast<QProgressBar *>(access->cellWidget(1, 2));
    QVERIFY(bar);
    QCOMPARE(bar->style()->objectName().toLower(), QStringLiteral("fusion"));
    QVERIFY(!access->applyButton()->isEnabled());
    QVERIFY(!access->searchButton()->isEnabled());
    QTRY_VERIFY(bar->value() >= 10);

    // The camera refuses the login.
    emit SearchManager::getInstance()->emitUtilitySettingFail(UtilitySearch::SettingUnauthorized);
    QTRY_COMPARE(access->cell(1, 1), QStringLiteral("Unauthorized"));
    QCOMPARE(access->cellToolTip(1, 1), QStringLiteral("Unauthorized"));
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(access->applyButton()->isEnabled());
    QVERIFY(access->searchButton()->isEnabled());
    QVERIFY(!access->cellWidget(1, 2));
    QCOMPARE(access->searchProgress(), 0);
    // Nothing else happens afterwards: no new search.
    QTest::qWait(1000);
    QCOMPARE(access->rowCount(), 3);
    QCOMPARE(access->cell(1, 1), QStringLiteral("Unauthorized"));
}

void TestPathmereWindow::settingEndsInNewSearch()
{
    requireIsolation();
    access->showDevices(threeCameras());
    selectRow(2);
    fillCredentials();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    // Another fail case is only remembered.
    emit SearchManager::getInstance()->emitUtilitySettingFail(UtilitySearch::SettingFailCase(2));
    QCOMPARE(access->settingRow(), 2);
    // Header clicks and selections stay inert while the setting runs.
    clickHeader(access->table(), 3);
    QCOMPARE(column(access->table(), 3), QStringList({"ZR-20", "AX-10", "MK-30"}));
    QTRY_VERIFY_WITH_TIMEOUT(access->rowCount() == 0, 7000);
    QVERIFY2(clock.elapsed() >= 4500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(access->settingRow(), -1);
    QVERIFY(!access->searchButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(access->searchButton()->isEnabled(), 7000);
}

void TestPathmereWindow::settingWhoseRowIsGone()
{
    requireIsolation();
    access->showDevices(threeCameras());
    selectRow(2);
    fillCredentials();
    QTest::mouseClick(access->applyButton(), Qt::LeftButton);
    QVERIFY(!access->applyButton()->isEnabled());
    access->replaceDeviceList(threeCameras().mid(0, 1));
    QTRY_VERIFY_WITH_TIMEOUT(access->applyButton()->isEnabled(), 2000);
    QVERIFY(access->searchButton()->isEnabled());
    QCOMPARE(access->searchProgress(), 0);
    QCOMPARE(access->settingRow(), -1);
    // The window works on: header sorting is live again.
    access->showDevices(threeCameras());
    clickHeader(access->table(), 3);
    QCOMPARE(column(access->table(), 3), QStringList({"AX-10", "MK-30", "ZR-20"}));
}

// The table's move of a camera out of reach ends in the window's own Apply:
// the question, then the form with the planned static settings, the form's
// login and the row's setting under way.
void TestPathmereWindow::subnetMoveRunsTheWindowsApply()
{
    requireIsolation();
    window->deviceTable()->setSurveyReader([] {
        AdapterSurvey survey;
        survey.adapters.append(sampleAdapter(QStringLiteral("lan0"), QStringLiteral("192.0.2.1")));
        return survey;
    });
    QList<DeviceRecord> list = threeCameras();
    list.append(device(QStringLiteral("ZR-20"), QStringLiteral("Factory"), QStringLiteral("203.0.113.5"),
                       QStringLiteral("00:1a:2b:00:00:05")));
    access->showDevices(list);
    QAction *move = nullptr;
    for (QAction *action : window->deviceTable()->menuActions()) {
        if (action->text() == QLatin1String("Move into this computer's subnet..."))
            move = action;
    }
    QVERIFY(move);
    selectRow(0);
    QVERIFY(!move->isEnabled());
    selectRow(3);
    QVERIFY(move->isEnabled());
    fillCredentials();
    UserMessage::setQuestionAnswer(true);
    move->trigger();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().second,
             QStringLiteral("Give 00:1a:2b:00:00:05 the address 192.0.2.3 in lan0's subnet 192.0.2.0/24?"));
    QVERIFY(access->staticIp()->isChecked());
    QCOMPARE(UtilityProtocol::ipv4ToText(window->settingsForm()->settings().ip), QStringLiteral("192.0.2.3"));
    QCOMPARE(UtilityProtocol::ipv4ToText(window->settingsForm()->settings().mask), QStringLiteral("255.255.255.0"));
    QVERIFY(access->gatewayField()->isBlank());
    QCOMPARE(access->cell(3, 1), QStringLiteral("Setting and checking"));
    QVERIFY(!access->applyButton()->isEnabled());
    // A setting runs: no second move until it is over.
    emit window->deviceTable()->contextMenuRequested();
    QVERIFY(!move->isEnabled());
}

void TestPathmereWindow::closeHidesAndTrayShows()
{
    QVERIFY(window->isVisible());
    QVERIFY(!window->close());
    QVERIFY(!window->isVisible());
    // A single click and a middle click on the icon do nothing.
    access->iconActive(QSystemTrayIcon::Trigger);
    access->iconActive(QSystemTrayIcon::MiddleClick);
    QVERIFY(!window->isVisible());
    access->iconActive(QSystemTrayIcon::DoubleClick);
    QVERIFY(window->isVisible());
    // The menu's first entry shows it as well.
    window->close();
    QVERIFY(!window->isVisible());
    access->trayMenu()->actions().at(0)->trigger();
    QVERIFY(window->isVisible());
    // Escape reaches the window and does nothing.
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(window->isVisible());
}

void TestPathmereWindow::closeMinimisesOnceTrayIsGone()
{
    // The tray host went away after the icon was made: hiding now would
    // leave no way back.
    trayAvailable = false;
    const bool closed = window->close();
    trayAvailable = true;
    QVERIFY(!closed);
    QVERIFY(window->isVisible());
    QVERIFY(window->isMinimized());
    // Back in a tray, closing hides as before.
    window->showNormal();
    QVERIFY(!window->close());
    QVERIFY(!window->isVisible());
}

void TestPathmereWindow::trayMenuEntries()
{
    QMenu *menu = access->trayMenu();
    QCOMPARE(menu->objectName(), QStringLiteral("trayMenu"));
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("Pathmere"));
    QCOMPARE(actions.at(1)->text(), QStringLiteral("Launch on startup"));
    QVERIFY(actions.at(1)->isCheckable());
    QVERIFY(actions.at(2)->isSeparator());
    QCOMPARE(actions.at(3)->text(), QStringLiteral("Exit"));
    QCOMPARE(window->contextMenuPolicy(), Qt::CustomContextMenu);
}

void TestPathmereWindow::checkMarkFollowsAutostartEntry()
{
    const AutostartEntry entry;
    QVERIFY(entry.filePath().startsWith(home.path()));
    entry.remove();
    access->menuAboutToShow();
    QVERIFY(!access->autostartAction()->isChecked());

    QVERIFY(entry.write(QStringLiteral("/opt/pathmere/Pathmere")));
    access->menuAboutToShow();
    QVERIFY(access->autostartAction()->isChecked());

    QFile file(entry.filePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    access->menuAboutToShow();
    QVERIFY(!access->autostartAction()->isChecked());

    QVERIFY(entry.remove());
    access->menuAboutToShow();
    QVERIFY(!access->autostartAction()->isChecked());
}

void TestPathmereWindow::toggleStartsHallbridge()
{
    if (!QFileInfo(AutostartEntry::helperProgram()).isExecutable())
        QSKIP("Hallbridge is not built beside the test");
    const AutostartEntry entry;
    entry.remove();
    access->menuAboutToShow();
    QVERIFY(!access->autostartAction()->isChecked());

    // Toggling on: the helper runs with "1" and writes the entry.
    access->autostartAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(entry.filePath()), 5000);
    QTRY_VERIFY(entry.isEnabled());
    access->menuAboutToShow();
    QVERIFY(access->autostartAction()->isChecked());
    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {entry.filePath()});
    if (validate.waitForFinished(10000)) {
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());
    } else {
        qWarning("desktop-file-validate is not available; entry not validated");
    }

    // Toggling off: the helper runs with "0" and removes it.
    access->autostartAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(entry.filePath()), 5000);
    access->menuAboutToShow();
    QVERIFY(!access->autostartAction()->isChecked());
}

void TestPathmereWindow::aboutDialogIsReused()
{
    AboutDlg *dialog = access->aboutDialog();
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());
    QTest::mouseClick(access->aboutButton(), Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    dialog->close();
    QVERIFY(!dialog->isVisible());
    QTest::mouseClick(access->aboutButton(), Qt::LeftButton);
    QCOMPARE(access->aboutDialog(), dialog);
    QVERIFY(dialog->isVisible());
    dialog->hide();
}

int main(int argc, char **argv)
{
    // Before any thread exists: a namespace of our own for the searches.
    PrivateNetwork::enter();
    QApplication app(argc, argv);
    TestPathmereWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pathmerewindow.moc"
