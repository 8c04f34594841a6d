#ifndef ONVIFPEERS_H
#define ONVIFPEERS_H

#include "eventlog.h"
#include "localaddresscache.h"
#include "onvifdeviceprotocol.h"
#include "simcamera.h"
#include "wsdiscoveryprotocol.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QVector>

class InterfaceAddresses;
class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// The ONVIF side of camsim's cameras of kind onvif: answers WS-Discovery
// Probes on port 3702, announces Hello at start and Bye at stop, and serves
// the device service over HTTP with its UsernameToken login, clock, moves and
// reboots. Cameras move on the interface through the simulator's
// InterfaceAddresses, so they answer from wherever they now stand.
class OnvifPeers : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(OnvifPeers)

public:
    // A login's Created may differ from the camera's clock by this much.
    static constexpr int ClockToleranceSeconds = 300;
    // A reboot's silence before the camera comes back.
    static constexpr int RebootMs = 1000;
    // Header bytes of one request, before the body.
    static constexpr int MaxHeaderBytes = 8 * 1024;

    OnvifPeers(const QVector<SimCamera> &cameras, InterfaceAddresses *addresses, const EventLog &log, bool quiet,
               QObject *parent = nullptr);

    // Binds port 3702 and the device service ports and says Hello; false
    // (an "error" event written) when one cannot be opened.
    bool start();
    // Says Bye for every owned camera.
    void stop();

private slots:
    void discoveryRecvFunc();
    void serviceConnection();

private:
    struct Camera
    {
        SimCamera sim;
        QString lastAnswered;      // MessageID of the last Probe answered
        int probesToMiss = 0;
        bool rebooting = false;
        bool pendingMove = false;
        OnvifDeviceProtocol::Ipv4Setting pending;
    };

    void handleProbe(const WsDiscoveryProtocol::Message &probe, const QHostAddress &from, quint16 port,
                     const QHostAddress &to);
    void sendAnswer(int index, const QByteArray &answer, const QHostAddress &to, quint16 port);
    void announce(int index, bool hello);
    WsDiscoveryProtocol::Target targetOf(int index, const QHostAddress &towards);
    void serveRequest(QTcpSocket *socket);
    int cameraFor(const QHostAddress &local, const QByteArray &path) const;
    QByteArray answerCall(int index, const OnvifDeviceProtocol::Request &request, int *httpStatus, QString *result);
    void moveCamera(int index, const OnvifDeviceProtocol::Ipv4Setting &setting);
    void reboot(int index);
    QDateTime cameraNow(int index) const;

    QVector<Camera> m_cameras;
    QList<int> m_onvif;
    InterfaceAddresses *m_addresses;
    const EventLog &m_log;
    bool m_quiet = false;
    QUdpSocket *m_discoverySocket = nullptr;
    QUdpSocket *m_sendSocket = nullptr;
    QList<QTcpServer *> m_servers;
    LocalAddressCache m_localFor;
};

#endif // ONVIFPEERS_H
