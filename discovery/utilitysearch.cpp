#include "utilitysearch.h"

#include "applog.h"
#include "discoveryservice.h"
#include "networkinterfacemonitor.h"
#include "routelookup.h"
#include "utilityprotocol.h"

#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSet>
#include <QUdpSocket>

namespace {

// What the duplicate filter keeps of a refusal, whatever its size.
constexpr char InvalidIdKey[] = "Invalid ID";

// A fleet answering at once must not overflow the socket queue before the
// event loop gets to it.
constexpr int ReceiveBufferBytes = 32 * 1024 * 1024;

int interfaceIndexOf(const QHostAddress &address)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip() == address)
                return interface.index();
        }
    }
    return 0;
}

} // namespace

UtilitySearch *UtilitySearch::getInstance()
{
    DiscoveryService *const service = DiscoveryService::getInstance();
    return service ? service->utilitySearch() : nullptr;
}

UtilitySearch::UtilitySearch(NetworkInterfaceMonitor *monitor, QObject *parent)
    : SearchSource(parent)
    , monitor(monitor)
    , queryA(UtilityProtocol::queryText(UtilityProtocol::Query::A))
    , queryB(UtilityProtocol::queryText(UtilityProtocol::Query::B))
{
    qRegisterMetaType<UtilitySearch::SettingFailCase>();
    if (monitor)
        monitor->getAddresses(localAddresses);
    clock.start();
}

UtilitySearch::~UtilitySearch()
{
    monitor = nullptr;
    closeSockets();
    deviceList.clear();
}

void UtilitySearch::stopDiscovery()
{
    stopSearch();
    closeSockets();
}

