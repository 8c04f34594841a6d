#ifndef PATHMERE_H
#define PATHMERE_H

#include "ui_pathmere.h"

#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

class AboutDlg;
class AdapterChooser;
class DeviceTable;
class QCloseEvent;
class QKeyEvent;
class QTableWidgetItem;
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
// "Show_Normal_UI" there). Each job is a part of its own; the window wires
// them here and its slots are thin calls into them.
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
    void getCheckStatus(bool checked);
    void searchSelected();
    void startSearch();
    void updateProgress();
    void clickDHCP();
    void clickStaticIP();
    void clickApply();
    void checkSharedMemory();
    void utilitySettingFail(int failCase);
    void updateTPgbar();
    void menuAboutToShow();
    // The local web page's commands and the outcome of its power-on.
    void receiveViscaState(int status);
    void sendDeviceListToWeb();
    void UpdateDeviceListFromWeb();
    void setPowerStatusFromWeb(QString ip, QString mac, int status);
    void checkViscaStatusFromWeb();
    void checkVersionFromWeb();
    void showAbout();
    void doCrash();
    void netInterfaceChanged();
    void onheaderclicked(int index);
    void updateSortList();
    // The software update; UpdateCoordinator does the work.
    void getCurServerVersion(bool needDownload);
    void checkSWUpdate();
    void sendToWebIsNeedDownload(bool needDownload, QString version);
    void ready4Update();
    void connectServerFail(int reason);
    void handleItemDoubleClicked(QTableWidgetItem *item);

private:
    Q_DISABLE_COPY(Pathmere)

    // Switches the network interface polling of the search coordinator.
    void setMonitoring(bool on);
    // What every way of showing the window does after setMonitoring(true),
    // except the segment's "Show_Normal_UI".
    void prepareShowing();
    // The end of a hidden start's wait for a tray.
    void showMinimizedWithoutTray();

    void refreshDeviceList();
    void showSelectedDevice();
    void setButtonsEnabled(bool enabled);

    SearchManager *searchManager = nullptr;
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
