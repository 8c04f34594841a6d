#ifndef WEBBRIDGEHOST_H
#define WEBBRIDGEHOST_H

#include "logrepeatlimiter.h"
#include "poweronjob.h"
#include "searchmanager.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <memory>

class Core;
class LocalPeerServer;
class QHostAddress;
class WebPageServer;
class QWebChannel;
class QWebSocketServer;
class WebAnalytic;
class WebSocketClientWrapper;

// The program's side of the local web page: the loopback WebSocket server
// carrying the web channel with "core", and the work behind the page's
// commands: the device list, the power-on (a PowerOnJob, whose outcome goes
// straight back to the page) and the VISCA status. The page's commands come
// here from WebAnalytic directly; the version check goes to the update
// coordinator the same way.
class WebBridgeHost : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(WebBridgeHost)

public:
    static constexpr quint16 Port = 15248;
    // How long after the page's request its device list is sent.
    static constexpr int DeviceListDelayMs = 6000;

    // How long a port held by another program is waited for, and how often
    // it is tried meanwhile.
    static constexpr int ListenWaitMs = 3000;
    static constexpr int ListenRetryMs = 20;

    // Listens on 127.0.0.1:Port; ends the program when the port stays taken.
    explicit WebBridgeHost(SearchManager *searchManager, QObject *parent = nullptr);
    ~WebBridgeHost() override;

    WebAnalytic *analytic() const { return m_analytic; }
    // Serves the control page over HTTP beside the bridge. Apart from the
    // bridge: the page server's thread and folder check are nothing the
    // window's first frame needs. Once; a second call changes nothing.
    void startPageServer();
    // The control page's address, or empty before startPageServer() or when
    // it could not be served (no web/ folder beside the program, port taken).
    QString pageUrl() const;

    // Searches without touching the window; the list goes to the page
    // DeviceListDelayMs later.
    void UpdateDeviceListFromWeb();
    void sendDeviceListToWeb();
    // status 0 (power off) is refused; so is an address and MAC pair that
    // the last search did not list (the page names cameras from its list).
    // Anything else starts a power-on, whose outcome the page hears when
    // it comes.
    void setPowerStatusFromWeb(const QString &ip, const QString &mac, int status);
    void checkViscaStatusFromWeb();

private:
    void handOverConnections();
    void refusedConnection(const QHostAddress &peer, quint16 peerPort);
    void powerOnFinished(PowerOnJob::Result result);
    void receiveViscaState(SearchManager::ViscaStatus status);

    SearchManager *const m_searchManager;
    // None has a Qt parent: the order of deletion matters (see the destructor).
    WebAnalytic *m_analytic = nullptr;
    // Accepts the TCP connections (same user only) that m_server upgrades.
    LocalPeerServer *m_listener = nullptr;
    QWebSocketServer *m_server = nullptr;
    WebSocketClientWrapper *m_clientWrapper = nullptr;
    QWebChannel *m_channel = nullptr;
    Core *m_core = nullptr;
    std::unique_ptr<WebPageServer> m_pageServer;
    bool m_pageServerTried = false;
    // The page's power-on that still waits for the camera's power state; a
    // newer request replaces it.
    QPointer<PowerOnJob> m_powerOn;
    LogRepeatLimiter m_statusLog;
    LogRepeatLimiter m_refusedPeerLog;
    LogRepeatLimiter m_refusedPowerLog;
    QElapsedTimer m_clock;
};

#endif // WEBBRIDGEHOST_H
