#include "searchmanager.h"

#include "applog.h"
#include "boxpnpmanager.h"
#include "netdoccampnpmanager.h"
#include "sharedinstance.h"
#include "searchsource.h"
#include "utilityprotocol.h"
#include "utilitysearch.h"
#include "viscaoipcontrol.h"
#include "viscaprotocol.h"
#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QTimer>

namespace {

SharedInstance<SearchManager> sharedInstance;

} // namespace

SearchManager *SearchManager::getInstance()
{
    return sharedInstance.acquire([] { return new SearchManager(); });
}

void SearchManager::releaseInstance()
{
    sharedInstance.release([](SearchManager *object) { delete object; });
}

SearchManager::SearchManager()
    : utilitySearch(UtilitySearch::getInstance())
    , viscaControl(ViscaOipControl::getInstance())
    , viscaTimer(new QTimer(this))
    , wakeOnLan(new WakeOnLanSender(this))
{
    connect(utilitySearch, &UtilitySearch::emitUtilityRecvSettingFail,
            this, &SearchManager::emitUtilitySettingFail);
    setSearchSource(DeviceRecord::DocumentCamera, NetDocCamPnPManager::getInstance());
    setSearchSource(DeviceRecord::ControlBox, BoxPnPManager::getInstance());

    connect(viscaControl, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply,
            this, &SearchManager::receiveViscaOnlineState);
    connect(viscaControl, &ViscaOipControl::viscaCmdCompleted,
            this, &SearchManager::receiveViscaCmdCompleted);
    connect(viscaControl, &ViscaOipControl::emitNetInterfaceChanged,
            this, &SearchManager::netInterfaceChanged);

    viscaTimer->setSingleShot(true);
    viscaTimer->setInterval(ViscaTimeoutMs);
    viscaTimer->setTimerType(Qt::PreciseTimer);
    connect(viscaTimer, &QTimer::timeout, this, &SearchManager::viscaControlTimeout);
    connect(wakeOnLan, &WakeOnLanSender::sequenceFinished, this, [this] { emit emitWakeOnLanStage(WakeOnLanSent); });
}

SearchManager::~SearchManager()
{
    viscaTimer->stop();
    utilitySearch->stopSearch();
    disconnect(utilitySearch, nullptr, this, nullptr);
    UtilitySearch::releaseInstance();
    for (SearchSource *source : qAsConst(sources))
        source->stopDiscovery();
    sources.clear();
    // The uses taken in the constructor; the last user's release ends a search.
    NetDocCamPnPManager::releaseInstance();
    BoxPnPManager::releaseInstance();
    disconnect(viscaControl, nullptr, this, nullptr);
    ViscaOipControl::releaseInstance();
}

int SearchManager::setSearchTypes(int mask)
{
    searchTypeMask = mask;
    return 0;
}

