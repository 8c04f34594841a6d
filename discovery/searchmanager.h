#ifndef SEARCHMANAGER_H
#define SEARCHMANAGER_H

#include "devicerecord.h"
#include "networkadapterentry.h"
#include "utilitysearchcaminfo.h"

#include <QByteArray>
#include <QHostAddress>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;
class SearchSource;
class UtilitySearch;
class ViscaOipControl;
class WakeOnLanSender;

// The one door of the main window (and through it the web page) to device
// discovery: runs the sources its search-type mask selects, merges what they
// found into one device list, forwards settings changes to the broadcast
// search, switches cameras on (VISCA power inquiry, then the power-on command,
// or Wake-on-LAN when the camera stays silent) and lists the host's adapters.
class SearchManager : public QObject
{
    Q_OBJECT

public:
    enum SearchTypeBit {
        UtilitySearchBit = 1,     // broadcast utility search
        DocumentCameraBit = 2,    // wireless document camera SSDP discovery
        ControlBoxBit = 4         // control box SSDP discovery
    };

    // What emitViscaStatus reports about a power-on request.
    enum ViscaStatus {
        ViscaPowerAlreadyOn = 0,     // the power inquiry found the camera on
        ViscaCommandCompleted = 5    // the power-on command completed
    };

    // How a power-on that fell back to Wake-on-LAN goes on, beyond what
    // emitViscaStatus reports (emitWakeOnLanStage).
    enum WakeOnLanStage {
        WakeOnLanStarted = 1,   // the camera did not answer VISCA in time; Wake-on-LAN begins
        WakeOnLanSent = 2,      // every pass of a Wake-on-LAN sequence went out; no answer is known
        WakeOnLanRefused = 3    // too many sequences wait already; this one was not sent
    };

    static constexpr int ViscaTimeoutMs = 10000;
    static constexpr int SsdpStartDelayMs = 500;

    static SearchManager *getInstance();
    // Gives back one use; the instance is deleted when the last user is gone.
    static void releaseInstance();

    int setSearchTypes(int mask);
    int searchTypes() const { return searchTypeMask; }

    int startSearch(const QString &adapterIp);
    // Addresses that every following utility search also queries by unicast,
    // and settings records also go to (cameras behind a router); see
    // UtilitySearch::setUnicastTargets.
    bool setUnicastTargets(const QList<QHostAddress> &targets);
    QList<DeviceRecord> getDeviceList();
    QList<NetworkAdapterEntry> getNetworkAdapters();

    // The 180-byte settings record, handed on unchanged to the utility search.
    void sendSetting(QByteArray record);

    int setPowerOn(const QString &ip, const QString &mac);
    // One power inquiry to ip without the time-out and its Wake-on-LAN: the
    // answer arrives as a power-on's does (a standby camera is switched on).
    int inquirePowerState(const QString &ip);
    // Starts the 15 Wake-on-LAN passes (they run on a timer) and returns 0.
    int sendWakeOnLan(const QString &mac);
    int openViscaSockets();
    void setMonitoring(bool on);
    bool refreshAddresses();
    bool hasSameMac(const DeviceRecord &record) const;
    // The list the last getDeviceList built.
    QList<DeviceRecord> lastDeviceList() const { return deviceList; }
    // Whether the list of the last getDeviceList() holds a device at ip with
    // mac (the MAC compared without case).
    bool isListedDevice(const QString &ip, const QString &mac) const;

    // The SSDP sources register here for their mask bit's search type
    // (DeviceRecord::DocumentCamera or DeviceRecord::ControlBox). Not owned;
    // nullptr removes a source.
    void setSearchSource(int searchType, SearchSource *source);

    QString pendingWakeMac() const { return wakeMac; }
    bool isWaitingForPowerState() const;
    WakeOnLanSender *wakeOnLanSender() const { return wakeOnLan; }

    // Conversion rules of the device list, free of any instance state.
    static DeviceRecord toDeviceRecord(const UtilitySearchCamInfo &info);
    // Utility-search records without name or model are dropped; no MAC check.
    static void appendUtilityRecords(QList<DeviceRecord> *list, const QList<UtilitySearchCamInfo> &infos);
    // Records of an SSDP source: name, serialNo, model, ip, fwVersion and the
    // lower-cased MAC taken, searchType set, the rest left empty; dropped when
    // name or model is empty or a listed record has the same mac.
    static void appendSourceRecords(QList<DeviceRecord> *list, int searchType,
                                    const QList<DeviceRecord> &records);
    // True (and the three log lines) when a record of list has record's mac.
    static bool findSameMac(const QList<DeviceRecord> &list, const DeviceRecord &record);

signals:
    void emitViscaStatus(int status);
    void emitUtilitySettingFail(int failCase);
    void emitNetInterfaceChanged();
    void emitWakeOnLanStage(int stage);

private slots:
    void viscaControlTimeout();
    void receiveViscaOnlineState(QString strIp, int mode);
    void receiveViscaCmdCompleted();
    void netInterfaceChanged();

private:
    SearchManager();
    ~SearchManager() override;
    Q_DISABLE_COPY(SearchManager)

    SearchSource *sourceFor(int searchType) const { return sources.value(searchType, nullptr); }

    QList<NetworkAdapterEntry> adapterList;
    int searchTypeMask = 0;
    UtilitySearch *utilitySearch = nullptr;
    QHash<int, SearchSource *> sources;
    QList<DeviceRecord> deviceList;
    ViscaOipControl *viscaControl = nullptr;
    QTimer *viscaTimer = nullptr;
    QString wakeMac;
    WakeOnLanSender *wakeOnLan = nullptr;
};

#endif // SEARCHMANAGER_H
