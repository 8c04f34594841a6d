#include "onvifsearch.h"

#include "applog.h"
#include "networkinterfacemonitor.h"

#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QUdpSocket>

namespace {

// Answers of a fleet arrive within the targets' half-second of random delay.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// The neighbour table is read again for an unknown address at most this often.
constexpr qint64 NeighbourRefreshMs = 100;

QNetworkInterface interfaceOf(const QHostAddress &address)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip() == address)
                return interface;
        }
    }
    return QNetworkInterface();
}

quint64 datagramKey(const char *data, int size, quint32 sender)
{
    return (quint64(qHashBits(data, size_t(size), sender)) << 32) ^ (quint64(sender) * 0x9E3779B97F4A7C15ull)
        ^ quint64(size);
}

} // namespace

OnvifSearch::OnvifSearch(QObject *parent)
    : QObject(parent)
{
    windowTimer.setSingleShot(true);
    connect(&windowTimer, &QTimer::timeout, this, &OnvifSearch::finish);
    announceTimer.setSingleShot(true);
    announceTimer.setInterval(25);
    connect(&announceTimer, &QTimer::timeout, this, [this]() { announce(false); });
    clock.start();
}

OnvifSearch::~OnvifSearch()
{
    closeSockets();
}

void OnvifSearch::setBindAddress(const QString &adapterIp)
{
    bindAddress = adapterIp;
}

void OnvifSearch::setWindowMs(int ms)
{
    windowMs = qMax(0, ms);
}

void OnvifSearch::setNeighbourTablePath(const QString &path)
{
    neighbourPath = path;
}

bool OnvifSearch::start()
{
    if (running)
        stop();
    ++generation;
    found.clear();
    announced = 0;
    announceTimer.stop();
    byEndpoint.clear();
    seenDatagrams.clear();
    neighbours.clear();
    neighboursAge.invalidate();
    refusalLogs = 0;
    sentProbes = 0;

    // Read here, not from the discovery service's monitor: the search also
    // runs on its own (the CLI's info, the benchmark) with no service alive.
    const QList<QHostAddress> addresses = NetworkInterfaceMonitor::localAddresses(QNetworkInterface::allAddresses());
    localAddresses.clear();
    for (const QHostAddress &address : qAsConst(addresses)) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            localAddresses.insert(address.toIPv4Address());
    }
    for (const QHostAddress &address : qAsConst(addresses)) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (!bindAddress.isEmpty() && bindAddress != address.toString())
            continue;
        openAdapter(address);
    }
    if (adapters.isEmpty()) {
        appLog(LogSystem::LogMajorMsg, "ONVIF search: no adapter to search from.");
        QMetaObject::invokeMethod(this, &OnvifSearch::finished, Qt::QueuedConnection);
        return false;
    }
    openListener();
    running = true;

    messageId = WsDiscoveryProtocol::newMessageId();
    probe = WsDiscoveryProtocol::probe(messageId);
    sendProbes(generation);
    // The copies carry the same MessageID: a camera answers the first it hears.
    const QVector<int> delays = WsDiscoveryProtocol::repeatDelays(
        WsDiscoveryProtocol::MulticastUdpRepeat,
        [](int lo, int hi) { return int(QRandomGenerator::global()->bounded(lo, hi + 1)); });
    int at = 0;
    for (const int delay : delays) {
        at += delay;
        const quint64 current = generation;
        QTimer::singleShot(at, this, [this, current]() { sendProbes(current); });
    }
    windowTimer.start(windowMs);
    return true;
}

void OnvifSearch::openAdapter(const QHostAddress &address)
{
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(address, 0)) {
        appLog(LogSystem::LogMajorMsg, "ONVIF search bind fail, address = %s (%s)", qPrintable(address.toString()),
               qPrintable(socket->errorString()));
        delete socket;
        return;
    }
    BatchDatagramReceiver::enlargeReceiveBuffer(socket, ReceiveBufferBytes);
    const QNetworkInterface interface = interfaceOf(address);
    if (interface.isValid())
        socket->setMulticastInterface(interface);
    appLog(LogSystem::LogMajorMsg, "ONVIF search bind success, address = %s", qPrintable(address.toString()));
    auto *receiver = new BatchDatagramReceiver(socket, socket);
    connect(receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [this](const BatchDatagramReceiver::Datagram *datagrams, int count) { takeDatagrams(datagrams, count, false); });
    receivers.append(receiver);
    adapters.append({address, interface.index(), socket});
    if (interface.index() > 0)
        searchInterfaces.insert(interface.index());
}

