#include "pathmere.h"

#include "aboutdlg.h"
#include "adapterchooser.h"
#include "applog.h"
#include "devicetable.h"
#include "downloadmanager.h"
#include "dpiscaler.h"
#include "searchmanager.h"
#include "searchprogress.h"
#include "segmentpoll.h"
#include "settingsform.h"
#include "singleinstance.h"
#include "traymenu.h"
#include "updatecoordinator.h"
#include "updatepaths.h"
#include "usermessage.h"
#include "webanalytic.h"
#include "webbridgehost.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <cstdint>

Pathmere::Pathmere(QWidget *parent)
    : QWidget(parent)
{
    Q_INIT_RESOURCE(pathmere);

    // setupUi also connects slots by object name; no slot here follows that
    // naming, so everything below is wired explicitly.
    setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/Pathmere.png")));

    auto *crashShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::SHIFT + Qt::Key_C), this);
    crashShortcut->setContext(Qt::WindowShortcut);
    connect(crashShortcut, &QShortcut::activated, this, &Pathmere::doCrash);
    // With a tray, its "Exit" is the way out; without one, this is.
    auto *quitShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q), this);
    quitShortcut->setContext(Qt::WindowShortcut);
    connect(quitShortcut, &QShortcut::activated, this, [this] {
        if (!trayMenu->hasTray())
            closeProgram();
    });

    searchManager = SearchManager::getInstance();
    connect(searchManager, &SearchManager::emitUtilitySettingFail, this, &Pathmere::utilitySettingFail);
    connect(searchManager, &SearchManager::emitNetInterfaceChanged, this, &Pathmere::netInterfaceChanged);
    connect(searchManager, &SearchManager::emitViscaStatus, this, &Pathmere::receiveViscaState);
    searchManager->setSearchTypes(SearchManager::UtilitySearchBit);

    trayMenu = new TrayMenu(this);
    connect(trayMenu, &TrayMenu::showRequested, this, &Pathmere::dlgShowNormal);
    connect(trayMenu, &TrayMenu::exitRequested, this, &Pathmere::closeProgram);
    connect(trayMenu, &TrayMenu::autostartToggled, this, &Pathmere::getCheckStatus);
    connect(trayMenu, &TrayMenu::aboutToShow, this, &Pathmere::menuAboutToShow);
    connect(trayMenu, &TrayMenu::activated, this, &Pathmere::iconActive);
    setContextMenuPolicy(Qt::CustomContextMenu);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->geometry();
        appLog(LogSystem::LogMajorMsg, "Screen size %dx%d", geometry.width(), geometry.height());
    }

    dpiScale = DpiScaler::desktopScale();
    const DpiScaler scaler(dpiScale);
    setFixedSize(scaler.scaled(QSize(891, 664)));
    scaler.scaleChildren(this);

    adapters = new AdapterChooser(DeviceSelect, this);
    adapters->setAdapters(searchManager->getNetworkAdapters());

    table = new DeviceTable(searchTable, dpiScale, this);
    form = new SettingsForm({EditDeviceName, EditUserID, EditPassword, radioDHCP, radioStaticIP,
                             frameIPAddress, frameMask, frameGateway, framePDNS, frameSDNS}, this);
    connect(searchTable, &QTableWidget::itemSelectionChanged, this, &Pathmere::searchSelected);
    connect(searchTable, &QTableWidget::itemDoubleClicked, this, &Pathmere::handleItemDoubleClicked);
    connect(searchTable->horizontalHeader(), &QHeaderView::sectionClicked, this, &Pathmere::onheaderclicked);
    connect(btnSearch, &QPushButton::clicked, this, &Pathmere::startSearch);
    connect(radioDHCP, &QRadioButton::clicked, this, &Pathmere::clickDHCP);
    connect(radioStaticIP, &QRadioButton::clicked, this, &Pathmere::clickStaticIP);
    connect(btnApply, &QPushButton::clicked, this, &Pathmere::clickApply);

    progress = new SearchProgress(progressBar, table, this);
    connect(progress, &SearchProgress::searchTick, this, &Pathmere::updateProgress);
    connect(progress, &SearchProgress::settingTick, this, &Pathmere::updateTPgbar);

    segmentPoll = new SegmentPoll(SingleInstance::sessionKey(), this);
    connect(segmentPoll, &SegmentPoll::due, this, &Pathmere::checkSharedMemory);

    web = new WebBridgeHost(searchManager, this);
    const WebAnalytic *analytic = web->analytic();
    connect(analytic, &WebAnalytic::UpdateDeviceList, this, &Pathmere::UpdateDeviceListFromWeb);
    connect(analytic, &WebAnalytic::setDevicePowerStatus, this, &Pathmere::setPowerStatusFromWeb);
    connect(analytic, &WebAnalytic::checkViscaStatus, this, &Pathmere::checkViscaStatusFromWeb);
    connect(analytic, &WebAnalytic::checkVersion, this, &Pathmere::checkVersionFromWeb);
    connect(web, &WebBridgeHost::deviceListDue, this, &Pathmere::sendDeviceListToWeb);

    // The About dialog is built when first shown (aboutDialog()).
    connect(btnAbout, &QPushButton::clicked, this, &Pathmere::showAbout);

    updateCoordinator = new UpdateCoordinator(this, nullptr, web->analytic(), UpdatePaths::builtInPublicKey(), this);
    const DownloadManager *downloads = updateCoordinator->downloadManager();
    connect(downloads, &DownloadManager::versionUpdate, this, &Pathmere::getCurServerVersion);
    connect(downloads, &DownloadManager::sendToWebIsNeedDownload, this, &Pathmere::sendToWebIsNeedDownload);
    connect(downloads, &DownloadManager::prepareUpdateFail, this, &Pathmere::connectServerFail);
    connect(downloads, &DownloadManager::ready4Update, this, &Pathmere::ready4Update);
    connect(updateCoordinator, &UpdateCoordinator::quitRequested, this, &Pathmere::closeProgram);
    connect(updateCoordinator, &UpdateCoordinator::statusLineChanged, trayMenu, &TrayMenu::setStatusLine);
}

