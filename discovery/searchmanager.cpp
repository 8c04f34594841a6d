#include "searchmanager.h"

#include "applog.h"
#include "devicelistmerge.h"
#include "discoveryservice.h"
#include "networkinterfacemonitor.h"
#include "poweronjob.h"
#include "searchsource.h"
#include "utilityprotocol.h"
#include "utilitysearch.h"
#include "viscaoipcontrol.h"
#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QTimer>

SearchManager *SearchManager::getInstance()
{
    DiscoveryService *const service = DiscoveryService::getInstance();
    return service ? service->searchManager() : nullptr;
}

SearchManager::SearchManager(NetworkInterfaceMonitor *monitor, UtilitySearch *utilitySearch, ViscaOipControl *visca,
                             QObject *parent)
    : QObject(parent)
    , monitor(monitor)
    , utilitySearch(utilitySearch)
    , visca(visca)
    , wakeOnLan(new WakeOnLanSender(this))
{
    // For queued connections and signal spies.
    qRegisterMetaType<SearchManager::ViscaStatus>();
    qRegisterMetaType<SearchManager::WakeOnLanStage>();
    qRegisterMetaType<DeviceRecord>();
    connect(utilitySearch, &UtilitySearch::emitUtilityRecvSettingFail,
            this, &SearchManager::emitUtilitySettingFail);
    addSource(DeviceRecord::BroadcastSearch, utilitySearch);
    connect(visca, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply,
            this, &SearchManager::receiveViscaOnlineState);
    connect(visca, &ViscaOipControl::viscaCmdCompleted,
            this, &SearchManager::receiveViscaCmdCompleted);
}

SearchManager::~SearchManager()
{
    if (powerOn)
        powerOn->kill();
    for (SearchSource *source : qAsConst(sources)) {
        disconnect(source, nullptr, this, nullptr);
        source->stopDiscovery();
    }
    sources.clear();
    disconnect(visca, nullptr, this, nullptr);
}

int SearchManager::setSearchTypes(int mask)
{
    // A source switched off mid-search would otherwise run on, unread, with
    // its sockets open.
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        const int bit = 1 << it.key();
        if ((searchTypeMask & bit) && !(mask & bit) && it.key() != DeviceRecord::BroadcastSearch)
            it.value()->stopDiscovery();
    }
    searchTypeMask = mask;
    return 0;
}

int SearchManager::startSearch(const QString &adapterIp)
{
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        const int type = it.key();
        if (!(searchTypeMask & (1 << type)))
            continue;
        SearchSource *const source = it.value();
        source->setBindAddress(adapterIp);
        const int delayMs = source->startDelayMs();
        if (delayMs <= 0) {
            source->startBroadcast();
            continue;
        }
        // Looked up again when the timer fires: the source may be gone by then.
        QTimer::singleShot(delayMs, this, [this, type]() {
            if (SearchSource *later = sourceFor(type))
                later->startBroadcast();
        });
    }
    return 0;
}

bool SearchManager::setUnicastTargets(const QList<QHostAddress> &targets)
{
    return utilitySearch->setUnicastTargets(targets);
}

QList<DeviceRecord> SearchManager::getDeviceList()
{
    deviceList.clear();
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        if (searchTypeMask & (1 << it.key()))
            DeviceListMerge::append(&deviceList, it.key(), it.value()->takeDeviceRecords());
    }
    return deviceList;
}

bool SearchManager::hasSameMac(const DeviceRecord &record) const
{
    return DeviceListMerge::findSameMac(deviceList, record);
}

