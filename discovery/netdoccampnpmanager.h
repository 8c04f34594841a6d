#ifndef NETDOCCAMPNPMANAGER_H
#define NETDOCCAMPNPMANAGER_H

#include "doccamupnpdata.h"
#include "ssdpsearchsource.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QUdpSocket;

// Finds the wireless document cameras: multicasts an M-SEARCH from every
// local IPv4 address (or the one bind address), checks the SSDP answers,
// fetches each camera's description document over HTTP and keeps one record
// per MAC. The discovery service owns the one instance.
//
// A LOCATION is whatever a LAN peer writes, so a description is fetched only
// over plain http from the very address that answered, without proxy or
// redirect, capped in size and in time; everything is cut off when the
// search ends.
class NetDocCamPnPManager : public SsdpSearchSource
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
    explicit NetDocCamPnPManager(NetworkInterfaceMonitor *monitor, QObject *parent = nullptr);
    ~NetDocCamPnPManager() override;

    // The discovery service's instance (null while none lives).
    static NetDocCamPnPManager *getInstance();

    // Ends the search and returns what it found.
    QList<DocCamUpnpData> takeFoundDocCams() { return takeFound(); }

signals:
    void emitLLSyncDocCamStatus(DocCamUpnpData docCamUpnpData);

private slots:
    void ssdpReadyRead();
    void handleLLSyncDocCamStatus(DocCamUpnpData data);
    void searchAllDocCam();
    void detailDataReadyRead(QNetworkReply *replay);

private:
    Q_DISABLE_COPY(NetDocCamPnPManager)

    void beginSearch() override;
    void openAddress(const QHostAddress &address) override;
    void sendSearch() override { searchAllDocCam(); }
    void endSearch() override;

    void ssdpHandler(const QByteArray &packet, const QHostAddress &sender);
    void fetchDescription(const QUrl &url);
    void startQueuedFetches();
    void watchReply(QNetworkReply *reply);

    QNetworkAccessManager *accessManager = nullptr;
    int runningFetches = 0;
    QQueue<QUrl> fetchQueue;
};

#endif // NETDOCCAMPNPMANAGER_H
