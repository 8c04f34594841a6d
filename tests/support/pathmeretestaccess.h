#ifndef PATHMERETESTACCESS_H
#define PATHMERETESTACCESS_H

#include "devicetable.h"
#include "ipctrl.h"
#include "pathmere.h"
#include "searchmanager.h"
#include "searchprogress.h"
#include "settingsform.h"
#include "traymenu.h"
#include "whyline.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

// The window as the tests see it, from outside: the form's widgets by the
// object names of its .ui form, and the parts the window offers for the
// state behind them (the device list, the progress, the tray).
class PathmereTestAccess
{
public:
    explicit PathmereTestAccess(Pathmere *window) : w(window) {}

    QTableView *table() const { return child<QTableView>("searchTable"); }
    // A cell of the table as it shows it (rows in view order).
    QModelIndex cellIndex(int row, int column) const { return table()->model()->index(row, column); }
    QString cell(int row, int column) const { return cellIndex(row, column).data().toString(); }
    QString cellToolTip(int row, int column) const { return cellIndex(row, column).data(Qt::ToolTipRole).toString(); }
    QWidget *cellWidget(int row, int column) const { return table()->indexWidget(cellIndex(row, column)); }
    int rowCount() const { return table()->model()->rowCount(); }
    QComboBox *adapterChooser() const { return child<QComboBox>("DeviceSelect"); }
    QPushButton *searchButton() const { return child<QPushButton>("btnSearch"); }
    QPushButton *applyButton() const { return child<QPushButton>("btnApply"); }
    QPushButton *aboutButton() const { return child<QPushButton>("btnAbout"); }
    QProgressBar *progressBar() const { return child<QProgressBar>("progressBar"); }
    QGroupBox *networkGroup() const { return child<QGroupBox>("groupBox"); }
    QLineEdit *deviceName() const { return child<QLineEdit>("EditDeviceName"); }
    QLineEdit *userId() const { return child<QLineEdit>("EditUserID"); }
    QLineEdit *password() const { return child<QLineEdit>("EditPassword"); }
    QRadioButton *dhcp() const { return child<QRadioButton>("radioDHCP"); }
    QRadioButton *staticIp() const { return child<QRadioButton>("radioStaticIP"); }
    IPCtrl *ipField() const { return child<IPCtrl>("frameIPAddress"); }
    IPCtrl *maskField() const { return child<IPCtrl>("frameMask"); }
    IPCtrl *gatewayField() const { return child<IPCtrl>("frameGateway"); }
    IPCtrl *dns1Field() const { return child<IPCtrl>("framePDNS"); }
    IPCtrl *dns2Field() const { return child<IPCtrl>("frameSDNS"); }
    QMenu *trayMenu() const { return w->tray()->menu(); }
    QAction *autostartAction() const { return w->tray()->autostartAction(); }
    AboutDlg *aboutDialog() const { return w->aboutDialog(); }

    int searchProgress() const { return w->searchProgress()->value(); }
    int sortToggle() const { return w->deviceTable()->sortToggle(); }
    int settingRow() const { return w->searchProgress()->settingRow(); }
    QList<DeviceRecord> deviceList() const { return w->deviceTable()->devices(); }

    // What a finished search leaves behind: the list and its rows.
    void showDevices(const QList<DeviceRecord> &devices) { w->deviceTable()->showDevices(devices); }
    WhyLine *whyLine() const { return w->whyLineUnderTable(); }
    // The list replaced under a running setting (the table has one list:
    // its rows change with it).
    void replaceDeviceList(const QList<DeviceRecord> &devices) { w->deviceTable()->showDevices(devices); }

    // The settings record Apply sends to device, from what the form shows.
    QByteArray settingsRecord(const DeviceRecord &device) const
    {
        return SearchManager::settingsRecord(device, w->settingsForm()->settings(), w->settingsForm()->credentials());
    }

    // The tray icon activated, and its menu about to open.
    void iconActive(QSystemTrayIcon::ActivationReason reason) { w->tray()->activate(reason); }
    void menuAboutToShow() { emit w->tray()->menu()->aboutToShow(); }

private:
    template<typename T>
    T *child(const char *name) const
    {
        T *found = w->findChild<T *>(QLatin1String(name));
        Q_ASSERT_X(found, "PathmereTestAccess", name);
        return found;
    }

    Pathmere *w;
};

#endif // PATHMERETESTACCESS_H
