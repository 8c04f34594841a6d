#include "pathmere.h"

#include "aboutdlg.h"
#include "applog.h"
#include "autostartentry.h"
#include "core.h"
#include "dpiscaler.h"
#include "searchmanager.h"
#include "singleinstance.h"
#include "downloadmanager.h"
#include "updatecoordinator.h"
#include "updatepaths.h"
#include "usermessage.h"
#include "utilityprotocol.h"
#include "webanalytic.h"
#include "websocketclientwrapper.h"
#include "websockettransport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDesktopWidget>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSharedMemory>
#include <QShortcut>
#include <QStyleFactory>
#include <QUrl>
#include <QWebChannel>
#include <QWebSocketServer>

#include <algorithm>
#include <cstdint>

namespace {

enum Column {
    ColumnNo,
    ColumnStatus,
    ColumnProgress,
    ColumnModel,
    ColumnName,
    ColumnFwVersion,
    ColumnIpv4,
    ColumnMac,
    ColumnIpv6,
    ColumnCount
};

const int columnWidths[ColumnCount] = {40, 80, 100, 120, 120, 120, 120, 140, 140};

constexpr int progressInterval = 100; // ms per tick; 50 ticks of 2 %
constexpr int progressStep = 2;
constexpr int progressFull = 100;

const QString &sortKey(const DeviceRecord &device, int column)
{
    switch (column) {
    case ColumnModel: return device.model;
    case ColumnName: return device.name;
    case ColumnFwVersion: return device.fwVersion;
    case ColumnIpv4: return device.ip;
    case ColumnMac: return device.mac;
    default: return device.ipv6;
    }
}

void setFieldFromText(IPCtrl *field, const QString &text)
{
    if (!text.isEmpty())
        field->setAddress(UtilityProtocol::ipv4FromText(text));
}

} // namespace

Pathmere::Pathmere(QWidget *parent)
    : QWidget(parent)
    , sharedMemoryKey(SingleInstance::sessionKey())
{
    Q_INIT_RESOURCE(pathmere);

    // setupUi also connects slots by object name; no slot here follows that
    // naming, so everything below is wired explicitly.
    setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/Pathmere.png")));

    auto *crashShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::SHIFT + Qt::Key_C), this);
    crashShortcut->setContext(Qt::WindowShortcut);
    connect(crashShortcut, &QShortcut::activated, this, &Pathmere::doCrash);

    searchManager = SearchManager::getInstance();
    connect(searchManager, &SearchManager::emitUtilitySettingFail, this, &Pathmere::utilitySettingFail);
    connect(searchManager, &SearchManager::emitNetInterfaceChanged, this, &Pathmere::netInterfaceChanged);
    connect(searchManager, &SearchManager::emitViscaStatus, this, &Pathmere::receiveViscaState);
    searchManager->setSearchTypes(1);

    setUpTray();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->geometry();
        appLog(LogSystem::LogMajorMsg, "Screen size %dx%d", geometry.width(), geometry.height());
    }

    scaleToDesktop();

    adapterList = searchManager->getNetworkAdapters();
    fillAdapterChooser();

    searchTable->clearContents();
    searchTable->setRowCount(0);
    const DpiScaler scaler(dpiScale);
    for (int column = 0; column < ColumnCount; ++column)
        searchTable->setColumnWidth(column, scaler.scaled(columnWidths[column]));

    connect(searchTable, &QTableWidget::itemSelectionChanged, this, &Pathmere::searchSelected);
    connect(searchTable, &QTableWidget::itemDoubleClicked, this, &Pathmere::handleItemDoubleClicked);
    connect(searchTable->horizontalHeader(), &QHeaderView::sectionClicked, this, &Pathmere::onheaderclicked);
    connect(btnSearch, &QPushButton::clicked, this, &Pathmere::startSearch);
    connect(radioDHCP, &QRadioButton::clicked, this, &Pathmere::clickDHCP);
    connect(radioStaticIP, &QRadioButton::clicked, this, &Pathmere::clickStaticIP);
    connect(btnApply, &QPushButton::clicked, this, &Pathmere::clickApply);

    searchProgress = 0;
    progressTimer = new QTimer(this);
    progressTimer->setInterval(progressInterval);
    progressTimer->setSingleShot(true);
    connect(progressTimer, &QTimer::timeout, this, &Pathmere::updateProgress);
    progressBar->setValue(0);

    sharedMemoryTimer.setInterval(sharedMemoryPollMs);
    sharedMemoryTimer.setSingleShot(false);
    connect(&sharedMemoryTimer, &QTimer::timeout, this, &Pathmere::checkSharedMemory);
    sharedMemoryTimer.start();

    fusionStyle = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusionStyle)
        fusionStyle->setParent(this);

    settingTimer = new QTimer(this);
    settingTimer->setInterval(progressInterval);
    settingTimer->setSingleShot(true);
    connect(settingTimer, &QTimer::timeout, this, &Pathmere::updateTPgbar);

    setUpWebBridge();

    aboutDlg = new AboutDlg(nullptr, dpiScale);
    connect(btnAbout, &QPushButton::clicked, this, &Pathmere::showAbout);
    connect(aboutDlg, &AboutDlg::checkUpdate, this, &Pathmere::checkSWUpdate);
    aboutDlg->hide();

    sortToggle = 0;

    updateCoordinator = new UpdateCoordinator(this, aboutDlg, webAnalytic, UpdatePaths::builtInPublicKey(), this);
    const DownloadManager *downloads = updateCoordinator->downloadManager();
    connect(downloads, &DownloadManager::versionUpdate, this, &Pathmere::getCurServerVersion);
    connect(downloads, &DownloadManager::sendToWebIsNeedDownload, this, &Pathmere::sendToWebIsNeedDownload);
    connect(downloads, &DownloadManager::prepareUpdateFail, this, &Pathmere::connectServerFail);
    connect(downloads, &DownloadManager::ready4Update, this, &Pathmere::ready4Update);
    connect(updateCoordinator, &UpdateCoordinator::quitRequested, this, &Pathmere::closeProgram);

    firstShowPending = true;
    settingRow = -1;
}

