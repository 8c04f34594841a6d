#ifndef SSDPPEERS_H
#define SSDPPEERS_H

#include "eventlog.h"
#include "localaddresscache.h"
#include "simcamera.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSet>
#include <QObject>
#include <QVector>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// The SSDP side of the document cameras and control boxes among camsim's
// cameras: answers the program's M-SEARCH (port 1900) and announcement
// (port 1988) and serves each document camera's description over HTTP on
// the camera's own address.
class SsdpPeers : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SsdpPeers)

public:
    // A description request is at most a few hundred bytes.
    static constexpr int MaxRequestBytes = 8 * 1024;
    // What http=huge sends: far past any description a program accepts, and
    // more than socket buffers hold, so a reader that stops early shows.
    static constexpr int HugeBodyBytes = 32 * 1024 * 1024;

    SsdpPeers(const QVector<SimCamera> &cameras, const EventLog &log, bool quiet, QObject *parent = nullptr);

    // Binds the ports the configured kinds need and starts the description
    // servers; false (an "error" event written) when one cannot be opened.
    bool start();

private slots:
    void searchRecvFunc();
    void announcementRecvFunc();
    void descriptionConnection();

private:
    void answerSearch(const QHostAddress &from, quint16 port, const QHostAddress &to);
    void answerAnnouncement(const QHostAddress &from, quint16 port, const QHostAddress &to);
    // serverIndex: the camera of a server of its own, or -1 for the fleet's
    // shared server, which finds the camera by path.
    void serveRequest(QTcpSocket *socket, int serverIndex);
    int fleetCameraOf(const QByteArray &path) const;
    QString fleetLocation(int index, const QHostAddress &programAddress);

    QVector<SimCamera> m_cameras;
    const EventLog &m_log;
    bool m_quiet = false;
    QList<int> m_docCams;
    QList<int> m_boxes;
    QUdpSocket *m_searchSocket = nullptr;
    QUdpSocket *m_boxSocket = nullptr;
    QUdpSocket *m_sendSocket = nullptr;
    QHash<QTcpServer *, int> m_servers;   // server -> camera index, -1: the fleet's
    QSet<int> m_fleetDocCams;             // document cameras without an address of their own
    quint16 m_fleetPort = 0;
    LocalAddressCache m_localFor;
};

#endif // SSDPPEERS_H
