#include "utilitysearch.h"

#include "applog.h"
#include "networkinterfacemonitor.h"
#include "utilityprotocol.h"

#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <sys/socket.h>

namespace {

QMutex instanceMutex;
UtilitySearch *instance = nullptr;
int useCount = 0;

// A fleet answering at once must not overflow the socket queue before the
// event loop gets to it.
constexpr int ReceiveBufferBytes = 32 * 1024 * 1024;

void enlargeReceiveBuffer(QUdpSocket *socket)
{
    const int fd = int(socket->socketDescriptor());
    const int size = ReceiveBufferBytes;
    // As root the kernel's rmem_max cap can be passed over; otherwise take
    // what the cap allows.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, size);
}

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
    QMutexLocker locker(&instanceMutex);
    if (!instance)
        instance = new UtilitySearch;
    ++useCount;
    return instance;
}

void UtilitySearch::releaseInstance()
{
    QMutexLocker locker(&instanceMutex);
    if (useCount <= 0)
        return;
    if (--useCount == 0) {
        delete instance;
        instance = nullptr;
    }
}

UtilitySearch::UtilitySearch()
    : queryA(UtilityProtocol::queryText(UtilityProtocol::Query::A))
    , queryB(UtilityProtocol::queryText(UtilityProtocol::Query::B))
{
    monitor = NetworkInterfaceMonitor::getInstance();
    monitor->getAddresses(localAddresses);
    clock.start();
}

UtilitySearch::~UtilitySearch()
{
    NetworkInterfaceMonitor::releaseInstance();
    monitor = nullptr;
    closeSockets();
    // releaseInstance() holds the process-wide mutex while deleting us.
    deviceList.clear();
}

void UtilitySearch::startSearch(QString onlyAddress)
{
    deviceList.clear();
    replyFilter.clear();
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

void UtilitySearch::sendSetting(QByteArray record)
{
    appLog(LogSystem::LogMajorMsg, "UtilitySearch send setting.");
    const QByteArray text = UtilityProtocol::encodeWireRecord(record);

    for (const QHostAddress &address : qAsConst(localAddresses))
        bindAddressSocket(address);
    if (!sockets.isEmpty())
        openBroadcastReceiver();

    for (QUdpSocket *socket : qAsConst(sockets))
        socket->writeDatagram(text, QHostAddress(QHostAddress::Broadcast), UtilityProtocol::Port);
}

void UtilitySearch::stopSearch()
{
    QMutexLocker locker(&instanceLock);
    for (QUdpSocket *socket : qAsConst(sockets))
        disconnect(socket, &QUdpSocket::readyRead, this, &UtilitySearch::utilitySearchBrcRecvFunc);
    if (broadcastReceiver)
        disconnect(broadcastReceiver, &QUdpSocket::readyRead, this, &UtilitySearch::utilitySearchBrcRecvFunc);
}

void UtilitySearch::bindAddressSocket(const QHostAddress &address)
{
    const QString addressText = address.toString();
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(address, UtilityProtocol::Port, QAbstractSocket::ReuseAddressHint)) {
        appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp fail, port = %d, address = %s ",
               int(UtilityProtocol::Port), qPrintable(addressText));
        socket->close();
        delete socket;
        return;
    }
    appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp success, port = %d, address = %s ",
           int(UtilityProtocol::Port), qPrintable(addressText));
    enlargeReceiveBuffer(socket);
    connect(socket, &QUdpSocket::readyRead, this, &UtilitySearch::utilitySearchBrcRecvFunc);
    sockets.append(socket);

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
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), UtilityProtocol::Port,
                      QAbstractSocket::ReuseAddressHint)) {
        // Unicast replies still reach the address-bound sockets.
        appLog(LogSystem::LogMajorMsg, "UtilitySearch bind udp fail, port = %d, address = %s ",
               int(UtilityProtocol::Port), "0.0.0.0");
        socket->close();
        delete socket;
        return;
    }
    enlargeReceiveBuffer(socket);
    connect(socket, &QUdpSocket::readyRead, this, &UtilitySearch::utilitySearchBrcRecvFunc);
    broadcastReceiver = socket;
}

void UtilitySearch::closeSockets()
{
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
}

void UtilitySearch::utilitySearchBrcRecvFunc()
{
    // Every socket is drained on any readyRead: a burst of replies is read in
    // one go rather than one datagram per event.
    const QList<QUdpSocket *> bound = sockets;
    QUdpSocket *const receiver = broadcastReceiver;
    for (int i = 0; i < bound.size(); ++i)
        drainSocket(bound.at(i), quint64(i) + 1, false);
    if (receiver)
        drainSocket(receiver, 0, true);
}

void UtilitySearch::drainSocket(QUdpSocket *socket, quint64 ordinal, bool wildcard)
{
    while (socket->state() == QAbstractSocket::BoundState) {
        const qint64 size = socket->pendingDatagramSize();
        if (size < 0)
            break;
        const QNetworkDatagram datagram = socket->receiveDatagram(size);
        const QByteArray payload = datagram.data();
        // Queries and settings records, ours included, come back on port 8000.
        if (payload.size() == UtilityProtocol::WireRecordSize)
            continue;
        if (wildcard && !keepsBroadcastDatagram(datagram))
            continue;
        const quint64 path = (ordinal << 32) | quint32(datagram.interfaceIndex());
        if (!replyFilter.accept(payload, datagram.senderAddress(), quint16(datagram.senderPort()),
                                path, clock.elapsed()))
            continue;
        handleDatagram(payload);
    }
}

bool UtilitySearch::keepsBroadcastDatagram(const QNetworkDatagram &datagram) const
{
    bool isIpv4 = false;
    const quint32 destination = datagram.destinationAddress().toIPv4Address(&isIpv4);
    if (isIpv4 && boundAddresses.contains(destination))
        return true;

    const int interfaceIndex = int(datagram.interfaceIndex());
    if (interfaceIndex <= 0 || !searchInterfaces.contains(interfaceIndex))
        return false;
    // Arrived on an adapter of the search, but addressed to one of our own
    // addresses that the search does not use: not ours.
    if (isIpv4 && localAddresses.contains(datagram.destinationAddress()))
        return false;
    return true;
}

void UtilitySearch::handleDatagram(const QByteArray &payload)
{
    switch (UtilityProtocol::classifyDatagram(payload)) {
    case UtilityProtocol::DatagramKind::ShortReply:
    case UtilityProtocol::DatagramKind::LongReply: {
        UtilitySearchCamInfo info;
        if (!UtilityProtocol::parseReply(payload, &info))
            return;
        if (deviceList.merge(info) == UtilityDeviceList::MergeResult::IpChanged)
            appLog(LogSystem::LogMajorMsg, "IP Change - Updating IP=[%s]", qPrintable(info.ip));
        return;
    }
    case UtilityProtocol::DatagramKind::InvalidId:
        appLog(LogSystem::LogMajorMsg, "ID or Password fail.");
        emit emitUtilityRecvSettingFail(1);
        return;
    case UtilityProtocol::DatagramKind::WireRecord:
    case UtilityProtocol::DatagramKind::Other:
        return;
    }
}