Pathmere::~Pathmere()
{
    progressTimer->stop();
    settingTimer->stop();
    // The menu's parent is the desktop widget, which outlives the window.
    if (trayMenu)
        disconnect(trayMenu, nullptr, this, nullptr);
    delete trayMenu;
    delete aboutDlg;
    // The channel first, so it forgets the transports before the server
    // takes their sockets away; then the port is free for a later window.
    delete webChannel;
    delete webCore;
    if (webSocketServer)
        webSocketServer->close();
    delete clientWrapper;
    delete webSocketServer;
    delete webAnalytic;
    SearchManager::releaseInstance();
}

void Pathmere::setUpWebBridge()
{
    webAnalytic = new WebAnalytic;
    connect(webAnalytic, &WebAnalytic::UpdateDeviceList, this, &Pathmere::UpdateDeviceListFromWeb);
    connect(webAnalytic, &WebAnalytic::setDevicePowerStatus, this, &Pathmere::setPowerStatusFromWeb);
    connect(webAnalytic, &WebAnalytic::checkViscaStatus, this, &Pathmere::checkViscaStatusFromWeb);
    connect(webAnalytic, &WebAnalytic::checkVersion, this, &Pathmere::checkVersionFromWeb);

    webSocketServer = new QWebSocketServer(QStringLiteral("QWebChannel Standalone Example Server"),
                                           QWebSocketServer::NonSecureMode);
    if (!webSocketServer->listen(QHostAddress::LocalHost, 15248)) {
        appLog(LogSystem::LogMajorMsg, "Web socket server: %s", qPrintable(webSocketServer->errorString()));
        qFatal("Failed to open web socket server.");
    }

    clientWrapper = new WebSocketClientWrapper(webSocketServer);
    webChannel = new QWebChannel;
    connect(clientWrapper, &WebSocketClientWrapper::clientConnected, webChannel, &QWebChannel::connectTo);

    webCore = new Core(webAnalytic);
    connect(webAnalytic, &WebAnalytic::sendText, webCore, &Core::sendText);
    webChannel->registerObject(QStringLiteral("core"), webCore);
}

void Pathmere::setStartHidden(bool hidden)
{
    if (hidden) {
        setMonitoring(false);
        return;
    }
    setMonitoring(true);
    prepareShowing();
}

void Pathmere::setMonitoring(bool on)
{
    searchManager->setMonitoring(on);
}