bool SearchManager::isListedDevice(const QString &ip, const QString &mac) const
{
    if (ip.isEmpty() || mac.isEmpty())
        return false;
    for (const DeviceRecord &record : deviceList) {
        if (record.ip == ip && record.mac.compare(mac, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void SearchManager::setSearchSource(int searchType, SearchSource *source)
{
    if (searchType <= DeviceRecord::BroadcastSearch || searchType > MaxSearchType)
        return;
    if (SearchSource *old = sources.take(searchType))
        disconnect(old, nullptr, this, nullptr);
    if (source)
        addSource(searchType, source);
}

void SearchManager::addSource(int searchType, SearchSource *source)
{
    sources.insert(searchType, source);
    connect(source, &SearchSource::deviceFound, this, [this, searchType](const DeviceRecord &found) {
        if (!(searchTypeMask & (1 << searchType)))
            return;
        DeviceRecord record = found;
        if (DeviceListMerge::prepare(&record, searchType))
            emit deviceFound(record);
    });
}

QList<NetworkAdapterEntry> SearchManager::getNetworkAdapters()
{
    adapterList.clear();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        QStringList ipv4;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                ipv4.append(entry.ip().toString());
        }
        NetworkAdapterEntry adapter;
        if (NetworkAdapterEntry::fromAddresses(iface.humanReadableName(), ipv4, &adapter))
            adapterList.append(adapter);
    }
    return adapterList;
}

void SearchManager::sendSetting(QByteArray record)
{
    // The camera's address as the last list showed it: the record then goes
    // to the camera alone (see UtilitySearch::sendSetting), even when a new
    // search has emptied the search's own list meanwhile.
    QString cameraIp;
    UtilityProtocol::Settings settings;
    if (UtilityProtocol::parseSettingsRecord(record, &settings)) {
        const QString mac = UtilityProtocol::macToText(settings.mac);
        for (const DeviceRecord &device : qAsConst(deviceList)) {
            if (device.searchType == DeviceRecord::BroadcastSearch && device.mac.compare(mac, Qt::CaseInsensitive) == 0) {
                cameraIp = device.ip;
                break;
            }
        }
    }
    utilitySearch->sendSetting(record, cameraIp);
}

QByteArray SearchManager::settingsRecord(const DeviceRecord &target, const CameraSettings &settings,
                                         const Credentials &credentials)
{
    UtilityProtocol::Settings record;
    record.dhcp = settings.dhcp;
    record.ip = settings.ip;
    UtilityProtocol::macFromText(target.mac, &record.mac);
    record.mask = settings.mask;
    record.gateway = settings.gateway;
    record.dns1 = settings.dns1;
    record.dns2 = settings.dns2;
    record.name = settings.name;
    record.userId = credentials.userId;
    record.password = credentials.password;
    return UtilityProtocol::buildSettingsRecord(record);
}

void SearchManager::writeSettings(const DeviceRecord &target, const CameraSettings &settings,
                                  const Credentials &credentials)
{
    const QByteArray record = settingsRecord(target, settings, credentials);
    // The address the caller's list showed; else the one the last list did.
    if (!target.ip.isEmpty())
        utilitySearch->sendSetting(record, target.ip);
    else
        sendSetting(record);
}

int SearchManager::setPowerOn(const QString &ip, const QString &mac)
{
    // A request still waiting for the power state is replaced, as its
    // time-out would be restarted; one further on runs to its end.
    if (powerOn && powerOn->isWaitingForPowerState())
        powerOn->kill();
    auto *job = new PowerOnJob(this, ip, mac, this);
    connect(job, &PowerOnJob::finished, job, &QObject::deleteLater);
    if (!job->start()) {
        job->deleteLater();
        return -1;
    }
    wakeMac = mac;
    powerOn = job;
    connect(job, &PowerOnJob::stageReached, this, [this](PowerOnJob::Stage stage) {
        if (stage == PowerOnJob::WakeOnLanStarted)
            emit emitWakeOnLanStage(WakeOnLanStarted);
    });
    connect(job, &PowerOnJob::finished, this, [this](PowerOnJob::Result result) {
        if (result == PowerOnJob::WakeOnLanSent)
            emit emitWakeOnLanStage(WakeOnLanSent);
        else if (result == PowerOnJob::WakeOnLanRefused)
            emit emitWakeOnLanStage(WakeOnLanRefused);
    });
    return 0;
}

int SearchManager::inquirePowerState(const QString &ip)
{
    if (openViscaSockets() != 0)
        return -1;
    return visca->inquirePowerState(ip) < 0 ? -1 : 0;
}

bool SearchManager::isWaitingForPowerState() const
{
    return powerOn && powerOn->isWaitingForPowerState();
}

int SearchManager::sendWakeOnLan(const QString &mac)
{
    if (!WakeOnLan::isMacText(mac)) {
        appLog(LogSystem::LogMajorMsg, "Wake on lan refused: the MAC text (%d characters) is not six hex pairs joined by ':'.",
               int(mac.size()));
        return -1;
    }
    appLog(LogSystem::LogMajorMsg, "Send wake on lan,mac=%s", qPrintable(mac));
    if (!wakeOnLan->enqueue(WakeOnLan::buildMagicPacket(mac))) {
        appLog(LogSystem::LogMajorMsg, "Wake on lan refused: %d sequences are already waiting.",
               WakeOnLanSender::MaxQueuedSequences);
        return -1;
    }
    return 0;
}

int SearchManager::openViscaSockets()
{
    return visca->openSockets(QString()) == -1 ? -1 : 0;
}

void SearchManager::setMonitoring(bool on)
{
    monitor->setPolling(on);
}

bool SearchManager::refreshAddresses()
{
    utilitySearch->refreshAddresses();
    return visca->refreshAddresses();
}

void SearchManager::receiveViscaOnlineState(QString strIp, ViscaProtocol::PowerMode mode)
{
    QString status;
    if (mode == ViscaProtocol::PowerOn) {
        status = QStringLiteral("DEVICE_STATUS_ON");
        emit emitViscaStatus(ViscaPowerAlreadyOn);
    } else if (mode == ViscaProtocol::PowerStandby) {
        status = QStringLiteral("DEVICE_STATUS_STANDBY");
        visca->setPowerState(strIp, 0);
    }
    // Formatted here: an address text must never be read as a printf format.
    appLog(LogSystem::LogMajorMsg, "%s",
           qPrintable(QStringLiteral("Get VISCA: IP=[%1], status=[%2]").arg(strIp, status)));
}

void SearchManager::receiveViscaCmdCompleted()
{
    appLog(LogSystem::LogMajorMsg, "Recive visca cmd completed.");
    emit emitViscaStatus(ViscaCommandCompleted);
}
