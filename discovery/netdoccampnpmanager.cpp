#include "netdoccampnpmanager.h"

#include "applog.h"
#include "discoveryservice.h"
#include "ssdpprotocol.h"

#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUdpSocket>

namespace {

// A fleet's answers arrive within milliseconds of the M-SEARCH.
constexpr int ReceiveBufferBytes = 4 * 1024 * 1024;
// Set on a reply this class cut off itself, so its end is not logged twice.
const char RefusedProperty[] = "pathmereRefused";
// Peer text shown in a log line is cut to this and stripped of controls.
constexpr int MaxLoggedChars = 200;

QString loggable(const QString &text)
{
    QString shown = text.left(MaxLoggedChars);
    for (QChar &c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    }
    return shown;
}

} // namespace

NetDocCamPnPManager *NetDocCamPnPManager::getInstance()
{
    DiscoveryService *const service = DiscoveryService::getInstance();
    return service ? service->docCamManager() : nullptr;
}

NetDocCamPnPManager::NetDocCamPnPManager(NetworkInterfaceMonitor *monitor, QObject *parent)
    : SsdpSearchSource(monitor, [](const DocCamUpnpData &a, const DocCamUpnpData &b) { return a.macBytes == b.macBytes; },
                       parent)
{
    connect(this, &NetDocCamPnPManager::emitLLSyncDocCamStatus,
            this, &NetDocCamPnPManager::handleLLSyncDocCamStatus, Qt::QueuedConnection);
}

NetDocCamPnPManager::~NetDocCamPnPManager()
{
    stopDiscovery();
}

void NetDocCamPnPManager::beginSearch()
{
    runningFetches = 0;
    fetchQueue.clear();
    accessManager = new QNetworkAccessManager(this);
    // A description comes straight from the camera: a proxy from the
    // environment would carry the request to another host.
    accessManager->setProxy(QNetworkProxy::NoProxy);
    accessManager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(accessManager, &QNetworkAccessManager::finished, this, &NetDocCamPnPManager::detailDataReadyRead);
}

void NetDocCamPnPManager::openAddress(const QHostAddress &address)
{
    QUdpSocket *const socket = addSocket();
    connect(socket, &QUdpSocket::readyRead, this, &NetDocCamPnPManager::ssdpReadyRead);
    if (!socket->bind(address, 0)) {
        appLog(LogSystem::LogMajorMsg, "DocCam bind ssdpScoket fail:%s(%s)",
               qPrintable(address.toString()), qPrintable(socket->errorString()));
        return;
    }
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    appLog(LogSystem::LogMajorMsg, "DocCam bind ssdpSocket sucess:%s", qPrintable(address.toString()));
}

void NetDocCamPnPManager::searchAllDocCam()
{
    const QByteArray search = SsdpProtocol::mSearch();
    const QHostAddress group(QString::fromLatin1(SsdpProtocol::MulticastGroup));
    for (QUdpSocket *socket : searchSockets()) {
        // A socket without its address would send from wherever routing
        // puts it, not from the adapter it stands for.
        if (socket->state() == QAbstractSocket::BoundState)
            socket->writeDatagram(search, group, SsdpProtocol::SsdpPort);
    }
}

void NetDocCamPnPManager::ssdpReadyRead()
{
    readDatagrams(qobject_cast<QUdpSocket *>(sender()), "SSDP",
                  [this](const QByteArray &packet, const QHostAddress &from) { ssdpHandler(packet, from); });
}

