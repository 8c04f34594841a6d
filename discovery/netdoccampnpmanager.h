#ifndef NETDOCCAMPNPMANAGER_H
#define NETDOCCAMPNPMANAGER_H

#include "doccamupnpdata.h"
#include "searchsource.h"
#include "ssdpfoundlist.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QUrl>

class NetworkInterfaceMonitor;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QUdpSocket;

// Finds the wireless document cameras: multicasts an M-SEARCH from every
// local IPv4 address (or the one bind address), checks the SSDP answers,
// fetches each camera's description document over HTTP and keeps one record
// per MAC. One instance per process, shared by use count.
//
// A LOCATION is whatever a LAN peer writes, so a description is fetched only
// over plain http from the very address that answered, without proxy or
// redirect, capped in size and in time; everything is cut off when the
// search ends.
class NetDocCamPnPManager : public QObject, public SearchSource
{
    Q_OBJECT

public:
    // A description fetch ends within this time, inside the coordinator's
    // five-second window that starts 500 ms before the M-SEARCH.
    static constexpr int FetchTimeoutMs = 3000;
    // Fetches running at once: a burst of answers must not open a
    // connection (and a descriptor) per camera in the same moment.
    static constexpr int MaxRunningFetches = 64;
    // Fetches waiting for a free slot: one per camera the list can hold;
    // past that a flood of answers is refused.
    static constexpr int MaxQueuedFetches = 4096;
    static constexpr int MaxFoundDevices = SsdpFoundList::MaxFoundDevices;
    static constexpr int MaxRefusalLogs = SsdpFoundList::MaxRefusalLogs;

    static NetDocCamPnPManager *getInstance();
    static void releaseInstance();

    void setBindAddress(const QString &address) override;
    // Ends the search and returns what it found.
    QList<DocCamUpnpData> takeFoundDocCams();
    QList<DeviceRecord> takeDeviceRecords() override;
    void stopDiscovery() override;

public slots:
    void startBroadcast() override;

signals:
    void emitLLSyncDocCamStatus(DocCamUpnpData docCamUpnpData);

private slots:
    void ssdpReadyRead();
    void handleLLSyncDocCamStatus(DocCamUpnpData data);
    void searchAllDocCam();
    void detailDataReadyRead(QNetworkReply *replay);

private:
    NetDocCamPnPManager();
    ~NetDocCamPnPManager() override;
    Q_DISABLE_COPY(NetDocCamPnPManager)

    void openSearchSockets(const QList<QHostAddress> &addresses);
    void ssdpHandler(const QByteArray &packet, const QHostAddress &sender);
    void fetchDescription(const QUrl &url);
    void startQueuedFetches();
    void watchReply(QNetworkReply *reply);
    void closeSearch();

    QNetworkAccessManager *accessManager = nullptr;
    QList<QHostAddress> localAddresses;
    QList<QUdpSocket *> searchSockets;
    QString bindAddress;
    NetworkInterfaceMonitor *monitor = nullptr;
    int runningFetches = 0;
    QQueue<QUrl> fetchQueue;
    // One record per MAC.
    SsdpFoundList found;
};

#endif // NETDOCCAMPNPMANAGER_H
