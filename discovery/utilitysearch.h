#ifndef UTILITYSEARCH_H
#define UTILITYSEARCH_H

#include "utilitydevicelist.h"
#include "utilityprotocol.h"
#include "utilityreplyfilter.h"
#include "utilitysearchcaminfo.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QVector>

#include <memory>

class NetworkInterfaceMonitor;
class QNetworkDatagram;
class QSocketNotifier;
class QUdpSocket;

// The broadcast utility search on UDP port 8000: sends the two queries from
// every local IPv4 address (or one chosen address), collects the cameras'
// replies merged by MAC and model, and carries settings records to cameras.
// One instance per process, shared by use count.
//
// Linux does not deliver 255.255.255.255 to a socket bound to one address, so
// next to the address-bound sockets (which send, and receive unicast replies)
// a wildcard receiver on port 8000 takes broadcast replies and keeps those
// that arrived on the adapters of the search.
//
// A fleet answers a search within milliseconds, and QUdpSocket hands over one
// datagram per call (two system calls and a QNetworkDatagram each). Every
// socket is therefore read in batches (recvmmsg, with the arrival address
// and interface) through a duplicate of its descriptor that has a socket
// notifier of its own. The QUdpSocket keeps binding and sending; as nothing
// reads through it, it soon stops notifying by itself. When the kernel queue
// is large enough to hold a burst, a socket that just had data is left to
// fill for a moment before it is read again: one wake-up then takes hundreds
// of replies instead of a handful.
class UtilitySearch : public QObject
{
    Q_OBJECT

public:
    static UtilitySearch *getInstance();
    static void releaseInstance();

    // "" searches from every local address; otherwise only from the address
    // whose dotted text equals onlyAddress (none matching: nothing is sent).
    void startSearch(QString onlyAddress);
    // Ends the search (closes its sockets) and returns the cameras found; the
    // list itself stays until the next startSearch.
    QList<UtilitySearchCamInfo> takeDeviceList();
    void refreshAddresses();
    // Broadcasts a 180-byte settings record from every local address.
    void sendSetting(QByteArray record);
    void stopSearch();

signals:
    void emitUtilityRecvSettingFail(int failCase);

private slots:
    void utilitySearchBrcRecvFunc();

private:
    friend class TestUtilitySearch;

    UtilitySearch();
    ~UtilitySearch() override;
    Q_DISABLE_COPY(UtilitySearch)

    void bindAddressSocket(const QHostAddress &address);
    void openBroadcastReceiver();
    void closeSockets();
    struct ReceiveBatch;
    // How one socket is read: its place (0 for the wildcard receiver, 1...
    // for the bound sockets in list order) and our duplicate descriptor.
    struct Receiver
    {
        QUdpSocket *socket = nullptr;
        int descriptor = -1;          // -1: read through the QUdpSocket itself
        QSocketNotifier *notifier = nullptr;
        quint64 ordinal = 0;
        bool wildcard = false;
        bool mayPause = false;        // the queue holds a burst
        bool stopped = false;         // stopSearch: no more reading
    };
    struct Arrival
    {
        quint64 ordinal;
        bool wildcard;
        bool hasDestination;   // the datagram's IPv4 destination and interface are known
        quint32 destination;
        int interfaceIndex;
    };

    void addReceiver(QUdpSocket *socket, quint64 ordinal, bool wildcard);
    int drainDescriptor(const Receiver &receiver);
    void pauseReceiver(const Receiver &receiver);
    void drainSocket(const Receiver &receiver);
    void takeQtDatagram(const QNetworkDatagram &datagram, const Receiver &receiver);
    void takeDatagram(const char *data, int size, quint32 senderIpv4, quint16 senderPort,
                      const Arrival &arrival, qint64 nowMs);
    bool keepsBroadcastDatagram(const QNetworkDatagram &datagram) const;
    bool keepsBroadcastDatagram(bool hasDestination, quint32 destination, int interfaceIndex) const;
    bool isLocalIpv4(quint32 address) const;
    void handleDatagram(const QByteArray &payload);
    void handlePayload(const char *data, int size);

    QMutex instanceLock;
    NetworkInterfaceMonitor *monitor = nullptr;
    QList<QHostAddress> localAddresses;
    QList<QUdpSocket *> sockets;
    UtilityDeviceList deviceList;
    QByteArray queryA;
    QByteArray queryB;

    QUdpSocket *broadcastReceiver = nullptr;
    QHash<quint32, int> boundAddresses;   // IPv4 of each bound socket -> its interface index
    QSet<int> searchInterfaces;
    UtilityReplyFilter replyFilter;
    UtilityProtocol::RecurringTexts recurringTexts;
    QElapsedTimer clock;
    QVector<Receiver> receivers;
    quint64 socketGeneration = 0;       // changes whenever the sockets are closed
    std::unique_ptr<ReceiveBatch> batch;
    bool batchInUse = false;
};

#endif // UTILITYSEARCH_H
