#ifndef VISCAOIPCONTROL_H
#define VISCAOIPCONTROL_H

#include "viscacommandtable.h"
#include "viscaprotocol.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

class NetworkInterfaceMonitor;
class QUdpSocket;

// Reads and switches a camera's power state with VISCA over IP: one UDP
// socket per local IPv4 address, unicast to the camera's port 52381, and the
// last message per camera remembered so each reply can be understood. The
// discovery service owns the one instance and hands it the new addresses
// after an adapter change.
class ViscaOipControl : public QObject
{
    Q_OBJECT

public:
    // monitor gives the local addresses (none when null).
    explicit ViscaOipControl(NetworkInterfaceMonitor *monitor, QObject *parent = nullptr);
    ~ViscaOipControl() override;

    // The discovery service's instance (null while none lives).
    static ViscaOipControl *getInstance();

    // Copies the monitor's current address list; false when it has none.
    bool refreshAddresses();
    int openSockets(const QString &onlyAddress);
    int setPowerState(const QString &ip, int power);
    int inquirePowerState(const QString &ip);

    // Acts on one received datagram as if it came from sender. Every socket's
    // datagrams pass through here.
    void handleDatagram(const QByteArray &datagram, const QHostAddress &sender);

    QList<QHostAddress> localAddresses() const { return addresses; }
    int socketCount() const { return sockets.size(); }
    ViscaCommandEntry commandEntry(const QString &ip) const { return commandTable.entry(ip); }

signals:
    void viscaOipControlInquiryPowerStatusReply(QString strIp, ViscaProtocol::PowerMode mode);
    void viscaCmdCompleted();

private slots:
    void viscaOipCtrlRecvFunc();

private:
    Q_DISABLE_COPY(ViscaOipControl)

    void closeSockets();
    int sendMessage(const QString &ip, const QByteArray &payload);

    NetworkInterfaceMonitor *monitor = nullptr;
    QList<QHostAddress> addresses;
    QList<QUdpSocket *> sockets;
    ViscaCommandTable commandTable;
    QMutex sendMutex;
};

Q_DECLARE_METATYPE(ViscaProtocol::PowerMode)

#endif // VISCAOIPCONTROL_H
