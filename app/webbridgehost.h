#ifndef WEBBRIDGEHOST_H
#define WEBBRIDGEHOST_H

#include "logrepeatlimiter.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class Core;
class LocalPeerServer;
class QHostAddress;
class WebPageServer;
class QWebChannel;
class QWebSocketServer;
class SearchManager;
class WebAnalytic;
class WebSocketClientWrapper;

// The program's side of the local web page: the loopback WebSocket server
// carrying the web channel with "core", and the work behind the page's
// commands (device list, power, VISCA status, version check). The window
// connects the page's commands to its slots, which call in here.
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
    // The control page served over HTTP beside the bridge, or empty when
    // it could not be (no web/ folder beside the program, port taken).
    QString pageUrl() const;

    // Searches without touching the window; the list goes to the page
    // DeviceListDelayMs later (deviceListDue).
    void startDeviceListSearch();
    void sendDeviceList();
    // status 0 (power off) is refused; so is an address and MAC pair that
    // the last search did not list (the page names cameras from its list).
    // Anything else powers the camera on, answered later through
    // viscaStateReceived().
    void setPowerStatus(const QString &ip, const QString &mac, int status);
    void checkViscaStatus();
    void viscaStateReceived(int status);
    // A power-on that fell back to Wake-on-LAN: the page hears the VISCA
    // time-out and the end of the sequence.
    void wakeOnLanStageReached(int stage);

signals:
    void deviceListDue();

private:
    void handOverConnections();
    void refusedConnection(const QHostAddress &peer, quint16 peerPort);

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
    LogRepeatLimiter m_statusLog;
    LogRepeatLimiter m_refusedPeerLog;
    LogRepeatLimiter m_refusedPowerLog;
    QElapsedTimer m_clock;
};

#endif // WEBBRIDGEHOST_H