void Pathmere::prepareShowing()
{
    const bool firstShowing = firstShowPending;
    firstShowPending = false;
    updateCoordinator->windowShown(firstShowing);
}

void Pathmere::keyPressEvent(QKeyEvent *event)
{
    // Keys that reach the window itself do nothing (Escape must not close it).
    event->accept();
}

void Pathmere::closeEvent(QCloseEvent *event)
{
    setMonitoring(false);
    event->ignore();
    hide();
}

void Pathmere::setUpTray()
{
    actionShow = new QAction(tr("Pathmere"), this);
    actionAutoStart = new QAction(tr("Launch on startup"), this);
    actionAutoStart->setCheckable(true);
    actionAutoStart->setChecked(autostartEnabled());
    actionExit = new QAction(tr("Exit"), this);
    connect(actionShow, &QAction::triggered, this, &Pathmere::dlgShowNormal);
    connect(actionExit, &QAction::triggered, this, &Pathmere::closeProgram);
    connect(actionAutoStart, &QAction::triggered, this, &Pathmere::getCheckStatus);

    trayMenu = new QMenu(QApplication::desktop());
    trayMenu->setObjectName(QStringLiteral("trayMenu"));
    trayMenu->addAction(actionShow);
    trayMenu->addAction(actionAutoStart);
    trayMenu->addSeparator();
    trayMenu->addAction(actionExit);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(trayMenu, &QMenu::aboutToShow, this, &Pathmere::menuAboutToShow);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        trayIcon = new QSystemTrayIcon(this);
        trayIcon->setIcon(QIcon(QStringLiteral(":/resource/sys_tray.png")));
        trayIcon->setToolTip(QStringLiteral("Pathmere"));
        trayIcon->setContextMenu(trayMenu);
        trayIcon->setVisible(true);
        connect(trayIcon, &QSystemTrayIcon::activated, this, &Pathmere::iconActive);
    }
}

void Pathmere::scaleToDesktop()
{
    dpiScale = DpiScaler::desktopScale();
    const DpiScaler scaler(dpiScale);
    setFixedSize(scaler.scaled(QSize(891, 664)));
    scaler.scaleChildren(this);
}

void Pathmere::fillAdapterChooser()
{
    DeviceSelect->clear();
    for (const NetworkAdapterEntry &adapter : qAsConst(adapterList))
        DeviceSelect->addItem(adapter.description);
    DeviceSelect->setCurrentIndex(0);
}

bool Pathmere::autostartEnabled() const
{
    return AutostartEntry().isEnabled();
}

// ---------------------------------------------------------------------------
// Tray, showing and hiding

void Pathmere::dlgShowNormal()
{
    setMonitoring(true);
    showNormal();
    prepareShowing();
}

void Pathmere::iconActive(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        dlgShowNormal();
}

void Pathmere::closeProgram()
{
    if (trayIcon)
        trayIcon->hide();
    QCoreApplication::quit();
}

void Pathmere::getCheckStatus(bool)
{
    // The action's state decides, not the signal's argument.
    AutostartEntry::startHelper(actionAutoStart->isChecked());
}

void Pathmere::menuAboutToShow()
{
    if (trayMenu)
        actionAutoStart->setChecked(autostartEnabled());
}

void Pathmere::checkSharedMemory()
{
    QSharedMemory segment(sharedMemoryKey);
    if (!segment.attach(QSharedMemory::ReadWrite))
        return;

    const QByteArray command = SingleInstance::takeCommand(segment);
    bool quit = false;
    if (command == SingleInstance::showCommand()) {
        setMonitoring(true);
        show();
    } else if (command == SingleInstance::closeCommand()) {
        quit = true;
    }

    if (quit) {
        if (trayIcon)
            trayIcon->hide();
        QCoreApplication::quit();
    }
    segment.detach();
}

void Pathmere::showAbout()
{
    aboutDlg->show();
}

void Pathmere::doCrash()
{
    appLog(LogSystem::LogMajorMsg, "doCrash.");
    // A real invalid write, so the whole path (signal, crash decision,
    // restart or dialog) runs as it would for a genuine fault. The address is
    // hidden from the optimiser and is not null, so neither the compiler nor
    // the undefined-behaviour checks replace the fault by something else.
    volatile std::uintptr_t address = 0x10;
    *reinterpret_cast<volatile int *>(address) = 0;
}

