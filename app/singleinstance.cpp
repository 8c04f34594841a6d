#include "singleinstance.h"

#include "applog.h"
#include "sessionsharedmemorykey.h"
#include "socketowner.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>

#include <cstring>

#include <unistd.h>

QString SingleInstance::sessionKey()
{
    return SessionSharedMemoryKey::forCurrentSession(QStringLiteral("Pathmere"));
}

SingleInstance::SingleInstance(QObject *parent)
    : SingleInstance(sessionKey(), parent)
{
}

SingleInstance::SingleInstance(const QString &segmentKey, QObject *parent, const QString &keyFolder)
    : QObject(parent)
    , segment(segmentKey, keyFolder)
    , listener(new QUdpSocket(this))
{
    clock.start();
    connect(listener, &QUdpSocket::readyRead, this, &SingleInstance::noticeReceived);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claimSegment(bool hide)
{
    // A segment whose owner was killed (nobody attached any more) is removed
    // on the way; one of another user is never used.
    const SessionSegment::Outcome outcome = segment.create(segmentSize);
    for (const QString &refusal : segment.refusals())
        appLog(LogSystem::LogMajorMsg, "Refused shared memory: %s", qPrintable(refusal));

    switch (outcome) {
    case SessionSegment::Outcome::Created:
        owner = true;
        appLog(LogSystem::LogMajorMsg, hide ? "Start hide shareMemory.create success." : "shareMemory.create success.");
        return true;
    case SessionSegment::Outcome::Attached:
        break;
    case SessionSegment::Outcome::Missing:
    case SessionSegment::Outcome::Refused:
    case SessionSegment::Outcome::Failed:
        // Ending here would let anyone who can plant an object keep the
        // program from starting; without the segment a second start in this
        // session is not noticed, which is all that is lost.
        appLog(LogSystem::LogMajorMsg, "Running without the single-instance segment.");
        return true;
    }
    if (hide) {
        segment.detach();
        return false;
    }
    appLog(LogSystem::LogMajorMsg, "shareMemory.create fail.");
    if (writeCommand(segment, showCommand()))
        appLog(LogSystem::LogMajorMsg, "shareMemory Show_Normal_UI.");
    segment.detach();
    return false;
}

bool SingleInstance::ownsSegment() const
{
    return owner && segment.isOwner();
}

void SingleInstance::releaseSegment()
{
    segment.detach();
    owner = false;
}

void SingleInstance::sendNotice()
{
    appLog(LogSystem::LogMajorMsg, "send message to server.");
    // Bound without address sharing, so no other user can bind the same
    // port beside it while it stays open.
    delete noticeSender;
    noticeSender = new QUdpSocket(this);
    if (!noticeSender->bind(QHostAddress(QHostAddress::LocalHost), 0, QAbstractSocket::DontShareAddress))
        return;
    noticeSender->writeDatagram(noticeText(), QHostAddress(QHostAddress::LocalHost), noticePort);
}

QHostAddress SingleInstance::noticeSource() const
{
    return noticeSender ? noticeSender->localAddress() : QHostAddress();
}

quint16 SingleInstance::noticeSourcePort() const
{
    return noticeSender ? noticeSender->localPort() : 0;
}

bool SingleInstance::bindListener()
{
    // Loopback only: the notice comes from this machine. With ShareAddress
    // the instances of several sessions can all listen; only a program that
    // holds the port exclusively keeps us out.
    const QHostAddress loopback(QHostAddress::LocalHost);
    bool bound = listener->bind(loopback, noticePort, QAbstractSocket::ShareAddress);
    for (int attempt = 1; !bound && attempt <= bindRetries; ++attempt) {
        appLog(LogSystem::LogMajorMsg, "reTry bind:%d", attempt);
        QThread::msleep(bindRetryDelayMs);
        bound = listener->bind(loopback, noticePort, QAbstractSocket::ShareAddress);
    }
    return bound;
}

bool SingleInstance::isNoticeSenderTrusted(const QHostAddress &source, quint16 sourcePort, uint uid)
{
    if (!source.isLoopback() || sourcePort == 0)
        return false;
    const std::optional<uint> sender = SocketOwner::udpSenderUid(source, sourcePort);
    return sender && *sender == uid;
}

bool SingleInstance::isListening() const
{
    return listener->state() == QAbstractSocket::BoundState;
}

void SingleInstance::noticeReceived()
{
    while (listener->hasPendingDatagrams()) {
        appLog(LogSystem::LogMajorMsg, "UdpServer has Pending Data.");
        const QNetworkDatagram datagram = listener->receiveDatagram(listener->pendingDatagramSize());
        if (datagram.data() != noticeText())
            continue;
        if (!isNoticeSenderTrusted(datagram.senderAddress(), quint16(datagram.senderPort()), uint(getuid()))) {
            if (refusedNoticeLog.admitLine(clock.elapsed(), "Refused ANOTHER_LOGIN")) {
                appLog(LogSystem::LogMajorMsg, "Refused ANOTHER_LOGIN from %s:%d: not sent by a process of this user.",
                       qPrintable(datagram.senderAddress().toString()), datagram.senderPort());
            }
            continue;
        }
        appLog(LogSystem::LogMajorMsg, "Find ANOTHER_LOGIN.");
        scheduleRestart({ QStringLiteral("-another") });
        QCoreApplication::quit();
        emit anotherLoginReceived();
    }
}

bool SingleInstance::writeCommand(SessionSegment &segment, const QByteArray &command, int lockTimeoutMs)
{
    if (!segment.isAttached() || segment.size() < 1 || !segment.lock(lockTimeoutMs))
        return false;
    char *text = segment.data();
    const int length = qMin(command.size(), segment.size() - 1);
    std::memcpy(text, command.constData(), static_cast<size_t>(length));
    // Terminated, so a shorter command never keeps the tail of a longer one
    // that was not read yet.
    text[length] = '\0';
    segment.unlock();
    return true;
}

QByteArray SingleInstance::takeCommand(SessionSegment &segment, int lockTimeoutMs)
{
    if (!segment.isAttached() || segment.size() < 1 || !segment.lock(lockTimeoutMs))
        return QByteArray();
    char *text = segment.data();
    const int size = segment.size();
    const int length = static_cast<int>(qstrnlen(text, static_cast<uint>(size)));
    const QByteArray command(text, length);
    std::memset(text, 0, static_cast<size_t>(qMin(length + 1, size)));
    segment.unlock();
    return command;
}

void SingleInstance::scheduleRestart(const QStringList &arguments)
{
    restartScheduled = true;
    restartArguments = arguments;
}

bool SingleInstance::hasScheduledRestart() const
{
    return restartScheduled;
}

bool SingleInstance::runScheduledRestart()
{
    if (!restartScheduled)
        return false;
    restartScheduled = false;
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), restartArguments);
}
