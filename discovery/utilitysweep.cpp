#include "utilitysweep.h"

#include "applog.h"
#include "routelookup.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Replies of a whole site can arrive close together.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// Room for several ticks of datagrams, so a busy moment costs no EAGAIN.
constexpr int SendBufferBytes = 4 * 1024 * 1024;

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

// Sender, size and bytes folded into 64 bits, cheaper than hashing the bytes
// and good enough to tell a site's replies apart.
quint64 fingerprint(quint32 sender, const char *data, int size)
{
    constexpr quint64 Prime = 0x100000001b3ULL;
    quint64 folded = (quint64(sender) << 32 | quint32(size)) * Prime;
    int i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        folded = (folded ^ word) * Prime;
    }
    for (; i < size; ++i)
        folded = (folded ^ quint8(data[i])) * Prime;
    return folded ^ (folded >> 29);
}

} // namespace

UtilitySweep::UtilitySweep(QObject *parent)
    : QObject(parent)
    , queries{UtilityProtocol::queryText(UtilityProtocol::Query::A),
              UtilityProtocol::queryText(UtilityProtocol::Query::B)}
{
    pacing.setTimerType(Qt::PreciseTimer);
    pacing.setInterval(TickMs);
    connect(&pacing, &QTimer::timeout, this, &UtilitySweep::tick);
    replyWindow.setSingleShot(true);
    connect(&replyWindow, &QTimer::timeout, this, &UtilitySweep::end);
}

UtilitySweep::~UtilitySweep()
{
    closeSockets();
}

void UtilitySweep::setTargets(const Ipv4RangeSet &addresses)
{
    if (!running)
        targets = addresses;
}

void UtilitySweep::setRate(int pps)
{
    if (!running)
        ratePps = std::clamp(pps, SweepPlan::MinRatePps, SweepPlan::MaxRatePps);
}

void UtilitySweep::setReplyWindowMs(int milliseconds)
{
    if (!running)
        replyWindowMs = std::clamp(milliseconds, 0, SweepPlan::MaxReplyWindowMs);
}

SweepPlan UtilitySweep::plan() const
{
    return SweepPlan(targets.count(), ratePps, replyWindowMs);
}

void UtilitySweep::start()
{
    if (running)
        return;
    running = true;
    sending = false;
    failureText.clear();
    devices.clear();
    reported.clear();
    repliesSeen.clear();
    repliesRemembered = 0;
    recurringTexts.clear();
    state = SweepProgress(plan());
    cursor.rewind();
    pass = 0;
    query = 0;
    cachedBlock = 0xffffffffu;
    cachedLane = -1;
    sender.clear();
    senderLane = -1;
    credit = 0;
    lastProgressMs = -1;
    clock.start();

    // One look at the interfaces serves the whole start: each look asks the
    // kernel for every link and address anew.
    localAddresses.clear();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            bool isIpv4 = false;
            const quint32 ipv4 = entry.ip().toIPv4Address(&isIpv4);
            if (isIpv4 && !localAddresses.contains(ipv4))
                localAddresses.insert(ipv4, interface.index());
        }
    }

    QString error;
    if (targets.isEmpty())
        error = QStringLiteral("Nothing to sweep: no target address.");
    if (error.isEmpty() && !planRoutes(&error) && error.isEmpty())
        error = QStringLiteral("No route to the targets: the sweep ends before sending anything.");
    if (!error.isEmpty()) {
        // Every outcome reaches the caller from the event loop, after start()
        // has returned.
        QMetaObject::invokeMethod(this, [this, error] { fail(error); }, Qt::QueuedConnection);
        return;
    }
    if (!wildcard) {
        QString ignored;
        // Without it, unicast replies still reach the address-bound sockets.
        wildcard = bindSocket(0, &ignored);
        if (wildcard)
            addReceiver(wildcard, 0, true);
    }

    QStringList sources;
    for (const Lane &lane : lanes)
        sources << dotted(lane.source);
    appLog(LogSystem::LogMajorMsg, "Sweep of %s from %s.", qPrintable(state.plan.summary()),
           qPrintable(sources.join(QStringLiteral(", "))));
    sending = true;
    lastTickNs = clock.nsecsElapsed();
    pacing.start();
    // The first datagrams go out now, not a tick later.
    credit = std::min<double>(SweepPlan::Passes * SweepPlan::QueriesPerAddress, ratePps);
    tick();
}

