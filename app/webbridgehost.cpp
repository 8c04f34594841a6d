#include "webbridgehost.h"

#include "applog.h"
#include "core.h"
#include "localpeerserver.h"
#include "searchmanager.h"
#include "settingscheck.h"
#include "webanalytic.h"
#include "websocketclientwrapper.h"
#include "websockettransport.h"

#include "webpageserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWebChannel>
#include <QWebSocketServer>

WebBridgeHost::WebBridgeHost(SearchManager *searchManager, QObject *parent)
    : QObject(parent)
    , m_searchManager(searchManager)
{
    m_clock.start();
    m_analytic = new WebAnalytic;
    m_server = new QWebSocketServer(QStringLiteral("QWebChannel Standalone Example Server"),
                                    QWebSocketServer::NonSecureMode);
    // Any local user can connect to the loopback address: the TCP side takes
    // only our own user's connections and hands them to the WebSocket server
    // for the handshake (and its origin check).
    m_listener = new LocalPeerServer;
    connect(m_listener, &QTcpServer::newConnection, this, &WebBridgeHost::handOverConnections);
    connect(m_listener, &LocalPeerServer::refused, this, &WebBridgeHost::refusedConnection);
    // The program of another login session that this start has just told to
    // end still holds the port for the moments its ending takes; a program
    // that keeps it is given up on after ListenWaitMs.
    QElapsedTimer waited;
    waited.start();
    while (!m_listener->listen(QHostAddress::LocalHost, Port)) {
        if (waited.elapsed() >= ListenWaitMs) {
            appLog(LogSystem::LogMajorMsg, "Web socket server: %s", qPrintable(m_listener->errorString()));
            qFatal("Failed to open web socket server.");
        }
        QThread::msleep(ListenRetryMs);
    }

    m_clientWrapper = new WebSocketClientWrapper(m_server);
    m_channel = new QWebChannel;
    connect(m_clientWrapper, &WebSocketClientWrapper::clientConnected, m_channel, &QWebChannel::connectTo);

    connect(m_analytic, &WebAnalytic::UpdateDeviceList, this, &WebBridgeHost::UpdateDeviceListFromWeb);
    connect(m_analytic, &WebAnalytic::setDevicePowerStatus, this, &WebBridgeHost::setPowerStatusFromWeb);
    connect(m_analytic, &WebAnalytic::checkViscaStatus, this, &WebBridgeHost::checkViscaStatusFromWeb);

    m_core = new Core(m_analytic);
    connect(m_analytic, &WebAnalytic::sendText, m_core, &Core::sendText);
    m_channel->registerObject(QStringLiteral("core"), m_core);
}

void WebBridgeHost::startPageServer()
{
    if (m_pageServerTried)
        return;
    m_pageServerTried = true;
    // Without the page server the bridge still serves pages opened from a
    // file or from another local server, so its failure is not fatal.
    m_pageServer = std::make_unique<WebPageServer>(QCoreApplication::applicationDirPath() + QStringLiteral("/web"));
    if (m_pageServer->start(WebPageServer::DefaultPort)) {
        appLog(LogSystem::LogMajorMsg, "Web page at %s", qPrintable(m_pageServer->pageUrl()));
    } else {
        appLog(LogSystem::LogMajorMsg, "Web page not served: %s", qPrintable(m_pageServer->errorText()));
        m_pageServer.reset();
    }
}

QString WebBridgeHost::pageUrl() const
{
    return m_pageServer ? m_pageServer->pageUrl() : QString();
}

WebBridgeHost::~WebBridgeHost()
{
    m_pageServer.reset();
    // The channel first, so it forgets the transports before the server
    // takes their sockets away; then the port is free for a later window.
    delete m_channel;
    delete m_core;
    m_listener->close();
    m_server->close();
    delete m_clientWrapper;
    delete m_server;
    delete m_listener;
    delete m_analytic;
}

void WebBridgeHost::handOverConnections()
{
    while (QTcpSocket *const socket = m_listener->nextPendingConnection())
        m_server->handleConnection(socket);
}

void WebBridgeHost::refusedConnection(const QHostAddress &peer, quint16 peerPort)
{
    if (!m_refusedPeerLog.admitLine(m_clock.elapsed(), "Refused web socket connection"))
        return;
    appLog(LogSystem::LogMajorMsg, "Refused web socket connection from %s:%d: not a process of this user.",
           qPrintable(peer.toString()), int(peerPort));
}

void WebBridgeHost::UpdateDeviceListFromWeb()
{
    appLog(LogSystem::LogMajorMsg, "Update device list from web.");
    // The page's search leaves the table, the progress bar and the buttons
    // alone; the page gets whatever the coordinator holds six seconds later
    // (a precise timer: a coarse one may fire 5 % early).
    m_searchManager->refreshAddresses();
    m_searchManager->startSearch(QString());
    QTimer::singleShot(DeviceListDelayMs, Qt::PreciseTimer, this, &WebBridgeHost::sendDeviceListToWeb);
}

void WebBridgeHost::sendDeviceListToWeb()
{
    // The window's own list stays as it is: its rows are what the table
    // shows, and a row must keep naming the camera Apply writes to.
    const QList<DeviceRecord> webList = m_searchManager->getDeviceList();
    appLog(LogSystem::LogMajorMsg, "Send device list to web.(%d)", webList.size());
    m_analytic->replyDeviceList(webList);
}