void UtilitySearch::startSearch(QString onlyAddress)
{
    deviceList.clear();
    replyFilter.clear();
    deviceListFullLogged = false;
    closeSockets();

    for (const QHostAddress &address : qAsConst(localAddresses)) {
        if (!onlyAddress.isEmpty() && onlyAddress != address.toString())
            continue;
        bindAddressSocket(address);
    }
    if (!sockets.isEmpty())
        openBroadcastReceiver();

    for (QUdpSocket *socket : qAsConst(sockets)) {
        socket->writeDatagram(queryA, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
        socket->writeDatagram(queryB, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
    }
    // The reply comes back by unicast to the query's source address, so the
    // query leaves from the address the kernel routes the target from: a
    // camera behind a router has no way back to another adapter's subnet.
    if (!sockets.isEmpty()) {
        for (const QHostAddress &target : qAsConst(extraTargets)) {
            QUdpSocket *const sender = routedSender(target);
            sender->writeDatagram(queryA, target, UtilityProtocol::Port);
            sender->writeDatagram(queryB, target, UtilityProtocol::Port);
        }
    }
}

QUdpSocket *UtilitySearch::routedSender(const QHostAddress &target)
{
    const RouteLookup::Result route = RouteLookup::to(target.toIPv4Address());
    if (route.routed && route.source != 0) {
        const QHostAddress source(route.source);
        for (QUdpSocket *socket : qAsConst(sockets)) {
            if (socket->localAddress() == source)
                return socket;
        }
        bindAddressSocket(source);
        if (sockets.last()->localAddress() == source)
            return sockets.last();
    }
    return sockets.first();
}

bool UtilitySearch::setUnicastTargets(const QList<QHostAddress> &targets)
{
    if (targets.size() > MaxUnicastTargets) {
        appLog(LogSystem::LogMajorMsg, "Unicast targets refused: %d given, at most %d.", int(targets.size()),
               MaxUnicastTargets);
        return false;
    }
    for (const QHostAddress &target : targets) {
        if (target.protocol() != QAbstractSocket::IPv4Protocol) {
            appLog(LogSystem::LogMajorMsg, "Unicast targets refused: only IPv4 addresses are searched.");
            return false;
        }
    }
    extraTargets = targets;
    return true;
}

QList<UtilitySearchCamInfo> UtilitySearch::takeDeviceList()
{
    if (!sockets.isEmpty() || broadcastReceiver)
        closeSockets();
    return deviceList.records();
}

void UtilitySearch::refreshAddresses()
{
    if (monitor)
        monitor->getAddresses(localAddresses);
}

void UtilitySearch::sendSetting(QByteArray record, const QString &cameraIp)
{
    appLog(LogSystem::LogMajorMsg, "UtilitySearch send setting.");
    const QByteArray text = UtilityProtocol::encodeWireRecord(record);

    const QHostAddress camera(cameraIp.isEmpty() ? listedAddressOf(record) : cameraIp);
    const bool routed = camera.protocol() == QAbstractSocket::IPv4Protocol && extraTargets.contains(camera);
    const QHostAddress source = routed ? QHostAddress() : onLinkSource(camera);
    if (!source.isNull()) {
        QUdpSocket *sender = nullptr;
        for (QUdpSocket *socket : qAsConst(sockets)) {
            if (socket->localAddress() == source) {
                sender = socket;
                break;
            }
        }
        if (!sender) {
            bindAddressSocket(source);
            if (!sockets.isEmpty() && sockets.last()->localAddress() == source)
                sender = sockets.last();
        }
        if (sender) {
            openBroadcastReceiver();
            appLog(LogSystem::LogMajorMsg, "UtilitySearch send setting by unicast to %s.", qPrintable(camera.toString()));
            sender->writeDatagram(text, camera, UtilityProtocol::Port);
            return;
        }
    }

    // One record per local address: sockets stay open until the next search,
    // so sending on all of them would hand a camera the same change once more
    // for every earlier Apply, and once more again during a running search.
    QSet<quint32> addressesWithSocket;
    for (const QUdpSocket *socket : qAsConst(sockets))
        addressesWithSocket.insert(socket->localAddress().toIPv4Address());
    for (const QHostAddress &address : qAsConst(localAddresses)) {
        if (!addressesWithSocket.contains(address.toIPv4Address()))
            bindAddressSocket(address);
    }
    if (!sockets.isEmpty())
        openBroadcastReceiver();

    // A camera found through a unicast target goes by unicast alone.
    if (routed && !sockets.isEmpty()) {
        appLog(LogSystem::LogMajorMsg, "UtilitySearch send setting by unicast to %s.", qPrintable(camera.toString()));
        routedSender(camera)->writeDatagram(text, camera, UtilityProtocol::Port);
        return;
    }
    appLog(LogSystem::LogMajorMsg, "UtilitySearch send setting by broadcast: %s is on no adapter's link.",
           camera.isNull() ? "the camera's address is unknown, it" : qPrintable(camera.toString()));
    QSet<quint32> sentFrom;
    for (QUdpSocket *socket : qAsConst(sockets)) {
        const quint32 source = socket->localAddress().toIPv4Address();
        if (sentFrom.contains(source))
            continue;
        sentFrom.insert(source);
        socket->writeDatagram(text, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
    }
}

void UtilitySearch::stopSearch()
{
    QMutexLocker locker(&instanceLock);
    for (BatchDatagramReceiver *receiver : qAsConst(receivers))
        receiver->stop();
}

void UtilitySearch::bindAddressSocket(const QHostAddress &address)
{
    QUdpSocket *const socket = bindSocket(address);
    if (!socket)
        return;
    appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp success, port = %d, address = %s ",
           int(UtilityProtocol::Port), qPrintable(address.toString()));
    sockets.append(socket);
    addReceiver(socket, quint64(sockets.size()), false);

    const quint32 ipv4 = address.toIPv4Address();
    if (!boundAddresses.contains(ipv4)) {
        const int interfaceIndex = interfaceIndexOf(address);
        boundAddresses.insert(ipv4, interfaceIndex);
        if (interfaceIndex > 0)
            searchInterfaces.insert(interfaceIndex);
    }
}

void UtilitySearch::openBroadcastReceiver()
{
    if (broadcastReceiver)
        return;
    // Failing that, unicast replies still reach the address-bound sockets.
    QUdpSocket *const socket = bindSocket(QHostAddress(QHostAddress::AnyIPv4));
    if (!socket)
        return;
    broadcastReceiver = socket;
    addReceiver(socket, 0, true);
}

QUdpSocket *UtilitySearch::bindSocket(const QHostAddress &address)
{
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(address, UtilityProtocol::Port, QAbstractSocket::ReuseAddressHint)) {
        appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp fail, port = %d, address = %s ",
               int(UtilityProtocol::Port), qPrintable(address.toString()));
        socket->close();
        delete socket;
        return nullptr;
    }
    BatchDatagramReceiver::enlargeReceiveBuffer(socket, ReceiveBufferBytes);
    return socket;
}

void UtilitySearch::addReceiver(QUdpSocket *socket, quint64 ordinal, bool wildcard)
{
    auto *receiver = new BatchDatagramReceiver(socket, socket);
    connect(receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [this, ordinal, wildcard](const BatchDatagramReceiver::Datagram *datagrams, int count) {
                utilitySearchBrcRecvFunc(datagrams, count, ordinal, wildcard);
            });
    receivers.append(receiver);
}

