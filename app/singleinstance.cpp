#include "singleinstance.h"

#include "applog.h"
#include "sessionsharedmemorykey.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>

#include <cstring>

QString SingleInstance::sessionKey()
{
    return SessionSharedMemoryKey::forCurrentSession(QStringLiteral("Pathmere"));
}

SingleInstance::SingleInstance(QObject *parent)
    : SingleInstance(sessionKey(), parent)
{
}

SingleInstance::SingleInstance(const QString &segmentKey, QObject *parent)
    : QObject(parent)
    , segment(segmentKey)
    , listener(new QUdpSocket(this))
{
    connect(listener, &QUdpSocket::readyRead, this, &SingleInstance::noticeReceived);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claimSegment(bool hide)
{
    // A killed instance leaves its segment behind; nobody is attached to it
    // any more, so this removes it and the create below succeeds.
    SessionSharedMemoryKey::removeStaleSegment(segment.key());

    if (segment.create(segmentSize, QSharedMemory::ReadWrite)) {
        owner = true;
        appLog(LogSystem::LogMajorMsg, hide ? "Start hide shareMemory.create success." : "shareMemory.create success.");
        return true;
    }
    if (hide)
        return false;

    appLog(LogSystem::LogMajorMsg, "shareMemory.create fail.");
    if (!segment.attach(QSharedMemory::ReadWrite)) {
        appLog(LogSystem::LogMajorMsg, "shareMemory.attach() fail.");
        return false;
    }
    if (writeCommand(segment, showCommand()))
        appLog(LogSystem::LogMajorMsg, "shareMemory Show_Normal_UI.");
    segment.detach();
    return false;
}

bool SingleInstance::ownsSegment() const
{
    return owner && segment.isAttached();
}

void SingleInstance::releaseSegment()
{
    if (segment.isAttached())
        segment.detach();
    owner = false;
}

void SingleInstance::sendNotice()
{
    QUdpSocket sender;
    appLog(LogSystem::LogMajorMsg, "send message to server.");
    sender.writeDatagram(noticeText(), QHostAddress(QHostAddress::LocalHost), noticePort);
}

bool SingleInstance::bindListener()
{
    // With ShareAddress the instances of several sessions can all listen;
    // only a program that holds the port exclusively keeps us out.
    bool bound = listener->bind(QHostAddress::Any, noticePort, QAbstractSocket::ShareAddress);
    for (int attempt = 1; !bound && attempt <= bindRetries; ++attempt) {
        appLog(LogSystem::LogMajorMsg, "reTry bind:%d", attempt);
        QThread::msleep(bindRetryDelayMs);
        bound = listener->bind(QHostAddress::Any, noticePort, QAbstractSocket::ShareAddress);
    }
    return bound;
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
        appLog(LogSystem::LogMajorMsg, "Find ANOTHER_LOGIN.");
        scheduleRestart({ QStringLiteral("-another") });
        QCoreApplication::quit();
        emit anotherLoginReceived();
    }
}

bool SingleInstance::writeCommand(QSharedMemory &segment, const QByteArray &command)
{
    if (!segment.isAttached() || segment.size() < 1 || !segment.lock())
        return false;
    char *text = static_cast<char *>(segment.data());
    const int length = qMin(command.size(), segment.size() - 1);
    std::memcpy(text, command.constData(), static_cast<size_t>(length));
    // Terminated, so a shorter command never keeps the tail of a longer one
    // that was not read yet.
    text[length] = '\0';
    segment.unlock();
    return true;
}

QByteArray SingleInstance::takeCommand(QSharedMemory &segment)
{
    if (!segment.isAttached() || segment.size() < 1 || !segment.lock())
        return QByteArray();
    char *text = static_cast<char *>(segment.data());
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