void OnvifSearch::openListener()
{
    // Hello and Bye go to the group on port 3702. Without this socket (the
    // port taken by a program that does not share it) the search still
    // hears every ProbeMatch.
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), WsDiscoveryProtocol::Port,
                      QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        appLog(LogSystem::LogMajorMsg, "ONVIF search cannot hear Hello and Bye: port %d: %s",
               int(WsDiscoveryProtocol::Port), qPrintable(socket->errorString()));
        delete socket;
        return;
    }
    const QHostAddress group(QString::fromLatin1(WsDiscoveryProtocol::MulticastGroup));
    for (const Adapter &adapter : qAsConst(adapters)) {
        const QNetworkInterface interface = QNetworkInterface::interfaceFromIndex(adapter.interfaceIndex);
        if (interface.isValid() && !socket->joinMulticastGroup(group, interface))
            appLog(LogSystem::LogMajorMsg, "ONVIF search cannot join %s on %s: %s", qPrintable(group.toString()),
                   qPrintable(interface.name()), qPrintable(socket->errorString()));
    }
    listener = socket;
    auto *receiver = new BatchDatagramReceiver(socket, socket);
    connect(receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [this](const BatchDatagramReceiver::Datagram *datagrams, int count) { takeDatagrams(datagrams, count, true); });
    receivers.append(receiver);
}

void OnvifSearch::sendProbes(quint64 forGeneration)
{
    if (!running || forGeneration != generation)
        return;
    const QHostAddress group(QString::fromLatin1(WsDiscoveryProtocol::MulticastGroup));
    for (const Adapter &adapter : qAsConst(adapters)) {
        if (adapter.socket->writeDatagram(probe, group, WsDiscoveryProtocol::Port) == probe.size())
            ++sentProbes;
    }
}

void OnvifSearch::takeDatagrams(const BatchDatagramReceiver::Datagram *datagrams, int count, bool fromListener)
{
    // A slot reached from deviceFound may end the search: the rest is not ours.
    const quint64 current = generation;
    for (int i = 0; i < count && running && current == generation; ++i)
        takeDatagram(datagrams[i], fromListener);
}

void OnvifSearch::takeDatagram(const BatchDatagramReceiver::Datagram &datagram, bool fromListener)
{
    if (datagram.size <= 0 || datagram.size > WsDiscoveryProtocol::MaxDatagramSize)
        return;
    // Our own Probe loops back to the listener, and so does any message of
    // an interface the search does not use.
    if (fromListener && (localAddresses.contains(datagram.senderIpv4)
                         || (datagram.interfaceIndex > 0 && !searchInterfaces.contains(datagram.interfaceIndex))))
        return;
    const quint64 key = datagramKey(datagram.data, datagram.size, datagram.senderIpv4);
    if (seenDatagrams.contains(key))
        return;
    if (seenDatagrams.size() < 4 * MaxDevices)
        seenDatagrams.insert(key);

    const QHostAddress sender(datagram.senderIpv4);
    const WsDiscoveryProtocol::Message message =
        WsDiscoveryProtocol::parse(QByteArray::fromRawData(datagram.data, datagram.size));
    switch (message.kind) {
    case WsDiscoveryProtocol::Message::Refused:
        refuse(QStringLiteral("WS-Discovery message from %1 refused: %2.").arg(sender.toString(), message.refusal));
        return;
    case WsDiscoveryProtocol::Message::Probe:
    case WsDiscoveryProtocol::Message::Other:
        return;
    case WsDiscoveryProtocol::Message::ProbeMatches:
        // Only an answer to our own Probe counts.
        if (message.relatesTo != messageId) {
            refuse(QStringLiteral("ProbeMatches from %1 refused: it answers no Probe of this search.").arg(sender.toString()));
            return;
        }
        for (const WsDiscoveryProtocol::Target &target : message.targets)
            addDevice(target, sender);
        return;
    case WsDiscoveryProtocol::Message::Hello:
        if (fromListener)
            addDevice(message.targets.first(), sender);
        return;
    case WsDiscoveryProtocol::Message::Bye:
        if (fromListener)
            removeDevice(message.targets.first().endpoint);
        return;
    }
}

