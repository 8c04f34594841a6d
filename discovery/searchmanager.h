#ifndef SEARCHMANAGER_H
#define SEARCHMANAGER_H

#include "camerasettings.h"
#include "devicerecord.h"
#include "networkadapterentry.h"
#include "utilitysearch.h"
#include "viscaprotocol.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

class NetworkInterfaceMonitor;
class PowerOnJob;
class SearchSource;
class ViscaOipControl;
class WakeOnLanSender;

// The one door of the front ends to device discovery: runs the sources its
// search-type mask selects, merges what they found into one device list,
// writes settings to cameras, switches cameras on (one PowerOnJob at a time)
// and lists the host's adapters. The discovery service owns it beside the
// parts it uses.
class SearchManager : public QObject
{
    Q_OBJECT

public:
    enum SearchTypeBit {
        UtilitySearchBit = 1,     // broadcast utility search
        DocumentCameraBit = 2,    // wireless document camera SSDP discovery
        ControlBoxBit = 4,        // control box SSDP discovery
        OnvifBit = 8              // other makers' cameras (WS-Discovery)
    };

    // What emitViscaStatus reports about a camera's power.
    enum ViscaStatus {
        ViscaPowerAlreadyOn = 0,     // the power inquiry found the camera on
        ViscaCommandCompleted = 5    // the power-on command completed
    };
    Q_ENUM(ViscaStatus)

    // How a power-on that fell back to Wake-on-LAN goes on, beyond what
    // emitViscaStatus reports (emitWakeOnLanStage).
    enum WakeOnLanStage {
        WakeOnLanStarted = 1,   // the camera did not answer VISCA in time; Wake-on-LAN begins
        WakeOnLanSent = 2,      // every pass of a Wake-on-LAN sequence went out; no answer is known
        WakeOnLanRefused = 3    // too many sequences wait already; this one was not sent
    };
    Q_ENUM(WakeOnLanStage)

    static constexpr int ViscaTimeoutMs = 10000;
    static constexpr int SsdpStartDelayMs = 500;
    // Search types 0 to this may be registered (mask bit 1 << type).
    static constexpr int MaxSearchType = 30;

    SearchManager(NetworkInterfaceMonitor *monitor, UtilitySearch *utilitySearch, ViscaOipControl *visca,
                  QObject *parent = nullptr);
    ~SearchManager() override;

    // The discovery service's coordinator (null while none lives).
    static SearchManager *getInstance();

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
    // Writes settings to the camera target names (by its MAC, to its
    // address); credentials authorise the change.
    void writeSettings(const DeviceRecord &target, const CameraSettings &settings, const Credentials &credentials);
    // The settings record writeSettings sends.
    static QByteArray settingsRecord(const DeviceRecord &target, const CameraSettings &settings,
                                     const Credentials &credentials);

    // Starts a PowerOnJob of the coordinator's own; one still waiting for the
    // power state is replaced. 0 when the request was accepted.
    int setPowerOn(const QString &ip, const QString &mac);
    // One power inquiry to ip without the time-out and its Wake-on-LAN: the
    // answer arrives as a power-on's does (a standby camera is switched on).
    int inquirePowerState(const QString &ip);
    // Starts the 15 Wake-on-LAN passes (they run on a timer) and returns 0.
    int sendWakeOnLan(const QString &mac);
    int openViscaSockets();
    // Switches the interface monitor's polling.
    void setMonitoring(bool on);
    bool refreshAddresses();
    bool hasSameMac(const DeviceRecord &record) const;
    // The list the last getDeviceList built.
    QList<DeviceRecord> lastDeviceList() const { return deviceList; }
    // Whether the list of the last getDeviceList() holds a device at ip with
    // mac (the MAC compared without case).
    bool isListedDevice(const QString &ip, const QString &mac) const;

    // The source for searchType (1 to MaxSearchType; the utility search is
    // type 0 for good). Not owned; nullptr removes a source.
    void setSearchSource(int searchType, SearchSource *source);

    QString pendingWakeMac() const { return wakeMac; }
    bool isWaitingForPowerState() const;
    WakeOnLanSender *wakeOnLanSender() const { return wakeOnLan; }
    ViscaOipControl *viscaControl() const { return visca; }

signals:
    void emitViscaStatus(SearchManager::ViscaStatus status);
    void emitUtilitySettingFail(UtilitySearch::SettingFailCase failCase);
    void emitWakeOnLanStage(SearchManager::WakeOnLanStage stage);
    // A device a running search found, as the list will show it (search
    // type set); for front ends that show cameras as they answer.
    void deviceFound(const DeviceRecord &record);

private slots:
    void receiveViscaOnlineState(QString strIp, ViscaProtocol::PowerMode mode);
    void receiveViscaCmdCompleted();

private:
    Q_DISABLE_COPY(SearchManager)

    SearchSource *sourceFor(int searchType) const { return sources.value(searchType, nullptr); }
    void addSource(int searchType, SearchSource *source);

    NetworkInterfaceMonitor *const monitor;
    UtilitySearch *const utilitySearch;
    ViscaOipControl *const visca;
    QList<NetworkAdapterEntry> adapterList;
    int searchTypeMask = 0;
    // By search type, so a search runs and lists them in type order.
    QMap<int, SearchSource *> sources;
    QList<DeviceRecord> deviceList;
    QString wakeMac;
    QPointer<PowerOnJob> powerOn;
    WakeOnLanSender *wakeOnLan = nullptr;
};

#endif // SEARCHMANAGER_H
