#ifndef BOXPNPMANAGER_H
#define BOXPNPMANAGER_H

#include "doccamupnpdata.h"
#include "searchsource.h"
#include "ssdpfoundlist.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class NetworkInterfaceMonitor;
class QUdpSocket;

// Finds the power-management control boxes: multicasts the service
// announcement on port 1988 from every local IPv4 address (or the one bind
// address) and collects the boxes' M-SEARCH-style answers, which arrive on
// port 1988 or 1688, one record per MAC text. One instance per process,
// shared by use count.
class BoxPnPManager : public QObject, public SearchSource
{
    Q_OBJECT

public:
    static constexpr int MaxFoundDevices = SsdpFoundList::MaxFoundDevices;
    static constexpr int MaxRefusalLogs = SsdpFoundList::MaxRefusalLogs;

    static BoxPnPManager *getInstance();
    static void releaseInstance();

    void setBindAddress(const QString &address) override;
    // Ends the search and returns what it found.
    QList<DocCamUpnpData> takeFoundBoxes();
    QList<DeviceRecord> takeDeviceRecords() override;
    void stopDiscovery() override;

public slots:
    void startBroadcast() override;

private slots:
    void ssdpReadyRead();
    void newssdpReadyRead();
    void searchAllDocCam();

private:
    BoxPnPManager();
    ~BoxPnPManager() override;
    Q_DISABLE_COPY(BoxPnPManager)

    void openSockets(const QList<QHostAddress> &addresses);
    QUdpSocket *openSocket(const QHostAddress &address, quint16 port, const char *joinSuccess,
                           const char *joinFailure);
    void readSocket(QUdpSocket *socket);
    void ssdpHandler(const QByteArray &packet, const QString &ipAddress);
    void closeSockets();

    QList<QHostAddress> localAddresses;
    QList<QUdpSocket *> sockets;
    QString bindAddress;
    NetworkInterfaceMonitor *monitor = nullptr;
    // One record per MAC text.
    SsdpFoundList found;
};

#endif // BOXPNPMANAGER_H
