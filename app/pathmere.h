#ifndef PATHMERE_H
#define PATHMERE_H

#include "devicerecord.h"
#include "networkadapterentry.h"
#include "ui_pathmere.h"

#include <QList>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

class AboutDlg;
class Core;
class QAction;
class QCloseEvent;
class QKeyEvent;
class QMenu;
class QStyle;
class QTableWidgetItem;
class QWebChannel;
class QWebSocketServer;
class SearchManager;
class UpdateCoordinator;
class WebAnalytic;
class WebSocketClientWrapper;

// The program's main window: the device table the search fills, the settings
// form that writes a camera's network settings, and the tray. It lives in the
// tray: closing only hides it, and the program ends through the tray's "Exit"
// or a "Close_Program" command left in the session's shared-memory segment,
// which the window polls once a second (a second start of the program leaves
// "Show_Normal_UI" there).
class Pathmere : public QWidget, private Ui::Pathmere
{
    Q_OBJECT

public:
    explicit Pathmere(QWidget *parent = nullptr);
    ~Pathmere() override;

    // Called once by start-up before it shows the window (or not).
    void setStartHidden(bool hidden);

    static constexpr int sharedMemoryPollMs = 1000;

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
    friend class PathmereTestAccess;

    void setUpTray();
    // The loopback WebSocket server carrying the web channel with "core";
    // stops the program when the port is taken.
    void setUpWebBridge();
    void scaleToDesktop();
    // Switches the network interface polling of the search coordinator.
    void setMonitoring(bool on);
    // What every way of showing the window does after setMonitoring(true),
    // except the segment's "Show_Normal_UI".
    void prepareShowing();
    bool autostartEnabled() const;

    // A search or a setting is running: the table and its form stay inert.
    bool busy() const;
    void fillAdapterChooser();
    void refreshDeviceList();
    void fillRows();
    void clearForm();

    void fillSettingsForm(const DeviceRecord &device);
    void setAddressFieldsEnabled(bool enabled);
    // The 180-byte settings record for device from what the form shows.
    QByteArray settingsRecord(const DeviceRecord &device) const;
    void endSetting(int row, const QString &status);

    const QString sharedMemoryKey;
    SearchManager *searchManager = nullptr;
    QList<DeviceRecord> deviceList;
    QList<NetworkAdapterEntry> adapterList;
    int searchProgress = 0;
    QTimer *progressTimer = nullptr;
    int sortToggle = 0;
    double dpiScale = 1.0;
    QStyle *fusionStyle = nullptr;
    QTimer *settingTimer = nullptr;
    int settingRow = -1;
    int settingFailCase = 0;
    QTimer sharedMemoryTimer;
    QSystemTrayIcon *trayIcon = nullptr;
    QMenu *trayMenu = nullptr;
    QAction *actionShow = nullptr;
    QAction *actionAutoStart = nullptr;
    QAction *actionExit = nullptr;
    AboutDlg *aboutDlg = nullptr;
    // The web bridge; owned here, none has a Qt parent.
    WebAnalytic *webAnalytic = nullptr;
    QWebSocketServer *webSocketServer = nullptr;
    WebSocketClientWrapper *clientWrapper = nullptr;
    QWebChannel *webChannel = nullptr;
    Core *webCore = nullptr;
    UpdateCoordinator *updateCoordinator = nullptr;
    bool firstShowPending = true;
};

#endif // PATHMERE_H
