#ifndef PATHMERE_H
#define PATHMERE_H

#include "ui_pathmere.h"
#include "utilitysearch.h"

#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

class AboutDlg;
class AdapterChooser;
class DeviceTable;
class DiscoveryService;
class LoginMemory;
class QCloseEvent;
class QKeyEvent;
class QModelIndex;
class SearchManager;
class SearchProgress;
class SegmentPoll;
class WindowApply;
class WindowPresence;
class SettingsForm;
class TrayMenu;
class UpdateCoordinator;
class WebBridgeHost;
class WhyLine;

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
// Showing, hiding and the tray are WindowPresence's.
class Pathmere : public QWidget, private Ui::Pathmere
{
    Q_OBJECT

public:
    explicit Pathmere(QWidget *parent = nullptr);
    ~Pathmere() override;

    // Needs the discovery service to live (DiscoveryService::getInstance()).
    // Called once by start-up before it shows the window (or not).
    void setStartHidden(bool hidden);

    // The window's parts, for what a caller needs to see of them.
    DeviceTable *deviceTable() const { return table; }
    SettingsForm *settingsForm() const { return form; }
    LoginMemory *logins() const { return loginMemory; }
    WhyLine *whyLineUnderTable() const { return whyLine; }
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

    void refreshDeviceList();
    void showSelectedDevice();
    void setButtonsEnabled(bool enabled);

    DiscoveryService *discovery = nullptr;
    SearchManager *searchManager = nullptr;
    WindowApply *apply = nullptr;
    AdapterChooser *adapters = nullptr;
    double dpiScale = 1.0;
    DeviceTable *table = nullptr;
    SettingsForm *form = nullptr;
    LoginMemory *loginMemory = nullptr;
    WhyLine *whyLine = nullptr;
    SearchProgress *progress = nullptr;
    WindowPresence *presence = nullptr;
    TrayMenu *trayMenu = nullptr;
    WebBridgeHost *web = nullptr;
    AboutDlg *aboutDlg = nullptr;
    UpdateCoordinator *updateCoordinator = nullptr;
};

#endif // PATHMERE_H