void OnvifSearch::addDevice(const WsDiscoveryProtocol::Target &target, const QHostAddress &sender)
{
    if (byEndpoint.contains(target.endpoint))
        return;
    if (found.size() >= MaxDevices) {
        refuse(QStringLiteral("ONVIF device %1 dropped: %2 devices are listed already.").arg(sender.toString()).arg(MaxDevices));
        return;
    }
    Device device;
    device.endpoint = target.endpoint;
    device.address = sender;
    device.target = target;
    const QStringList usable = WsDiscoveryProtocol::usableXAddrs(target.xaddrs, sender);
    if (!usable.isEmpty())
        device.serviceUrl = usable.first();
    else if (!target.xaddrs.isEmpty())
        refuse(QStringLiteral("XAddrs of %1 not used: none is an http(s) address of the answering host %2.")
                   .arg(target.endpoint, sender.toString()));

    DeviceRecord &record = device.record;
    record.searchType = DeviceRecord::Onvif;
    record.ip = sender.toString();
    record.model = !target.hardware.isEmpty() ? target.hardware : QStringLiteral("ONVIF");
    record.name = !target.name.isEmpty() ? target.name : record.model;
    record.mac = macOf(sender);
    record.endpoint = device.endpoint;
    record.serviceUrl = device.serviceUrl;
    device.heardAtMs = clock.elapsed();

    byEndpoint.insert(device.endpoint, found.size());
    found.append(device);
    announce(false);
}

void OnvifSearch::announce(bool waitNoLonger)
{
    const quint64 current = generation;
    while (announced < found.size()) {
        Device &device = found[announced];
        if (device.record.mac.isEmpty()) {
            device.record.mac = macOf(device.address);
            if (device.record.mac.isEmpty() && !waitNoLonger && clock.elapsed() - device.heardAtMs < MacWaitMs) {
                announceTimer.start();
                return;
            }
        }
        ++announced;
        const DeviceRecord record = device.record;
        emit deviceFound(record);
        // A slot may have ended this search, and finish() pushed the rest.
        if (current != generation)
            return;
    }
}

void OnvifSearch::removeDevice(const QString &endpoint)
{
    const int index = byEndpoint.value(endpoint, -1);
    if (index < 0)
        return;
    const DeviceRecord record = found.at(index).record;
    const bool wasAnnounced = index < announced;
    found.removeAt(index);
    if (wasAnnounced)
        --announced;
    byEndpoint.clear();
    for (int i = 0; i < found.size(); ++i)
        byEndpoint.insert(found.at(i).endpoint, i);
    // A device never pushed leaves without a word.
    if (wasAnnounced)
        emit deviceLeft(record);
    else
        announce(false);
}

QString OnvifSearch::macOf(const QHostAddress &address)
{
    const quint32 ipv4 = address.toIPv4Address();
    auto it = neighbours.constFind(ipv4);
    if (it == neighbours.constEnd() && (!neighboursAge.isValid() || neighboursAge.elapsed() >= NeighbourRefreshMs)) {
        neighbours = NeighbourTable::read(neighbourPath);
        neighboursAge.start();
        it = neighbours.constFind(ipv4);
    }
    return it == neighbours.constEnd() ? QString() : it->mac;
}

QList<DeviceRecord> OnvifSearch::deviceRecords() const
{
    QList<DeviceRecord> records;
    records.reserve(found.size());
    for (const Device &device : found)
        records.append(device.record);
    return records;
}

const OnvifSearch::Device *OnvifSearch::device(const QString &endpoint) const
{
    const int index = byEndpoint.value(endpoint, -1);
    return index < 0 ? nullptr : &found.at(index);
}

void OnvifSearch::refuse(const QString &text)
{
    if (refusalLogs >= MaxRefusalLogs)
        return;
    if (!refusalRepeats.admitLine(clock.elapsed(), "ONVIF refusal"))
        return;
    ++refusalLogs;
    appLog(LogSystem::LogMajorMsg, "%s", qPrintable(text));
}

void OnvifSearch::stop()
{
    if (running)
        finish();
}

void OnvifSearch::finish()
{
    if (!running)
        return;
    running = false;
    ++generation;
    windowTimer.stop();
    closeSockets();
    announceTimer.stop();
    // Cameras heard last, whose ARP exchange came after their answer, get
    // one more look; what was pushed already stays as it was pushed.
    if (announced < found.size()) {
        neighbours = NeighbourTable::read(neighbourPath);
        neighboursAge.start();
    }
    announce(true);
    if (const int held = refusalRepeats.finish())
        appLog(LogSystem::LogMajorMsg, "\"ONVIF refusal\" repeated %d more times.", held);
    emit finished();
}

void OnvifSearch::closeSockets()
{
    for (BatchDatagramReceiver *receiver : qAsConst(receivers))
        receiver->close();
    receivers.clear();
    // deleteLater: the search may end from a slot reached while a socket is read.
    for (const Adapter &adapter : qAsConst(adapters)) {
        adapter.socket->close();
        adapter.socket->deleteLater();
    }
    adapters.clear();
    if (listener) {
        listener->close();
        listener->deleteLater();
        listener = nullptr;
    }
    searchInterfaces.clear();
}