void UtilitySearch::closeSockets()
{
    const bool wasSearching = !sockets.isEmpty() || broadcastReceiver;
    logHeldRefusals(refusalLog.finish());
    if (const int held = refusedReplyLog.finish())
        appLog(LogSystem::LogMajorMsg, "\"Refused reply\" repeated %d more times.", held);
    // A drain further up the stack sees this and stops reading.
    ++socketGeneration;
    // The receivers' duplicate descriptors keep the port bound until they are
    // closed too; the receivers themselves go with their sockets.
    for (BatchDatagramReceiver *receiver : qAsConst(receivers))
        receiver->close();
    receivers.clear();
    // deleteLater: a slot reached from one of our signals may end the search
    // while a socket is still being read further up the stack.
    for (QUdpSocket *socket : qAsConst(sockets)) {
        socket->close();
        socket->deleteLater();
    }
    sockets.clear();
    if (broadcastReceiver) {
        broadcastReceiver->close();
        broadcastReceiver->deleteLater();
        broadcastReceiver = nullptr;
    }
    boundAddresses.clear();
    searchInterfaces.clear();
    if (wasSearching)
        emit finished();
}

void UtilitySearch::utilitySearchBrcRecvFunc(const BatchDatagramReceiver::Datagram *datagrams, int count,
                                             quint64 ordinal, bool wildcard)
{
    // A slot reached from our signals may end the search: the rest of the
    // batch is not ours then.
    const quint64 generation = socketGeneration;
    const qint64 now = clock.elapsed();
    for (int i = 0; i < count && generation == socketGeneration; ++i)
        takeDatagram(datagrams[i], ordinal, wildcard, now);
}

void UtilitySearch::takeDatagram(const BatchDatagramReceiver::Datagram &datagram, quint64 ordinal, bool wildcard,
                                 qint64 nowMs)
{
    // Queries and settings records, ours included, come back on port 8000.
    if (datagram.size == UtilityProtocol::WireRecordSize)
        return;
    if (wildcard && !keepsBroadcastDatagram(datagram.hasDestination, datagram.destination, datagram.interfaceIndex))
        return;
    // Only replies and refusals are worth remembering, and of a refusal only
    // that it was one: anything else on the port (junk of any size) is
    // dropped here, before the filter keeps a copy of it.
    const UtilityProtocol::DatagramKind kind = UtilityProtocol::classifyDatagram(datagram.data, datagram.size);
    const char *key = datagram.data;
    int keySize = datagram.size;
    switch (kind) {
    case UtilityProtocol::DatagramKind::ShortReply:
    case UtilityProtocol::DatagramKind::LongReply:
        // Junk of a reply's length is dropped before the filter keeps a copy.
        if (refusesReply(datagram.data, datagram.size, datagram.senderIpv4))
            return;
        break;
    case UtilityProtocol::DatagramKind::InvalidId:
        key = InvalidIdKey;
        keySize = int(sizeof InvalidIdKey);
        break;
    case UtilityProtocol::DatagramKind::WireRecord:
    case UtilityProtocol::DatagramKind::Other:
        return;
    }
    const quint64 path = (ordinal << 32) | quint32(datagram.interfaceIndex);
    if (!replyFilter.accept(key, keySize, datagram.senderIpv4, datagram.senderPort, path, nowMs))
        return;
    handlePayload(datagram.data, datagram.size);
}

bool UtilitySearch::keepsBroadcastDatagram(const QNetworkDatagram &datagram) const
{
    bool isIpv4 = false;
    const quint32 destination = datagram.destinationAddress().toIPv4Address(&isIpv4);
    return keepsBroadcastDatagram(isIpv4, destination, int(datagram.interfaceIndex()));
}

bool UtilitySearch::keepsBroadcastDatagram(bool hasDestination, quint32 destination, int interfaceIndex) const
{
    if (hasDestination && boundAddresses.contains(destination))
        return true;
    if (interfaceIndex <= 0 || !searchInterfaces.contains(interfaceIndex))
        return false;
    // Arrived on an adapter of the search, but addressed to one of our own
    // addresses that the search does not use: not ours.
    if (hasDestination && isLocalIpv4(destination))
        return false;
    return true;
}