void Pathmere::checkSWUpdate()
{
    updateCoordinator->checkSWUpdate();
}

void Pathmere::getCurServerVersion(bool needDownload)
{
    updateCoordinator->getCurServerVersion(needDownload);
}

void Pathmere::sendToWebIsNeedDownload(bool needDownload, QString version)
{
    updateCoordinator->sendToWebIsNeedDownload(needDownload, version);
}

void Pathmere::connectServerFail(int reason)
{
    updateCoordinator->connectServerFail(reason);
}

void Pathmere::ready4Update()
{
    updateCoordinator->ready4Update();
}

// ---------------------------------------------------------------------------
// Device table and search

bool Pathmere::busy() const
{
    // searchProgress alone reads 0 during the first tick of a search or a
    // setting; a header click there would re-sort the old list under the
    // running setting's row, so a running timer counts as well.
    return searchProgress != 0 || progressTimer->isActive() || settingTimer->isActive();
}

void Pathmere::startSearch()
{
    searchTable->setRowCount(0);
    clearForm();

    const int index = DeviceSelect->currentIndex();
    const QString address = (index >= 0 && index < adapterList.size()) ? adapterList.at(index).address : QString();
    appLog(LogSystem::LogMajorMsg, "start search %s", address.toLatin1().constData());
    searchManager->startSearch(address);

    settingRow = -1;
    searchProgress = 0;
    progressBar->setValue(0);
    progressTimer->start();
    btnSearch->setEnabled(false);
    btnApply->setEnabled(false);
}

void Pathmere::clearForm()
{
    frameIPAddress->clearAddress();
    frameMask->clearAddress();
    frameGateway->clearAddress();
    framePDNS->clearAddress();
    frameSDNS->clearAddress();
    EditDeviceName->setText(QString());
    EditUserID->setText(QString());
    EditPassword->setText(QString());
    // Both unchecked at once needs the exclusive group switched off meanwhile.
    radioDHCP->setAutoExclusive(false);
    radioStaticIP->setAutoExclusive(false);
    radioDHCP->setChecked(false);
    radioStaticIP->setChecked(false);
    radioDHCP->setAutoExclusive(true);
    radioStaticIP->setAutoExclusive(true);
}

void Pathmere::updateProgress()
{
    searchProgress += progressStep;
    progressBar->setValue(searchProgress);
    if (searchProgress >= progressFull) {
        searchProgress = 0;
        refreshDeviceList();
        btnApply->setEnabled(true);
        btnSearch->setEnabled(true);
        return;
    }
    progressTimer->start();
}

void Pathmere::refreshDeviceList()
{
    appLog(LogSystem::LogMajorMsg, "Pathmere update search list.");
    deviceList = searchManager->getDeviceList();
    fillRows();
}