bool UtilitySweep::planRoutes(QString *error)
{
    // Routes to a site are rarely narrower than a /24: one look-up per /24
    // block of the targets, at its first target address.
    for (const Ipv4RangeSet::Range &range : targets.ranges()) {
        for (quint64 block = range.first >> 8; block <= quint64(range.last >> 8); ++block) {
            if (laneOfBlock.contains(quint32(block)))
                continue;
            const quint32 probe = std::max(range.first, quint32(block << 8));
            const RouteLookup::Result route = RouteLookup::to(probe);
            if (!route.routed || route.source == 0) {
                *error = QStringLiteral("No route to %1 (%2): the sweep ends before sending anything.")
                             .arg(dotted(probe), route.routed ? QStringLiteral("no source address") : route.reason);
                return false;
            }
            const int lane = laneFor(route.source, error);
            if (lane < 0)
                return false;
            laneOfBlock.insert(quint32(block), lane);
        }
    }
    return true;
}

int UtilitySweep::laneFor(quint32 source, QString *error)
{
    for (size_t i = 0; i < lanes.size(); ++i) {
        if (lanes[i].source == source)
            return int(i);
    }
    QUdpSocket *const socket = bindSocket(source, error);
    if (!socket)
        return -1;
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SendBufferBytes);
    Lane lane;
    lane.socket = socket;
    lane.source = source;
    lane.interfaceIndex = localAddresses.value(source, 0);
    lanes.push_back(lane);
    addReceiver(socket, lanes.size(), false);
    return int(lanes.size()) - 1;
}

QUdpSocket *UtilitySweep::bindSocket(quint32 address, QString *error)
{
    auto *socket = new QUdpSocket(this);
    const QHostAddress host = address ? QHostAddress(address) : QHostAddress(QHostAddress::AnyIPv4);
    if (!socket->bind(host, UtilityProtocol::Port, QAbstractSocket::ReuseAddressHint)) {
        *error = QStringLiteral("Cannot use UDP port %1 on %2 (%3): the sweep ends before sending anything.")
                     .arg(UtilityProtocol::Port).arg(host.toString(), socket->errorString());
        delete socket;
        return nullptr;
    }
    BatchDatagramReceiver::enlargeReceiveBuffer(socket, ReceiveBufferBytes);
    return socket;
}

void UtilitySweep::addReceiver(QUdpSocket *socket, quint64 ordinal, bool isWildcard)
{
    auto *receiver = new BatchDatagramReceiver(socket, socket);
    connect(receiver, &BatchDatagramReceiver::datagramsReceived, this,
            [this, ordinal, isWildcard](const BatchDatagramReceiver::Datagram *datagrams, int count) {
                receive(datagrams, count, ordinal, isWildcard);
            });
    // While sending, the pacing timer wakes us anyway: replies wait for its
    // tick instead of waking the loop a few at a time, where the queue can
    // hold them that long.
    if (receiver->holdsBurst())
        receiver->setPolled(true);
    receivers.append(receiver);
}

int UtilitySweep::laneOf(quint32 address) const
{
    return laneOfBlock.value(address >> 8, -1);
}

void UtilitySweep::tick()
{
    if (!sending)
        return;
    // Reading hands cameras to slots, and one of them may end the sweep.
    if (!readPolled() || !sending)
        return;
    const qint64 now = clock.nsecsElapsed();
    credit += double(now - lastTickNs) * ratePps / 1e9;
    lastTickNs = now;
    const double ceiling = double(ratePps) * MaxCatchUpMs / 1000.0 + BatchDatagramSender::MaxBatch;
    credit = std::min(credit, ceiling);
    if (credit >= 1 && !sendBudget(quint64(credit)))
        return;
    reportProgress(false);
}

bool UtilitySweep::readPolled()
{
    // A slot reached from deviceFound may end the sweep, closing them all.
    const quint64 current = generation;
    const QList<BatchDatagramReceiver *> reading = receivers;
    for (BatchDatagramReceiver *receiver : reading) {
        receiver->readPending();
        if (generation != current)
            return false;
    }
    return true;
}

