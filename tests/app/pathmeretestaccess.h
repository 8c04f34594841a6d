#ifndef PATHMERETESTACCESS_H
#define PATHMERETESTACCESS_H

#include "pathmere.h"

#include <QTableWidget>

// The window's inside as the tests see it: the form's widgets and the few
// members a test needs to set up a situation (a device list as a finished
// search leaves it) or to read back (the settings record Apply would send).
class PathmereTestAccess
{
public:
    explicit PathmereTestAccess(Pathmere *window) : w(window) {}

    QTableWidget *table() const { return w->searchTable; }
    QComboBox *adapterChooser() const { return w->DeviceSelect; }
    QPushButton *searchButton() const { return w->btnSearch; }
    QPushButton *applyButton() const { return w->btnApply; }
    QPushButton *aboutButton() const { return w->btnAbout; }
    QProgressBar *progressBar() const { return w->progressBar; }
    QGroupBox *networkGroup() const { return w->groupBox; }
    QLineEdit *deviceName() const { return w->EditDeviceName; }
    QLineEdit *userId() const { return w->EditUserID; }
    QLineEdit *password() const { return w->EditPassword; }
    QRadioButton *dhcp() const { return w->radioDHCP; }
    QRadioButton *staticIp() const { return w->radioStaticIP; }
    IPCtrl *ipField() const { return w->frameIPAddress; }
    IPCtrl *maskField() const { return w->frameMask; }
    IPCtrl *gatewayField() const { return w->frameGateway; }
    IPCtrl *dns1Field() const { return w->framePDNS; }
    IPCtrl *dns2Field() const { return w->frameSDNS; }
    QMenu *trayMenu() const { return w->trayMenu; }
    QAction *autostartAction() const { return w->actionAutoStart; }
    AboutDlg *aboutDialog() const { return w->aboutDlg; }

    int searchProgress() const { return w->searchProgress; }
    int sortToggle() const { return w->sortToggle; }
    int settingRow() const { return w->settingRow; }
    const QList<DeviceRecord> &deviceList() const { return w->deviceList; }

    // What a finished search leaves behind: the list and its rows.
    void showDevices(const QList<DeviceRecord> &devices)
    {
        w->deviceList = devices;
        w->fillRows();
    }
    // The list replaced while the table still shows the older rows, as a
    // request of the web page does.
    void replaceDeviceList(const QList<DeviceRecord> &devices) { w->deviceList = devices; }

    QByteArray settingsRecord(const DeviceRecord &device) const { return w->settingsRecord(device); }

    void iconActive(QSystemTrayIcon::ActivationReason reason) { w->iconActive(reason); }
    void menuAboutToShow() { w->menuAboutToShow(); }

private:
    Pathmere *w;
};

#endif // PATHMERETESTACCESS_H