QHostAddress UtilitySearch::onLinkSource(const QHostAddress &camera) const
{
    bool isIpv4 = false;
    const quint32 target = camera.toIPv4Address(&isIpv4);
    if (!isIpv4 || target == 0)
        return QHostAddress();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (!(interface.flags() & QNetworkInterface::IsUp) || (interface.flags() & QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            bool entryIpv4 = false;
            const quint32 local = entry.ip().toIPv4Address(&entryIpv4);
            const int prefix = entry.prefixLength();
            if (!entryIpv4 || !isLocalIpv4(local) || prefix < 1 || prefix > 30)
                continue;
            const quint32 mask = ~quint32(0) << (32 - prefix);
            // The subnet's own and broadcast addresses are no camera's.
            if ((local & mask) != (target & mask) || (target & ~mask) == 0 || (target & ~mask) == ~mask
                || target == local)
                continue;
            return entry.ip();
        }
    }
    return QHostAddress();
}

QString UtilitySearch::listedAddressOf(const QByteArray &record) const
{
    UtilityProtocol::Settings settings;
    if (!UtilityProtocol::parseSettingsRecord(record, &settings))
        return QString();
    const QString mac = UtilityProtocol::macToText(settings.mac);
    for (const UtilitySearchCamInfo &info : deviceList.records()) {
        if (info.mac.compare(mac, Qt::CaseInsensitive) == 0)
            return info.ip;
    }
    return QString();
}

bool UtilitySearch::isLocalIpv4(quint32 address) const
{
    for (const QHostAddress &local : localAddresses) {
        if (local.protocol() == QAbstractSocket::IPv4Protocol && local.toIPv4Address() == address)
            return true;
    }
    return false;
}

void UtilitySearch::logHeldRefusals(int held)
{
    if (held > 0)
        appLog(LogSystem::LogMajorMsg, "\"ID or Password fail.\" repeated %d more times.", held);
}

void UtilitySearch::handleDatagram(const QByteArray &payload)
{
    const UtilityProtocol::DatagramKind kind = UtilityProtocol::classifyDatagram(payload);
    if ((kind == UtilityProtocol::DatagramKind::ShortReply || kind == UtilityProtocol::DatagramKind::LongReply)
        && refusesReply(payload.constData(), payload.size(), 0))
        return;
    handlePayload(payload.constData(), payload.size());
}

bool UtilitySearch::refusesReply(const char *data, int size, quint32 senderIpv4)
{
    const UtilityProtocol::ReplyFault fault = UtilityProtocol::replyFault(data, size);
    if (fault == UtilityProtocol::ReplyFault::None)
        return false;
    if (refusedReplyLog.admitLine(clock.elapsed(), "Refused reply")) {
        appLog(LogSystem::LogMajorMsg, "Refused reply from %s: %s.", qPrintable(QHostAddress(senderIpv4).toString()),
               UtilityProtocol::replyFaultName(fault));
    }
    return true;
}

void UtilitySearch::handlePayload(const char *data, int size)
{
    switch (UtilityProtocol::classifyDatagram(data, size)) {
    case UtilityProtocol::DatagramKind::ShortReply:
    case UtilityProtocol::DatagramKind::LongReply: {
        UtilitySearchCamInfo info;
        if (!UtilityProtocol::parseReply(data, size, &info, &recurringTexts))
            return;
        const QString ip = info.ip;
        switch (deviceList.merge(std::move(info))) {
        case UtilityDeviceList::MergeResult::IpChanged:
            appLog(LogSystem::LogMajorMsg, "IP Change - Updating IP=[%s]", qPrintable(ip));
            break;
        case UtilityDeviceList::MergeResult::Refused:
            if (!deviceListFullLogged) {
                deviceListFullLogged = true;
                appLog(LogSystem::LogMajorMsg, "Device list full at %d cameras; further new cameras of this search are dropped.",
                       UtilityDeviceList::MaxDevices);
            }
            break;
        case UtilityDeviceList::MergeResult::Appended:
            emit deviceFound(deviceList.records().last());
            break;
        case UtilityDeviceList::MergeResult::Updated:
            break;
        }
        return;
    }
    case UtilityProtocol::DatagramKind::InvalidId: {
        // Any host can send refusals without end: the line is written at
        // most once a second, with the count of those held back.
        int held = 0;
        if (refusalLog.admit(clock.elapsed(), &held)) {
            logHeldRefusals(held);
            appLog(LogSystem::LogMajorMsg, "ID or Password fail.");
        }
        emit emitUtilityRecvSettingFail(SettingUnauthorized);
        return;
    }
    case UtilityProtocol::DatagramKind::WireRecord:
    case UtilityProtocol::DatagramKind::Other:
        return;
    }
}
