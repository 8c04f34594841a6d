#ifndef CAMERASIMULATOR_H
#define CAMERASIMULATOR_H

#include "camsimconfig.h"
#include "eventlog.h"
#include "interfaceaddresses.h"

#include <QHash>
#include <QSet>
#include <QObject>
#include <QVector>

class QNetworkDatagram;
class OnvifPeers;
class SsdpPeers;
class QUdpSocket;

// The camera side of the utility search, VISCA over IP and Wake-on-LAN for
// every configured camera, on wildcard sockets of the namespace it runs in.
class CameraSimulator : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CameraSimulator)

public:
    CameraSimulator(const CamsimConfig &config, QObject *parent = nullptr);
    ~CameraSimulator() override;

    // Claims the owned addresses and binds the three ports; reports "ready".
    bool start();
    // Gives back the addresses that were added and reports "stopped".
    void stop();

private slots:
    void utilityRecvFunc();
    void viscaRecvFunc();
    void wakeOnLanRecvFunc();

private:
    QUdpSocket *bindPort(quint16 port);
    void handleUtility(const QNetworkDatagram &datagram);
    void answerQuery(const QNetworkDatagram &query, UtilityProtocol::RecordKind kind);
    void handleSettings(const QNetworkDatagram &datagram, const QByteArray &record);
    void handleVisca(const QNetworkDatagram &datagram);
    bool sendUtility(int index, const QByteArray &payload, const QNetworkDatagram &request);
    void rebuildAddressIndex();
    static quint32 subnetBroadcastOf(const QString &ip, const QString &mask);

    CamsimConfig m_config;
    EventLog m_log;
    InterfaceAddresses m_addresses;
    QUdpSocket *m_utilitySocket = nullptr;
    QUdpSocket *m_viscaSocket = nullptr;
    QUdpSocket *m_wolSocket = nullptr;
    SsdpPeers *m_ssdpPeers = nullptr;
    OnvifPeers *m_onvifPeers = nullptr;
    QHash<QString, int> m_byMac;   // MAC text -> camera index
    QHash<QString, int> m_byIp;    // owned address -> camera index
    QSet<QString> m_broadcasts;    // directed broadcast addresses of this namespace's subnets
    // Per camera: the address it stands on in this namespace, which is its
    // own unless a move to a non-documentation address was refused.
    QVector<QString> m_standsOn;
    bool m_stopped = false;
};

#endif // CAMERASIMULATOR_H