Pathmere::~Pathmere()
{
    delete trayMenu;
    delete aboutDlg;
    delete web;
    SearchManager::releaseInstance();
}

namespace {

int trayWaitMs()
{
    bool ok = false;
    const int shortened = qEnvironmentVariableIntValue("PATHMERE_TRAY_WAIT_MS", &ok);
    return ok && shortened >= 0 && shortened < Pathmere::TrayWaitMs ? shortened : Pathmere::TrayWaitMs;
}

} // namespace

void Pathmere::setStartHidden(bool hidden)
{
    setMonitoring(!hidden);
    if (!hidden) {
        prepareShowing();
        return;
    }
    QTimer::singleShot(trayWaitMs(), this, &Pathmere::showMinimizedWithoutTray);
}

void Pathmere::showMinimizedWithoutTray()
{
    // Shown in the meantime ("Show_Normal_UI"), or reachable through the tray.
    if (isVisible() || trayMenu->hasTray())
        return;
    appLog(LogSystem::LogMajorMsg, "No system tray, show minimized.");
    // On the task bar the window is as good as shown: its adapter list must
    // keep up. The daily update check still waits for a real showing.
    setMonitoring(true);
    showMinimized();
}

void Pathmere::setMonitoring(bool on) { searchManager->setMonitoring(on); }

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
    event->ignore();
    if (!trayMenu->hasTray()) {
        // A hidden window could not be brought back, and it serves the web
        // page; it goes to the task bar like any minimised window.
        showMinimized();
        return;
    }
    setMonitoring(false);
    hide();
}

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
    trayMenu->hideIcon();
    QCoreApplication::quit();
}

void Pathmere::getCheckStatus(bool) { trayMenu->applyAutostart(); }

void Pathmere::menuAboutToShow() { trayMenu->refreshAutostart(); }

void Pathmere::checkSharedMemory()
{
    switch (segmentPoll->takeCommand()) {
    case SegmentPoll::ShowWindow:
        setMonitoring(true);
        show();
        break;
    case SegmentPoll::CloseProgram:
        closeProgram();
        break;
    case SegmentPoll::NoCommand:
        break;
    }
}

AboutDlg *Pathmere::aboutDialog()
{
    // Most starts never open it; built at start-up it cost every one of
    // them its form. One dialog is kept and shown again.
    if (!aboutDlg) {
        aboutDlg = new AboutDlg(nullptr, dpiScale);
        connect(aboutDlg, &AboutDlg::checkUpdate, this, &Pathmere::checkSWUpdate);
        aboutDlg->setUpdateStatus(updateCoordinator->statusLine());
        connect(updateCoordinator, &UpdateCoordinator::statusLineChanged, aboutDlg, &AboutDlg::setUpdateStatus);
        aboutDlg->hide();
        updateCoordinator->setAboutDialog(aboutDlg);
    }
    return aboutDlg;
}

void Pathmere::showAbout() { aboutDialog()->show(); }

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

void Pathmere::checkSWUpdate() { updateCoordinator->checkSWUpdate(); }

void Pathmere::getCurServerVersion(bool needDownload) { updateCoordinator->getCurServerVersion(needDownload); }

void Pathmere::sendToWebIsNeedDownload(bool needDownload, QString version)
{
    updateCoordinator->sendToWebIsNeedDownload(needDownload, version);
}