bool UtilitySweep::sendBudget(quint64 budget)
{
    quint64 sentBefore = state.datagramsSent;
    bool full = false;
    while (!full && state.datagramsSent - sentBefore < budget) {
        // Datagrams a full queue left over go first.
        if (sender.queued() == 0) {
            const quint64 room = budget - (state.datagramsSent - sentBefore);
            while (pass < SweepPlan::Passes && quint64(sender.queued()) < room
                   && sender.queued() < BatchDatagramSender::MaxBatch) {
                const quint32 address = cursor.address();
                const quint32 block = address >> 8;
                if (block != cachedBlock) {
                    cachedBlock = block;
                    cachedLane = laneOf(address);
                }
                if (sender.queued() > 0 && cachedLane != senderLane)
                    break;
                senderLane = cachedLane;
                sender.append(address, UtilityProtocol::Port, queries[query]);
                if (++query == SweepPlan::QueriesPerAddress) {
                    query = 0;
                    cursor.next();
                    if (cursor.atEnd()) {
                        cursor.rewind();
                        ++pass;
                    }
                }
            }
            if (sender.queued() == 0)
                break;
        }
        if (!flush(&full))
            return false;
    }
    credit -= double(state.datagramsSent - sentBefore);
    if (pass >= SweepPlan::Passes && sender.queued() == 0)
        sendingDone();
    return true;
}

bool UtilitySweep::flush(bool *full)
{
    int errorNumber = 0;
    const quint32 first = sender.queuedAddress(0);
    const int sent = sender.send(int(lanes[size_t(senderLane)].socket->socketDescriptor()), &errorNumber);
    state.datagramsSent += quint64(sent);
    if (errorNumber == 0)
        return true;
    if (errorNumber == EAGAIN || errorNumber == EWOULDBLOCK || errorNumber == ENOBUFS) {
        *full = true;
        return true;
    }
    const quint32 failedAt = sent > 0 ? sender.queuedAddress(0) : first;
    fail(QStringLiteral("Sending to %1 failed (%2): the sweep ends after %3 of %4 datagrams.")
             .arg(dotted(failedAt), QString::fromLocal8Bit(std::strerror(errorNumber)))
             .arg(state.datagramsSent).arg(state.plan.datagrams()));
    return false;
}

void UtilitySweep::sendingDone()
{
    sending = false;
    pacing.stop();
    state.elapsedMs = clock.elapsed();
    state.sendingEndedMs = state.elapsedMs;
    // The last replies come as they arrive: nothing else wakes us now.
    for (BatchDatagramReceiver *receiver : qAsConst(receivers))
        receiver->setPolled(false);
    replyWindow.start(replyWindowMs);
    reportProgress(true);
}

void UtilitySweep::receive(const BatchDatagramReceiver::Datagram *datagrams, int count, quint64 ordinal,
                           bool isWildcard)
{
    Q_UNUSED(ordinal)
    // A slot reached from deviceFound may end the sweep: the rest of the
    // batch is not ours then.
    const quint64 current = generation;
    for (int i = 0; i < count && current == generation; ++i) {
        const BatchDatagramReceiver::Datagram &datagram = datagrams[i];
        // Our own queries and those of other tools arrive on port 8000 too.
        if (datagram.size == UtilityProtocol::WireRecordSize)
            continue;
        if (isWildcard && !keepsWildcardDatagram(datagram))
            continue;
        if (!firstSight(datagram))
            continue;
        const UtilityProtocol::DatagramKind kind = UtilityProtocol::classifyDatagram(datagram.data, datagram.size);
        if (kind != UtilityProtocol::DatagramKind::ShortReply && kind != UtilityProtocol::DatagramKind::LongReply)
            continue;
        takeReply(datagram.data, datagram.size, datagram.senderIpv4);
    }
}

bool UtilitySweep::firstSight(const BatchDatagramReceiver::Datagram &datagram)
{
    // Each camera answers both queries in both passes, and one datagram may
    // reach the bound and the wildcard socket: bytes a sender already sent
    // would merge into the same record, so they are not parsed again. Past
    // the cap every datagram is parsed, which costs time and loses nothing.
    if (repliesRemembered >= MaxRememberedReplies)
        return true;
    // A repeat is found by a fingerprint of its sender and bytes folded a
    // word at a time, then one comparison: nothing is copied for it.
    const quint64 key = fingerprint(datagram.senderIpv4, datagram.data, datagram.size);
    QVector<SeenReply> &sameKey = repliesSeen[key];
    for (const SeenReply &seen : qAsConst(sameKey)) {
        if (seen.sender == datagram.senderIpv4 && seen.bytes.size() == datagram.size
            && std::memcmp(seen.bytes.constData(), datagram.data, size_t(datagram.size)) == 0)
            return false;
    }
    // Datagrams that keep sharing a fingerprint get parsed rather than each
    // compared with every one before it.
    if (sameKey.size() < MaxRememberedPerFingerprint) {
        sameKey.append({datagram.senderIpv4, QByteArray(datagram.data, datagram.size)});
        ++repliesRemembered;
    }
    return true;
}