int SearchManager::startSearch(const QString &adapterIp)
{
    if (searchTypeMask & UtilitySearchBit)
        utilitySearch->startSearch(adapterIp);

    const int ssdpTypes[] = { DeviceRecord::DocumentCamera, DeviceRecord::ControlBox };
    for (const int type : ssdpTypes) {
        if (!(searchTypeMask & (1 << type)))
            continue;
        SearchSource *source = sourceFor(type);
        if (!source)
            continue;
        source->setBindAddress(adapterIp);
        // Looked up again when the timer fires: the source may be gone by then.
        QTimer::singleShot(SsdpStartDelayMs, this, [this, type]() {
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
    if (searchTypeMask & UtilitySearchBit)
        appendUtilityRecords(&deviceList, utilitySearch->takeDeviceList());

    const int ssdpTypes[] = { DeviceRecord::DocumentCamera, DeviceRecord::ControlBox };
    for (const int type : ssdpTypes) {
        if (!(searchTypeMask & (1 << type)))
            continue;
        if (SearchSource *source = sourceFor(type))
            appendSourceRecords(&deviceList, type, source->takeDeviceRecords());
    }
    return deviceList;
}

namespace {

void fillDeviceRecord(DeviceRecord &record, const UtilitySearchCamInfo &info)
{
    record.searchType = DeviceRecord::BroadcastSearch;
    record.mac = info.mac;
    record.model = info.model;
    record.fwVersion = info.fwVersion;
    record.ip = info.ip;
    record.mask = info.mask;
    record.gateway = info.gateway;
    record.name = info.name;
    record.dhcp = info.dhcp;
    record.dns1 = info.dns1;
    record.dns2 = info.dns2;
    record.ipv6 = info.ipv6;
    record.serialNo = info.serialNo;
}

} // namespace

DeviceRecord SearchManager::toDeviceRecord(const UtilitySearchCamInfo &info)
{
    DeviceRecord record;
    fillDeviceRecord(record, info);
    return record;
}

void SearchManager::appendUtilityRecords(QList<DeviceRecord> *list, const QList<UtilitySearchCamInfo> &infos)
{
    list->reserve(list->size() + infos.size());
    for (const UtilitySearchCamInfo &info : infos) {
        if (info.name.isEmpty() || info.model.isEmpty())
            continue;
        // Filled where it lies: QList copies what append is given, and each
        // copied text would cost another pair of atomic reference counts.
        list->append(DeviceRecord());
        fillDeviceRecord(list->last(), info);
    }
}

void SearchManager::appendSourceRecords(QList<DeviceRecord> *list, int searchType,
                                        const QList<DeviceRecord> &records)
{
    for (const DeviceRecord &found : records) {
        // Only these fields come from an SSDP source: dhcp, mask, gateway,
        // DNS and IPv6 stay empty whatever the source filled in.
        DeviceRecord record;
        record.searchType = searchType;
        record.name = found.name;
        record.serialNo = found.serialNo;
        record.model = found.model;
        record.ip = found.ip;
        record.fwVersion = found.fwVersion;
        record.mac = found.mac.toLower();
        if (findSameMac(*list, record))
            continue;
        if (record.name.isEmpty() || record.model.isEmpty())
            continue;
        list->append(record);
    }
}

bool SearchManager::findSameMac(const QList<DeviceRecord> &list, const DeviceRecord &record)
{
    for (const DeviceRecord &listed : list) {
        if (listed.mac != record.mac)
            continue;
        appLog(LogSystem::LogMajorMsg, "Find same mac address.");
        appLog(LogSystem::LogMajorMsg, "old search type=%d, current search type=%d",
               listed.searchType, record.searchType);
        appLog(LogSystem::LogMajorMsg, "IP=%s, mac=%s, model=%s, name=%s, fwVersion=%s",
               qPrintable(listed.ip), qPrintable(listed.mac), qPrintable(listed.model),
               qPrintable(listed.name), qPrintable(listed.fwVersion));
        return true;
    }
    return false;
}

bool SearchManager::hasSameMac(const DeviceRecord &record) const
{
    return findSameMac(deviceList, record);
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
    if (searchType != DeviceRecord::DocumentCamera && searchType != DeviceRecord::ControlBox)
        return;
    if (source)
        sources.insert(searchType, source);
    else
        sources.remove(searchType);
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

int SearchManager::setPowerOn(const QString &ip, const QString &mac)
{
    // The text comes from the web page: nothing is kept or sent for a MAC
    // that could not be a camera's.
    if (!WakeOnLan::isMacText(mac)) {
        appLog(LogSystem::LogMajorMsg, "Power on refused: the MAC text (%d characters) is not six hex pairs joined by ':'.",
               int(mac.size()));
        return -1;
    }
    if (ip.isEmpty())
        return sendWakeOnLan(mac);
    wakeMac = mac;
    if (openViscaSockets() != 0)
        return -1;
    viscaControl->inquirePowerState(ip);
    viscaTimer->start();
    return 0;
}

int SearchManager::inquirePowerState(const QString &ip)
{
    if (openViscaSockets() != 0)
        return -1;
    return viscaControl->inquirePowerState(ip) < 0 ? -1 : 0;
}

bool SearchManager::isWaitingForPowerState() const
{
    return viscaTimer->isActive();
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
    return viscaControl->openSockets(QString()) == -1 ? -1 : 0;
}

void SearchManager::setMonitoring(bool on)
{
    viscaControl->setMonitoring(on);
}

bool SearchManager::refreshAddresses()
{
    utilitySearch->refreshAddresses();
    return viscaControl->refreshAddresses();
}

void SearchManager::viscaControlTimeout()
{
    appLog(LogSystem::LogMajorMsg, "Send visca control timeout.");
    emit emitWakeOnLanStage(sendWakeOnLan(wakeMac) == 0 ? WakeOnLanStarted : WakeOnLanRefused);
}

void SearchManager::receiveViscaOnlineState(QString strIp, int mode)
{
    viscaTimer->stop();
    QString status;
    if (mode == ViscaProtocol::PowerOn) {
        status = QStringLiteral("DEVICE_STATUS_ON");
        emit emitViscaStatus(ViscaPowerAlreadyOn);
    } else if (mode == ViscaProtocol::PowerStandby) {
        status = QStringLiteral("DEVICE_STATUS_STANDBY");
        viscaControl->setPowerState(strIp, 0);
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

void SearchManager::netInterfaceChanged()
{
    utilitySearch->refreshAddresses();
    emit emitNetInterfaceChanged();
}