void Pathmere::connectServerFail(int reason) { updateCoordinator->connectServerFail(reason); }

void Pathmere::ready4Update() { updateCoordinator->ready4Update(); }

void Pathmere::setButtonsEnabled(bool enabled)
{
    btnApply->setEnabled(enabled);
    btnSearch->setEnabled(enabled);
}

void Pathmere::startSearch()
{
    table->removeRows();
    form->clear();

    const QString address = adapters->currentAddress();
    appLog(LogSystem::LogMajorMsg, "start search %s", address.toLatin1().constData());
    searchManager->startSearch(address);

    progress->startSearch();
    setButtonsEnabled(false);
}

void Pathmere::updateProgress()
{
    if (progress->tickSearch()) {
        refreshDeviceList();
        setButtonsEnabled(true);
    }
}

void Pathmere::refreshDeviceList()
{
    appLog(LogSystem::LogMajorMsg, "Pathmere update search list.");
    table->showDevices(searchManager->getDeviceList());
    // What the user now sees, for support and for the demo's own check.
    appLog(LogSystem::LogMajorMsg, "Pathmere lists %d devices.", int(table->devices().size()));
}

void Pathmere::onheaderclicked(int index)
{
    if (!DeviceTable::isSortable(index) || progress->busy())
        return;
    table->sortBy(index);
    updateSortList();
    showSelectedDevice();
}

void Pathmere::updateSortList()
{
    appLog(LogSystem::LogMajorMsg, "Pathmere update sort list.");
    table->fillRows();
}

void Pathmere::showSelectedDevice()
{
    if (const DeviceRecord *device = table->currentDevice()) {
        appLog(LogSystem::LogMajorMsg, "Pathmere selected device %s (%s, %s).", qPrintable(device->name),
               qPrintable(device->ip), qPrintable(device->mac));
        form->show(*device);
        btnApply->setEnabled(device->searchType == DeviceRecord::BroadcastSearch);
    }
}

void Pathmere::searchSelected()
{
    if (!progress->busy())
        showSelectedDevice();
}

void Pathmere::handleItemDoubleClicked(QTableWidgetItem *)
{
    if (progress->busy())
        return;
    if (const DeviceRecord *device = table->currentDevice())
        QDesktopServices::openUrl(QUrl(QStringLiteral("http://%1").arg(device->ip)));
}

void Pathmere::netInterfaceChanged()
{
    appLog(LogSystem::LogMajorMsg, "Net interface changed.");
    adapters->setAdapters(searchManager->getNetworkAdapters());
}

void Pathmere::clickDHCP() { form->setAddressFieldsEnabled(false); }

void Pathmere::clickStaticIP() { form->setAddressFieldsEnabled(true); }

void Pathmere::clickApply()
{
    const DeviceRecord *device = table->currentDevice();
    if (!device) {
        UserMessage::information(QStringLiteral("Setting"), QStringLiteral("Select index fail !!"));
        return;
    }
    if (!form->readyToApply(*device) || !form->plannedSettingAcceptable(*device, table->devices()))
        return;

    searchManager->sendSetting(form->settingsRecord(*device));

    const int row = table->currentRow();
    table->setStatus(row, tr("Setting and checking"));
    form->setAddressFieldsEnabled(true);
    progress->startSetting(row);
    setButtonsEnabled(false);
}

void Pathmere::utilitySettingFail(int failCase)
{
    appLog(LogSystem::LogMajorMsg, "utility setting fail:%d", failCase);
    progress->setFailCase(failCase);
}

void Pathmere::updateTPgbar()
{
    const int row = progress->settingRow();
    switch (progress->tickSetting()) {
    case SearchProgress::SettingRunning:
        break;
    case SearchProgress::SettingRefused:
        table->setStatus(row, tr("Unauthorized"));
        setButtonsEnabled(true);
        break;
    case SearchProgress::SettingRowGone:
        setButtonsEnabled(true);
        break;
    case SearchProgress::SettingFinished:
        searchTable->clearContents();
        startSearch();
        break;
    }
}

void Pathmere::UpdateDeviceListFromWeb() { web->startDeviceListSearch(); }

void Pathmere::sendDeviceListToWeb() { web->sendDeviceList(); }

void Pathmere::setPowerStatusFromWeb(QString ip, QString mac, int status) { web->setPowerStatus(ip, mac, status); }

void Pathmere::checkViscaStatusFromWeb() { web->checkViscaStatus(); }

void Pathmere::receiveViscaState(int status) { web->viscaStateReceived(status); }

void Pathmere::checkVersionFromWeb() { updateCoordinator->checkVersionFromWeb(); }