void NetDocCamPnPManager::ssdpHandler(const QByteArray &packet, const QHostAddress &sender)
{
    const SsdpProtocol::Answer answer = SsdpProtocol::parseAnswer(packet);
    const QString host = loggable(answer.url.host());
    switch (answer.kind) {
    case SsdpProtocol::Answer::Ignored:
        return;
    case SsdpProtocol::Answer::NoLocation:
        appLog(LogSystem::LogMajorMsg, "SSDP data but no field LOCATION!");
        return;
    case SsdpProtocol::Answer::BadLocation:
        appLog(LogSystem::LogMajorMsg, "Can not parse LOCATION's url from location:%s",
               qPrintable(loggable(answer.location)));
        return;
    case SsdpProtocol::Answer::BadNts:
        appLog(LogSystem::LogMajorMsg, "notify sub type error form ip:%s", qPrintable(host));
        return;
    case SsdpProtocol::Answer::ByeBye:
    case SsdpProtocol::Answer::Fetch:
        break;
    }
    if (answer.cacheControl == SsdpProtocol::CacheControl::Zero)
        appLog(LogSystem::LogMajorMsg, "aCACHE-CONTROL expire time = 0?? form ip:%s", qPrintable(host));
    else if (answer.cacheControl == SsdpProtocol::CacheControl::Missing)
        appLog(LogSystem::LogMajorMsg, "no CACHE-CONTROL fileld form ip:%s", qPrintable(host));
    if (answer.kind != SsdpProtocol::Answer::Fetch || !accessManager)
        return;

    // Any peer can write any LOCATION: only the answering host itself is
    // asked, and only over plain http.
    const QHostAddress named(answer.url.host());
    const bool sameHost = named.protocol() == QAbstractSocket::IPv4Protocol
        && sender.toIPv4Address() == named.toIPv4Address() && !sender.isNull();
    if (answer.url.scheme() != QLatin1String("http") || !sameHost) {
        found.logRefusal(QStringLiteral("Description not fetched: LOCATION %1 is not an http address of the answering host %2.")
                       .arg(loggable(answer.location.trimmed()), sender.toString()));
        return;
    }
    if (runningFetches < MaxRunningFetches) {
        fetchDescription(answer.url);
    } else if (fetchQueue.size() < MaxQueuedFetches) {
        fetchQueue.enqueue(answer.url);
    } else {
        found.logRefusal(QStringLiteral("Description from %1 not fetched: %2 fetches are already waiting.")
                       .arg(sender.toString()).arg(MaxQueuedFetches));
    }
}

void NetDocCamPnPManager::fetchDescription(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *const reply = accessManager->get(request);
    // Flow control: the transfer pauses once one byte past the cap waits
    // unread, so a fast sender cannot fill memory before the check below runs.
    reply->setReadBufferSize(SsdpProtocol::MaxDescriptionSize + 1);
    ++runningFetches;
    watchReply(reply);
}

void NetDocCamPnPManager::startQueuedFetches()
{
    while (accessManager && runningFetches < MaxRunningFetches && !fetchQueue.isEmpty())
        fetchDescription(fetchQueue.dequeue());
}

void NetDocCamPnPManager::watchReply(QNetworkReply *reply)
{
    const QString host = reply->url().host();
    // Cut off as soon as the announced, received or buffered size passes
    // the cap; with the read buffer at the cap plus one byte, no more is held.
    auto checkSize = [this, reply, host](qint64 received, qint64 total) {
        if (reply->property(RefusedProperty).toBool())
            return;
        if (received <= SsdpProtocol::MaxDescriptionSize && total <= SsdpProtocol::MaxDescriptionSize
            && reply->bytesAvailable() <= SsdpProtocol::MaxDescriptionSize)
            return;
        reply->setProperty(RefusedProperty, true);
        found.logRefusal(QStringLiteral("Description from %1 refused: larger than %2 bytes.")
                       .arg(host).arg(SsdpProtocol::MaxDescriptionSize));
        reply->abort();
    };
    connect(reply, &QNetworkReply::downloadProgress, reply, checkSize);
    connect(reply, &QNetworkReply::readyRead, reply, [checkSize]() { checkSize(0, 0); });
    // One deadline for the whole fetch: a server that sends a byte now and
    // then would never trip a time-out that counts silence only.
    QTimer::singleShot(FetchTimeoutMs, reply, [this, reply, host]() {
        if (reply->isFinished() || reply->property(RefusedProperty).toBool())
            return;
        reply->setProperty(RefusedProperty, true);
        found.logRefusal(QStringLiteral("Description from %1 not fetched within %2 ms.").arg(host).arg(FetchTimeoutMs));
        reply->abort();
    });
}