void Pathmere::fillRows()
{
    const int rows = deviceList.size();
    // One repaint for the whole list instead of one per cell.
    searchTable->setUpdatesEnabled(false);
    searchTable->setRowCount(rows);
    const QString working = tr("Working");
    for (int row = 0; row < rows; ++row) {
        const DeviceRecord &device = deviceList.at(row);
        const QString texts[ColumnCount] = {
            QString::number(row + 1), working, QString(),
            device.model, device.name, device.fwVersion,
            device.ip, device.mac, device.ipv6,
        };
        for (int column = 0; column < ColumnCount; ++column)
            searchTable->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    searchTable->setUpdatesEnabled(true);
}

void Pathmere::onheaderclicked(int index)
{
    if (index < ColumnModel || index >= ColumnCount)
        return;
    if (busy())
        return;

    const bool ascending = (sortToggle == 0);
    sortToggle = ascending ? 1 : 0;
    std::sort(deviceList.begin(), deviceList.end(),
              [index, ascending](const DeviceRecord &a, const DeviceRecord &b) {
                  return ascending ? sortKey(a, index) < sortKey(b, index)
                                   : sortKey(b, index) < sortKey(a, index);
              });
    updateSortList();

    const int row = searchTable->currentRow();
    if (row >= 0 && row < deviceList.size())
        fillSettingsForm(deviceList.at(row));
}

void Pathmere::updateSortList()
{
    appLog(LogSystem::LogMajorMsg, "Pathmere update sort list.");
    fillRows();
}

void Pathmere::searchSelected()
{
    if (busy())
        return;
    const int row = searchTable->currentRow();
    if (row >= 0 && row < deviceList.size())
        fillSettingsForm(deviceList.at(row));
}

void Pathmere::handleItemDoubleClicked(QTableWidgetItem *)
{
    if (busy())
        return;
    const int row = searchTable->currentRow();
    if (row >= 0 && row < deviceList.size())
        QDesktopServices::openUrl(QUrl(QStringLiteral("http://%1").arg(deviceList.at(row).ip)));
}

void Pathmere::netInterfaceChanged()
{
    appLog(LogSystem::LogMajorMsg, "Net interface changed.");
    // Refilling the chooser closes an open list; note it before.
    const QAbstractItemView *const popup = DeviceSelect->view();
    const bool listOpen = popup && popup->isVisible();
    adapterList = searchManager->getNetworkAdapters();
    fillAdapterChooser();
    if (listOpen) {
        // Reopen so that the open list shows the new entries at their size.
        DeviceSelect->hidePopup();
        DeviceSelect->showPopup();
    }
}

// ---------------------------------------------------------------------------
// Settings form and Apply

void Pathmere::fillSettingsForm(const DeviceRecord &device)
{
    EditDeviceName->setText(device.name);
    radioDHCP->setChecked(device.dhcp);
    radioStaticIP->setChecked(!device.dhcp);
    setAddressFieldsEnabled(!device.dhcp);

    frameIPAddress->clearAddress();
    frameMask->clearAddress();
    frameGateway->clearAddress();
    framePDNS->clearAddress();
    frameSDNS->clearAddress();
    setFieldFromText(frameIPAddress, device.ip);
    setFieldFromText(frameMask, device.mask);
    setFieldFromText(frameGateway, device.gateway);
    setFieldFromText(framePDNS, device.dns1);
    setFieldFromText(frameSDNS, device.dns2);

    btnApply->setEnabled(device.searchType == DeviceRecord::BroadcastSearch);
}

void Pathmere::setAddressFieldsEnabled(bool enabled)
{
    frameIPAddress->setEnabled(enabled);
    frameMask->setEnabled(enabled);
    frameGateway->setEnabled(enabled);
    framePDNS->setEnabled(enabled);
    frameSDNS->setEnabled(enabled);
}

void Pathmere::clickDHCP()
{
    setAddressFieldsEnabled(false);
}

void Pathmere::clickStaticIP()
{
    setAddressFieldsEnabled(true);
}

QByteArray Pathmere::settingsRecord(const DeviceRecord &device) const
{
    UtilityProtocol::Settings settings;
    settings.dhcp = radioDHCP->isChecked();
    settings.ip = frameIPAddress->getAddress();
    UtilityProtocol::macFromText(device.mac, &settings.mac);
    settings.mask = frameMask->getAddress();
    settings.gateway = frameGateway->getAddress();
    settings.dns1 = framePDNS->getAddress();
    settings.dns2 = frameSDNS->getAddress();
    settings.name = EditDeviceName->text();
    settings.userId = EditUserID->text();
    settings.password = EditPassword->text();
    return UtilityProtocol::buildSettingsRecord(settings);
}

void Pathmere::clickApply()
{
    const int row = searchTable->currentRow();
    if (row < 0 || row >= deviceList.size()) {
        UserMessage::information(QStringLiteral("Setting"), QStringLiteral("Select index fail !!"));
        return;
    }
    const DeviceRecord &device = deviceList.at(row);
    UtilityProtocol::MacBytes mac{};
    if (!UtilityProtocol::macFromText(device.mac, &mac)) {
        UserMessage::information(QStringLiteral("Setting"), QStringLiteral("macAddress fail !!"));
        return;
    }
    if (EditUserID->text().isEmpty()) {
        UserMessage::information(QStringLiteral("UserID"), QStringLiteral("Please input use ID."));
        return;
    }
    if (EditPassword->text().isEmpty()) {
        UserMessage::information(QStringLiteral("UserID"), QStringLiteral("Please input password."));
        return;
    }

    searchManager->sendSetting(settingsRecord(device));

    searchTable->setItem(row, ColumnStatus, new QTableWidgetItem(tr("Setting and checking")));
    setAddressFieldsEnabled(true);
    settingFailCase = 0;
    searchProgress = 0;

    if (searchTable->cellWidget(row, ColumnProgress))
        searchTable->removeCellWidget(row, ColumnProgress);
    auto *bar = new QProgressBar;
    if (fusionStyle)
        bar->setStyle(fusionStyle);
    bar->setRange(0, 100);
    bar->setValue(0);
    searchTable->setCellWidget(row, ColumnProgress, bar);
    bar->show();

    settingRow = row;
    settingTimer->start();
    btnApply->setEnabled(false);
    btnSearch->setEnabled(false);
}

void Pathmere::utilitySettingFail(int failCase)
{
    appLog(LogSystem::LogMajorMsg, "utility setting fail:%d", failCase);
    settingFailCase = failCase;
}

void Pathmere::updateTPgbar()
{
    const int row = settingRow;
    if (row < 0 || row >= deviceList.size()) {
        // The device list was replaced under the running setting and its row
        // is gone: end the setting instead of leaving both buttons disabled.
        appLog(LogSystem::LogMajorMsg, "setting row %d is gone, setting ended.", row);
        if (row >= 0 && row < searchTable->rowCount())
            searchTable->removeCellWidget(row, ColumnProgress);
        searchProgress = 0;
        settingRow = -1;
        btnApply->setEnabled(true);
        btnSearch->setEnabled(true);
        return;
    }

    searchProgress += progressStep;
    if (auto *bar = qobject_cast<QProgressBar *>(searchTable->cellWidget(row, ColumnProgress)))
        bar->setValue(searchProgress);

    if (searchProgress < progressFull) {
        if (settingFailCase == 1) {
            endSetting(row, tr("Unauthorized"));
            return;
        }
        settingTimer->start();
        return;
    }

    searchTable->clearContents();
    startSearch();
}

void Pathmere::endSetting(int row, const QString &status)
{
    searchTable->setItem(row, ColumnStatus, new QTableWidgetItem(status));
    btnApply->setEnabled(true);
    btnSearch->setEnabled(true);
    searchProgress = 0;
    searchTable->removeCellWidget(row, ColumnProgress);
}

void Pathmere::UpdateDeviceListFromWeb()
{
    appLog(LogSystem::LogMajorMsg, "Update device list from web.");
    // The page's search leaves the table, the progress bar and the buttons
    // alone; the page gets whatever the coordinator holds six seconds later
    // (a precise timer: a coarse one may fire 5 % early).
    searchManager->refreshAddresses();
    searchManager->startSearch(QString());
    QTimer::singleShot(6000, Qt::PreciseTimer, this, &Pathmere::sendDeviceListToWeb);
}

void Pathmere::sendDeviceListToWeb()
{
    // The window's own list stays as it is: its rows are what the table
    // shows, and a row must keep naming the camera Apply writes to.
    const QList<DeviceRecord> webList = searchManager->getDeviceList();
    appLog(LogSystem::LogMajorMsg, "Send device list to web.(%d)", webList.size());
    webAnalytic->replyDeviceList(webList);
}

void Pathmere::setPowerStatusFromWeb(QString ip, QString mac, int status)
{
    appLog(LogSystem::LogMajorMsg, "set power status from web(ip=%s, mac=%s, status=%d)",
           ip.toLatin1().constData(), mac.toLatin1().constData(), status);
    if (status == 0) {
        webAnalytic->sendErrorMessage(WebAnalytic::NotSupportPowerOff);
        return;
    }
    // Accepted requests are answered later, through receiveViscaState.
    if (searchManager->setPowerOn(ip, mac) != 0)
        webAnalytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
}

void Pathmere::checkViscaStatusFromWeb()
{
    appLog(LogSystem::LogMajorMsg, "Check visca status from web.");
    if (searchManager->openViscaSockets() == 0)
        webAnalytic->sendStatusMessage(WebAnalytic::ViscaBindSuccess);
    else
        webAnalytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
}

void Pathmere::receiveViscaState(int status)
{
    appLog(LogSystem::LogMajorMsg, "Pathmere receive visca stats:%d", status);
    if (status == 0)
        webAnalytic->sendErrorMessage(WebAnalytic::WolPowerAlreadyOn);
    else if (status == 5)
        webAnalytic->sendStatusMessage(WebAnalytic::ViscaSendCmdCompleted);
}

void Pathmere::checkVersionFromWeb()
{
    updateCoordinator->checkVersionFromWeb();
}