void WebBridgeHost::setPowerStatusFromWeb(const QString &ip, const QString &mac, int status)
{
    // The texts come from the page: a real address or MAC is far shorter
    // than this, and a hostile one is not copied into the log whole.
    constexpr int MaxLoggedText = 64;
    appLog(LogSystem::LogMajorMsg, "set power status from web(ip=%s, mac=%s, status=%d)",
           ip.left(MaxLoggedText).toLatin1().constData(), mac.left(MaxLoggedText).toLatin1().constData(), status);
    if (status == 0) {
        m_analytic->sendErrorMessage(WebAnalytic::NotSupportPowerOff);
        return;
    }
    // The address is checked before the pair, so that the log names what
    // is wrong with it: never a broadcast or other special address, this
    // computer's, or one another device of the last search holds.
    quint32 target = 0;
    SettingsCheck::Surroundings around;
    around.devices = m_searchManager->lastDeviceList();
    around.host = SettingsCheck::hostAddresses();
    const QList<SettingsCheck::Problem> problems = SettingsCheck::parseAddress(ip, &target)
        ? SettingsCheck::checkTarget(target, mac, around)
        : QList<SettingsCheck::Problem>{{SettingsCheck::Field::Target, SettingsCheck::Kind::Malformed, 0,
                                         QStringLiteral("is no dotted IPv4 address")}};
    if (!problems.isEmpty()) {
        appLog(LogSystem::LogMajorMsg, "%s",
               qPrintable(QStringLiteral("Power on refused: %1 %2.")
                              .arg(ip.left(MaxLoggedText), problems.first().reason)));
        m_analytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
        return;
    }
    // And only to a camera the last search found, at the address it
    // answered from: a page cannot aim them elsewhere.
    if (!m_searchManager->isListedDevice(ip, mac)) {
        if (m_refusedPowerLog.admitLine(m_clock.elapsed(), "Power request refused")) {
            appLog(LogSystem::LogMajorMsg, "Power request refused: %s and %s are not a pair of the last search.",
                   ip.left(MaxLoggedText).toLatin1().constData(), mac.left(MaxLoggedText).toLatin1().constData());
        }
        m_analytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
        return;
    }
    // One still waiting for its camera's power state is replaced, as the
    // time-out of a single request would be restarted.
    if (m_powerOn && m_powerOn->isWaitingForPowerState()) {
        m_powerOn->kill();
        m_powerOn->deleteLater();
    }
    auto *job = new PowerOnJob(m_searchManager, ip, mac, this);
    if (!job->start()) {
        job->deleteLater();
        m_analytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
        return;
    }
    m_powerOn = job;
    // Accepted requests are answered when their outcome is known.
    connect(job, &PowerOnJob::stageReached, this, [this](PowerOnJob::Stage stage) {
        if (stage == PowerOnJob::WakeOnLanStarted)
            m_analytic->sendStatusMessage(WebAnalytic::ViscaControlTimeout);
    });
    connect(job, &PowerOnJob::finished, this, &WebBridgeHost::powerOnFinished);
    connect(job, &PowerOnJob::finished, job, &QObject::deleteLater);
}

void WebBridgeHost::powerOnFinished(PowerOnJob::Result result)
{
    switch (result) {
    case PowerOnJob::AlreadyOn:
        receiveViscaState(SearchManager::ViscaPowerAlreadyOn);
        break;
    case PowerOnJob::SwitchedOn:
        receiveViscaState(SearchManager::ViscaCommandCompleted);
        break;
    case PowerOnJob::WakeOnLanSent:
        m_analytic->sendStatusMessage(WebAnalytic::WolSendCompleted);
        break;
    case PowerOnJob::WakeOnLanRefused:
    case PowerOnJob::SocketsFailed:
    case PowerOnJob::Refused:
        m_analytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
        break;
    case PowerOnJob::CommandNotCompleted:
    case PowerOnJob::WakeOnLanUnanswered:
        // The camera said nothing more; nor does the page hear more.
        break;
    }
}

void WebBridgeHost::checkViscaStatusFromWeb()
{
    // A page can ask without end; the line is written at most once a second.
    int held = 0;
    if (m_statusLog.admit(m_clock.elapsed(), &held)) {
        if (held > 0)
            appLog(LogSystem::LogMajorMsg, "\"Check visca status from web.\" repeated %d more times.", held);
        appLog(LogSystem::LogMajorMsg, "Check visca status from web.");
    }
    if (m_searchManager->openViscaSockets() == 0)
        m_analytic->sendStatusMessage(WebAnalytic::ViscaBindSuccess);
    else
        m_analytic->sendErrorMessage(WebAnalytic::UdpSocketBindFail);
}

void WebBridgeHost::receiveViscaState(SearchManager::ViscaStatus status)
{
    appLog(LogSystem::LogMajorMsg, "Pathmere receive visca stats:%d", int(status));
    if (status == SearchManager::ViscaPowerAlreadyOn)
        m_analytic->sendErrorMessage(WebAnalytic::WolPowerAlreadyOn);
    else if (status == SearchManager::ViscaCommandCompleted)
        m_analytic->sendStatusMessage(WebAnalytic::ViscaSendCmdCompleted);
}