bool UtilitySweep::keepsWildcardDatagram(const BatchDatagramReceiver::Datagram &datagram) const
{
    for (const Lane &lane : lanes) {
        if (datagram.hasDestination && datagram.destination == lane.source)
            return true;
    }
    // A broadcast that arrived on the link of one of our sources; not one
    // addressed to another of this computer's own addresses.
    if (datagram.hasDestination && localAddresses.contains(datagram.destination))
        return false;
    for (const Lane &lane : lanes) {
        if (datagram.interfaceIndex > 0 && datagram.interfaceIndex == lane.interfaceIndex)
            return true;
    }
    return false;
}

void UtilitySweep::takeReply(const char *data, int size, quint32 senderIpv4)
{
    const UtilityProtocol::ReplyFault fault = UtilityProtocol::replyFault(data, size);
    if (fault != UtilityProtocol::ReplyFault::None) {
        if (refusedReplyLog.admitLine(clock.elapsed(), "Refused reply"))
            appLog(LogSystem::LogMajorMsg, "Refused reply from %s: %s.", qPrintable(dotted(senderIpv4)),
                   UtilityProtocol::replyFaultName(fault));
        return;
    }
    UtilitySearchCamInfo info;
    if (!UtilityProtocol::parseReply(data, size, &info, &recurringTexts))
        return;
    int position = -1;
    const UtilityDeviceList::MergeResult result = devices.merge(std::move(info), &position);
    if (result == UtilityDeviceList::MergeResult::Refused || position < 0)
        return;
    const UtilitySearchCamInfo &merged = devices.records().at(position);
    // The device list keeps only cameras with a name and a model.
    const bool listed = !merged.name.isEmpty() && !merged.model.isEmpty();
    DeviceRecord record = listed ? merged : DeviceRecord();
    if (result == UtilityDeviceList::MergeResult::Appended) {
        reported.append(record);
        if (!listed)
            return;
        ++state.cameras;
    } else {
        DeviceRecord &known = reported[position];
        if (known == record)
            return;
        if (known.mac.isEmpty() && listed)
            ++state.cameras;
        known = record;
        if (!listed)
            return;
    }
    emit deviceFound(record);
}

void UtilitySweep::reportProgress(bool force)
{
    const qint64 now = clock.elapsed();
    if (!force && lastProgressMs >= 0 && now - lastProgressMs < ProgressIntervalMs)
        return;
    lastProgressMs = now;
    state.elapsedMs = now;
    emit progressChanged(state);
}

void UtilitySweep::fail(const QString &message)
{
    if (!running)
        return;
    failureText = message;
    appLog(LogSystem::LogMajorMsg, "%s", qPrintable(message));
    emit failed(message);
    end();
}

void UtilitySweep::stop()
{
    if (running)
        end();
}

void UtilitySweep::end()
{
    if (!running)
        return;
    running = false;
    sending = false;
    pacing.stop();
    replyWindow.stop();
    closeSockets();
    state.elapsedMs = clock.elapsed();
    state.finished = true;
    if (const int held = refusedReplyLog.finish())
        appLog(LogSystem::LogMajorMsg, "\"Refused reply\" repeated %d more times.", held);
    appLog(LogSystem::LogMajorMsg, "Sweep ended after %lld ms: %llu datagrams sent, %d cameras found.",
           state.elapsedMs, state.datagramsSent, state.cameras);
    emit progressChanged(state);
    emit finished();
}

void UtilitySweep::closeSockets()
{
    ++generation;
    for (BatchDatagramReceiver *receiver : qAsConst(receivers))
        receiver->close();
    receivers.clear();
    // deleteLater: this may run from a slot reached while a socket is read.
    for (const Lane &lane : lanes) {
        lane.socket->close();
        lane.socket->deleteLater();
    }
    lanes.clear();
    laneOfBlock.clear();
    if (wildcard) {
        wildcard->close();
        wildcard->deleteLater();
        wildcard = nullptr;
    }
    sender.clear();
    senderLane = -1;
}
