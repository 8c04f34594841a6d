#include "pathmere.h"

#include "aboutdlg.h"
#include "adapterchooser.h"
#include "applog.h"
#include "devicetable.h"
#include "discoveryservice.h"
#include "dpiscaler.h"
#include "loginmemory.h"
#include "othermakerschoice.h"
#include "searchmanager.h"
#include "searchprogress.h"
#include "segmentpoll.h"
#include "settingsform.h"
#include "singleinstance.h"
#include "subnetmove.h"
#include "traymenu.h"
#include "updatecoordinator.h"
#include "updatepaths.h"
#include "usermessage.h"
#include "webbridgehost.h"
#include "whyline.h"
#include "windowapply.h"
#include "windowpresence.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QShortcut>
#include <QUrl>

#include <cstdint>

Pathmere::Pathmere(QWidget *parent)
    : QWidget(parent)
{
    Q_INIT_RESOURCE(pathmere);

    // setupUi also connects slots by object name; no slot here follows that
    // naming, so everything below is wired explicitly.
    setupUi(this);

    auto *crashShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::SHIFT + Qt::Key_C), this);
    crashShortcut->setContext(Qt::WindowShortcut);
    connect(crashShortcut, &QShortcut::activated, this, &Pathmere::doCrash);

    discovery = DiscoveryService::getInstance();
    if (!discovery)
        qFatal("The main window needs the discovery service, which start-up creates first.");
    searchManager = discovery->searchManager();
    connect(discovery, &DiscoveryService::emitNetInterfaceChanged, this, &Pathmere::netInterfaceChanged);

    presence = new WindowPresence(this, searchManager, SingleInstance::sessionKey(), this);
    trayMenu = presence->tray();
    connect(trayMenu, &TrayMenu::showRequested, this, &Pathmere::dlgShowNormal);
    connect(trayMenu, &TrayMenu::exitRequested, this, &Pathmere::closeProgram);
    connect(trayMenu, &TrayMenu::activated, this, &Pathmere::iconActive);
    connect(presence->segment(), &SegmentPoll::due, this, &Pathmere::checkSharedMemory);
    setContextMenuPolicy(Qt::CustomContextMenu);

    dpiScale = DpiScaler::scaleFixedForm(this, QSize(891, 664));

    adapters = new AdapterChooser(DeviceSelect, this);
    adapters->setAdapters(searchManager->getNetworkAdapters());

    table = new DeviceTable(searchTable, dpiScale, this);
    whyLine = new WhyLine(whyLabel, dpiScale, this);
    form = new SettingsForm({EditDeviceName, EditUserID, EditPassword, radioDHCP, radioStaticIP,
                             frameIPAddress, frameMask, frameGateway, framePDNS, frameSDNS}, this);
    table->addMenuAction((new OtherMakersChoice(searchManager, this))->action());
    table->addMenuAction((new SubnetMove(table, form, adapters, btnApply, this))->action());
    loginMemory = new LoginMemory(EditUserID, EditPassword, checkRemember, this);
    apply = new WindowApply(searchManager, table, loginMemory, this);
    connect(apply, &WindowApply::settingFailed, this, &Pathmere::utilitySettingFail);
    // A confirmed change shows in a new search, as the maker's cameras' do.
    connect(apply, &WindowApply::onvifFinished, this, [this](bool confirmed) {
        confirmed ? startSearch() : setButtonsEnabled(true);
    });
    connect(table, &DeviceTable::selectionChanged, this, &Pathmere::searchSelected);
    connect(searchTable, &QTableView::doubleClicked, this, &Pathmere::handleItemDoubleClicked);
    connect(searchTable->horizontalHeader(), &QHeaderView::sectionClicked, this, &Pathmere::onheaderclicked);
    connect(btnSearch, &QPushButton::clicked, this, &Pathmere::startSearch);
    connect(btnApply, &QPushButton::clicked, this, &Pathmere::clickApply);

    progress = new SearchProgress(progressBar, table, this);
    connect(progress, &SearchProgress::searchTick, this, &Pathmere::updateProgress);
    connect(progress, &SearchProgress::settingTick, this, &Pathmere::updateTPgbar);

    // The page's commands go from the bridge's WebAnalytic to the bridge
    // host, and its version check to the update coordinator.
    web = new WebBridgeHost(searchManager, this);

    // The About dialog is built when first shown (aboutDialog()).
    connect(btnAbout, &QPushButton::clicked, this, &Pathmere::showAbout);

    updateCoordinator = new UpdateCoordinator(this, nullptr, web->analytic(), UpdatePaths::builtInPublicKey(), this);
    connect(updateCoordinator, &UpdateCoordinator::quitRequested, this, &Pathmere::closeProgram);
    connect(updateCoordinator, &UpdateCoordinator::statusLineChanged, trayMenu, &TrayMenu::setStatusLine);
    connect(presence, &WindowPresence::shown, updateCoordinator, &UpdateCoordinator::windowShown);
    presence->afterFirstFrame([this] { web->startPageServer(); loginMemory->probeKeyring(); });
}

Pathmere::~Pathmere()
{
    apply->end();
    delete presence;
    delete aboutDlg;
    delete web;
}

void Pathmere::setStartHidden(bool hidden) { presence->start(hidden); }

void Pathmere::keyPressEvent(QKeyEvent *event)
{
    // Keys that reach the window itself do nothing (Escape must not close it).
    event->accept();
}

void Pathmere::closeEvent(QCloseEvent *event)
{
    event->ignore();
    presence->closeRequested();
}

void Pathmere::dlgShowNormal() { presence->showNormal(); }

void Pathmere::iconActive(QSystemTrayIcon::ActivationReason reason) { presence->trayActivated(reason); }

void Pathmere::closeProgram() { presence->quit(); }

void Pathmere::checkSharedMemory() { presence->takeSegmentCommand(); }

AboutDlg *Pathmere::aboutDialog()
{
    // Most starts never open it; built at start-up it cost every one of
    // them its form. One dialog is kept and shown again.
    if (!aboutDlg)
        aboutDlg = updateCoordinator->makeAboutDialog(dpiScale);
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
    whyLine->clear();
    form->clear();

    const QString address = adapters->currentAddress();
    appLog(LogSystem::LogMajorMsg, "start search %s", address.toLatin1().constData());
    // After a setting, this search is the one that confirms it.
    if (!apply->confirm())
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
    QList<DeviceRecord> confirmed;
    table->showDevices(apply->conclude(&confirmed) ? confirmed : searchManager->getDeviceList());
    whyLine->showFor(table->devices(), table->marks());
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
        loginMemory->fillFor(*device);
        btnApply->setEnabled(device->searchType == DeviceRecord::BroadcastSearch
                             || device->searchType == DeviceRecord::Onvif);
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

    const int row = table->currentRow();
    if (apply->start(*device, form->settings(), form->credentials(), adapters->currentAddress(), row)
        == WindowApply::Started::Paced) {
        table->setStatus(row, tr("Setting and checking"));
        form->setAddressFieldsEnabled(true);
        progress->startSetting(row);
    }
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
        apply->end();
        break;
    case SearchProgress::SettingRowGone:
        setButtonsEnabled(true);
        apply->end();
        break;
    case SearchProgress::SettingFinished:
        startSearch();
        break;
    }
}
