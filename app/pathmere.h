#ifndef PATHMERE_H
#define PATHMERE_H

#include "ui_pathmere.h"
#include "utilitysearch.h"

#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

class AboutDlg;
class AdapterChooser;
class ApplySettingsJob;
class DeviceTable;
class DiscoveryService;
class QCloseEvent;
class QKeyEvent;
class QModelIndex;
class SearchManager;
class SearchProgress;
class SegmentPoll;
class SettingsForm;
class TrayMenu;
class UpdateCoordinator;
class WebBridgeHost;

// The program's main window: the device table the search fills, the settings
// form that writes a camera's network settings, and the tray. It lives in the
// tray: closing only hides it, and the program ends through the tray's "Exit"
// or a "Close_Program" command left in the session's shared-memory segment,
// which the window polls once a second (a second start of the program leaves
// "Show_Normal_UI" there). Each job is a part of its own, wired here; the
// parts that serve others (the web bridge, the update coordinator, the tray
// menu, the settings form) connect to what they serve themselves, so no slot
// of the window only passes a call on. Discovery is the discovery service's,
// which start-up creates before the window.
//
// Without a tray the window must stay reachable: closing minimises it, Ctrl+Q
// quits, and a hidden start shows it minimised once the tray has had time to
// come up (autostart runs at login, often before the tray host).
class Pathmere : public QWidget, private Ui::Pathmere
{
    Q_OBJECT

public:
    // How long a start with "-hide" waits for a tray before it shows the
    // window minimised. PATHMERE_TRAY_WAIT_MS may shorten it (tests).
    static constexpr int TrayWaitMs = 5000;

    explicit Pathmere(QWidget *parent = nullptr);
    ~Pathmere() override;

    // Needs the discovery service to live (DiscoveryService::getInstance()).
    // Called once by start-up before it shows the window (or not).
    void setStartHidden(bool hidden);

    // The window's parts, for what a caller needs to see of them.
    DeviceTable *deviceTable() const { return table; }
    SettingsForm *settingsForm() const { return form; }
    SearchProgress *searchProgress() const { return progress; }
    TrayMenu *tray() const { return trayMenu; }
    WebBridgeHost *webBridge() const { return web; }
    // Built at the first call.
    AboutDlg *aboutDialog();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void dlgShowNormal();
    void iconActive(QSystemTrayIcon::ActivationReason reason);
    void closeProgram();
    void searchSelected();
    void startSearch();
    void updateProgress();
    void clickApply();
    void checkSharedMemory();
    void utilitySettingFail(UtilitySearch::SettingFailCase failCase);
    void updateTPgbar();
    void showAbout();
    void doCrash();
    void netInterfaceChanged();
    void onheaderclicked(int index);
    void updateSortList();
    void handleItemDoubleClicked(const QModelIndex &index);

private:
    Q_DISABLE_COPY(Pathmere)

    // What every way of showing the window does after the search
    // coordinator's monitoring is switched on,
    // except the segment's "Show_Normal_UI".
    void prepareShowing();
    // The end of a hidden start's wait for a tray.
    void showMinimizedWithoutTray();

    void refreshDeviceList();
    void showSelectedDevice();
    void setButtonsEnabled(bool enabled);
    // The running setting's job is done with (or gives way to a new one).
    void endApply();

    DiscoveryService *discovery = nullptr;
    SearchManager *searchManager = nullptr;
    ApplySettingsJob *applyJob = nullptr;
    AdapterChooser *adapters = nullptr;
    double dpiScale = 1.0;
    DeviceTable *table = nullptr;
    SettingsForm *form = nullptr;
    SearchProgress *progress = nullptr;
    SegmentPoll *segmentPoll = nullptr;
    TrayMenu *trayMenu = nullptr;
    WebBridgeHost *web = nullptr;
    AboutDlg *aboutDlg = nullptr;
    UpdateCoordinator *updateCoordinator = nullptr;
    bool firstShowPending = true;
};

#endif // PATHMERE_H