void NetDocCamPnPManager::detailDataReadyRead(QNetworkReply *replay)
{
    replay->deleteLater();
    runningFetches = qMax(0, runningFetches - 1);
    // Queued, so the next fetch never starts inside the finished signal.
    QMetaObject::invokeMethod(this, &NetDocCamPnPManager::startQueuedFetches, Qt::QueuedConnection);
    if (replay->property(RefusedProperty).toBool())
        return;
    const QString ip = replay->url().host();
    if (replay->error() != QNetworkReply::NoError)
        return;
    const QByteArray body = replay->read(SsdpProtocol::MaxDescriptionSize + 1);
    if (body.size() > SsdpProtocol::MaxDescriptionSize) {
        found.logRefusal(QStringLiteral("Description from %1 refused: larger than %2 bytes.")
                       .arg(ip).arg(SsdpProtocol::MaxDescriptionSize));
        return;
    }
    if (body.isEmpty() || body.at(0) == '\0')
        return;

    const SsdpProtocol::Description description = SsdpProtocol::parseDescription(body, ip);
    switch (description.outcome) {
    case SsdpProtocol::Description::NoUdn:
        appLog(LogSystem::LogMajorMsg, "Can not get uuid form ip:%s", qPrintable(ip));
        return;
    case SsdpProtocol::Description::NoModelDescription:
        appLog(LogSystem::LogMajorMsg, "Cannot get modelDescription form ip:%s", qPrintable(ip));
        return;
    case SsdpProtocol::Description::TooFewFields:
        appLog(LogSystem::LogMajorMsg, "modelDescription parsing error form ip:%s", qPrintable(ip));
        return;
    case SsdpProtocol::Description::TooManyFields:
        found.logRefusal(QStringLiteral("modelDescription from %1 refused: more than %2 fields.")
                       .arg(ip).arg(SsdpProtocol::MaxDescriptionFields));
        return;
    case SsdpProtocol::Description::NameTooLong:
        found.logRefusal(QStringLiteral("modelDescription from %1 refused: a name of more than %2 characters.")
                       .arg(ip).arg(SsdpProtocol::MaxEncodedNameChars));
        return;
    case SsdpProtocol::Description::UnsupportedModel:
        return;
    case SsdpProtocol::Description::Ok:
        break;
    }
    if (description.macError)
        appLog(LogSystem::LogMajorMsg, "mac address parsing error form ip:%s", qPrintable(ip));
    if (description.bssidError)
        appLog(LogSystem::LogMajorMsg, "bssid parsing error form ip:%s", qPrintable(ip));
    emit emitLLSyncDocCamStatus(description.data);
}

void NetDocCamPnPManager::handleLLSyncDocCamStatus(DocCamUpnpData data)
{
    // One queued before the search ended is lost with the search's sockets.
    keep(data, QStringLiteral("Document camera %1 dropped: %2 cameras are listed already."));
}

void NetDocCamPnPManager::endSearch()
{
    if (accessManager) {
        disconnect(accessManager, nullptr, this, nullptr);
        // Running fetches end with the search.
        const QList<QNetworkReply *> replies = accessManager->findChildren<QNetworkReply *>();
        for (QNetworkReply *reply : replies) {
            reply->setProperty(RefusedProperty, true);
            disconnect(reply, nullptr, this, nullptr);
            reply->abort();
        }
        accessManager->deleteLater();
        accessManager = nullptr;
    }
    runningFetches = 0;
    fetchQueue.clear();
}
