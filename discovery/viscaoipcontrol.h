#ifndef VISCAOIPCONTROL_H
#define VISCAOIPCONTROL_H

#include "viscacommandtable.h"

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
// last message per camera remembered so each reply can be understood.
class ViscaOipControl : public QObject
{
    Q_OBJECT

public:
    static ViscaOipControl *getInstance();
    // Gives back one use; the instance is deleted when the last user is gone.
    static void releaseInstance();

    void setMonitoring(bool on);
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
    void viscaOipControlInquiryPowerStatusReply(QString strIp, int mode);
    void viscaCmdCompleted();
    void emitNetInterfaceChanged();

private slots:
    void viscaOipCtrlRecvFunc();
    void networkInterfaceChanged();

private:
    ViscaOipControl();
    ~ViscaOipControl() override;
    Q_DISABLE_COPY(ViscaOipControl)

    void closeSockets();
    int sendMessage(const QString &ip, const QByteArray &payload);

    NetworkInterfaceMonitor *monitor = nullptr;
    QList<QHostAddress> addresses;
    QList<QUdpSocket *> sockets;
    ViscaCommandTable commandTable;
    QMutex sendMutex;
};

#endif // VISCAOIPCONTROL_H
