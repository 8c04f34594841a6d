#include "pathmere.h"

#include "aboutdlg.h"
#include "adapterchooser.h"
#include "applog.h"
#include "applysettingsjob.h"
#include "devicetable.h"
#include "discoveryservice.h"
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

    discovery = DiscoveryService::getInstance();
    if (!discovery)
        qFatal("The main window needs the discovery service, which start-up creates first.");
    searchManager = discovery->searchManager();
    connect(discovery, &DiscoveryService::emitNetInterfaceChanged, this, &Pathmere::netInterfaceChanged);
    searchManager->setSearchTypes(SearchManager::UtilitySearchBit);

    trayMenu = new TrayMenu(this);
    connect(trayMenu, &TrayMenu::showRequested, this, &Pathmere::dlgShowNormal);
    connect(trayMenu, &TrayMenu::exitRequested, this, &Pathmere::closeProgram);
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
    connect(table, &DeviceTable::selectionChanged, this, &Pathmere::searchSelected);
    connect(searchTable, &QTableView::doubleClicked, this, &Pathmere::handleItemDoubleClicked);
    connect(searchTable->horizontalHeader(), &QHeaderView::sectionClicked, this, &Pathmere::onheaderclicked);
    connect(btnSearch, &QPushButton::clicked, this, &Pathmere::startSearch);
    connect(btnApply, &QPushButton::clicked, this, &Pathmere::clickApply);

    progress = new SearchProgress(progressBar, table, this);
    connect(progress, &SearchProgress::searchTick, this, &Pathmere::updateProgress);
    connect(progress, &SearchProgress::settingTick, this, &Pathmere::updateTPgbar);

    segmentPoll = new SegmentPoll(SingleInstance::sessionKey(), this);
    connect(segmentPoll, &SegmentPoll::due, this, &Pathmere::checkSharedMemory);

    // The page's commands go from the bridge's WebAnalytic to the bridge
    // host, and its version check to the update coordinator.
    web = new WebBridgeHost(searchManager, this);

    // The About dialog is built when first shown (aboutDialog()).
    connect(btnAbout, &QPushButton::clicked, this, &Pathmere::showAbout);

    updateCoordinator = new UpdateCoordinator(this, nullptr, web->analytic(), UpdatePaths::builtInPublicKey(), this);
    connect(updateCoordinator, &UpdateCoordinator::quitRequested, this, &Pathmere::closeProgram);
    connect(updateCoordinator, &UpdateCoordinator::statusLineChanged, trayMenu, &TrayMenu::setStatusLine);
}

Pathmere::~Pathmere()
{
    endApply();
    delete trayMenu;
    delete aboutDlg;
    delete web;
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
    searchManager->setMonitoring(!hidden);
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
    searchManager->setMonitoring(true);
    showMinimized();
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
    event->ignore();
    if (!trayMenu->hasTray()) {
        // A hidden window could not be brought back, and it serves the web
        // page; it goes to the task bar like any minimised window.
        showMinimized();
        return;
    }
    searchManager->setMonitoring(false);
    hide();
}

void Pathmere::dlgShowNormal()
{
    searchManager->setMonitoring(true);
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

void Pathmere::checkSharedMemory()
{
    switch (segmentPoll->takeCommand()) {
    case SegmentPoll::ShowWindow:
        searchManager->setMonitoring(true);
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
        connect(aboutDlg, &AboutDlg::checkUpdate, updateCoordinator, &UpdateCoordinator::checkSWUpdate);
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
    // After a setting, this search is the one that confirms it.
    if (applyJob && applyJob->isRunning())
        applyJob->confirm();
    else
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
    if (applyJob && applyJob->isRunning()) {
        applyJob->conclude();
        table->showDevices(applyJob->foundAfter());
    } else {
        table->showDevices(searchManager->getDeviceList());
    }
    endApply();
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
    // The rows follow the sorted list by themselves; the line stays for
    // whoever reads the log.
    appLog(LogSystem::LogMajorMsg, "Pathmere update sort list.");
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

void Pathmere::handleItemDoubleClicked(const QModelIndex &)
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

void Pathmere::clickApply()
{
    const DeviceRecord *device = table->currentDevice();
    if (!device) {
        UserMessage::information(QStringLiteral("Setting"), QStringLiteral("Select index fail !!"));
        return;
    }
    if (!form->readyToApply(*device) || !form->plannedSettingAcceptable(*device, table->devices()))
        return;

    // The job's confirming search is the one this window runs at the end of
    // the setting's ticks, so the job waits to be told (confirm, conclude).
    endApply();
    ApplySettingsJob::Options paced;
    paced.refusalWaitMs = -1;
    paced.searchMs = -1;
    paced.adapter = adapters->currentAddress();
    applyJob = new ApplySettingsJob(searchManager, {{*device, form->settings()}}, form->credentials(), paced, this);
    connect(applyJob, &ApplySettingsJob::settingFailed, this, &Pathmere::utilitySettingFail);
    applyJob->start();

    const int row = table->currentRow();
    table->setStatus(row, tr("Setting and checking"));
    form->setAddressFieldsEnabled(true);
    progress->startSetting(row);
    setButtonsEnabled(false);
}

void Pathmere::utilitySettingFail(UtilitySearch::SettingFailCase failCase)
{
    appLog(LogSystem::LogMajorMsg, "utility setting fail:%d", int(failCase));
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
        endApply();
        break;
    case SearchProgress::SettingRowGone:
        setButtonsEnabled(true);
        endApply();
        break;
    case SearchProgress::SettingFinished:
        startSearch();
        break;
    }
}

void Pathmere::endApply()
{
    if (!applyJob)
        return;
    applyJob->kill();
    applyJob->deleteLater();
    applyJob = nullptr;
}
