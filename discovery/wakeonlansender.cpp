#include "wakeonlansender.h"

#include "wakeonlan.h"

#include <QUdpSocket>

WakeOnLanSender::WakeOnLanSender(QObject *parent)
    : QObject(parent)
    , passTimer(new QTimer(this))
{
    passTimer->setSingleShot(true);
    // The spacing is part of what the camera sees; a coarse timer may be off
    // by 5 %, which would blur the 300 ms rhythm.
    passTimer->setTimerType(Qt::PreciseTimer);
    connect(passTimer, &QTimer::timeout, this, &WakeOnLanSender::passTimerFunc);
}

WakeOnLanSender::~WakeOnLanSender() = default;

void WakeOnLanSender::setPassFunction(PassFunction function)
{
    passFunction = std::move(function);
}

bool WakeOnLanSender::enqueue(const QByteArray &packet)
{
    if (busy) {
        if (queue.size() >= MaxQueuedSequences)
            return false;
        queue.append(packet);
        ++accepted;
        return true;
    }
    ++accepted;
    startSequence(packet);
    return true;
}

void WakeOnLanSender::startSequence(const QByteArray &packet)
{
    busy = true;
    current = packet;
    passIndex = 0;
    runPass();
}

void WakeOnLanSender::runPass()
{
    const int index = passIndex;
    if (passFunction)
        passFunction(current);
    else
        sendToBroadcastAddresses(current);
    passTimer->start(WakeOnLan::delayAfterPass(index));
    emit passSent(index);
}

void WakeOnLanSender::passTimerFunc()
{
    ++passIndex;
    if (passIndex < WakeOnLan::TotalPasses) {
        runPass();
        return;
    }
    busy = false;
    current.clear();
    ++done;
    emit sequenceFinished();
    if (!busy && !queue.isEmpty())
        startSequence(queue.takeFirst());
}

void WakeOnLanSender::sendToBroadcastAddresses(const QByteArray &packet)
{
    if (!socket)
        socket = new QUdpSocket(this);
    const QList<QHostAddress> targets = WakeOnLan::broadcastAddresses();
    for (const QHostAddress &target : targets)
        socket->writeDatagram(packet, target, WakeOnLan::Port);
}
