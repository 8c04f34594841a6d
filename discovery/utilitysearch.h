#ifndef UTILITYSEARCH_H
#define UTILITYSEARCH_H

#include "batchdatagramreceiver.h"
#include "logrepeatlimiter.h"
#include "searchsource.h"
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
#include <QSet>

class NetworkInterfaceMonitor;
class QNetworkDatagram;
class QUdpSocket;

// The broadcast utility search on UDP port 8000: sends the two queries from
// every local IPv4 address (or one chosen address), collects the cameras'
// replies merged by MAC and model, and carries settings records to cameras.
// The discovery service owns the one instance; it is the coordinator's
// search type 0 and pushes each camera the moment it first answers.
//
// Linux does not deliver 255.255.255.255 to a socket bound to one address, so
// next to the address-bound sockets (which send, and receive unicast replies)
// a wildcard receiver on port 8000 takes broadcast replies and keeps those
// that arrived on the adapters of the search.
//
// A fleet answers a search within milliseconds: every socket is read in
// batches (BatchDatagramReceiver) and per-reply work stays O(1).
class UtilitySearch : public SearchSource
{
    Q_OBJECT

public:
    // Why a camera refused a settings record (emitUtilityRecvSettingFail).
    // Other values than the one named pass through as the camera gave them,
    // so the type holds every value.
    enum SettingFailCase : int {
        SettingUnauthorized = 1   // the user ID or password did not match
    };
    Q_ENUM(SettingFailCase)

    explicit UtilitySearch(NetworkInterfaceMonitor *monitor, QObject *parent = nullptr);
    ~UtilitySearch() override;

    // The discovery service's instance (null while none lives).
    static UtilitySearch *getInstance();

    // As a source of the coordinator: the bind address is the only address
    // startBroadcast() searches from.
    void setBindAddress(const QString &adapterIp) override { bindAddress = adapterIp; }
    void startBroadcast() override { startSearch(bindAddress); }
    QList<DeviceRecord> takeDeviceRecords() override { return takeDeviceList(); }
    void stopDiscovery() override;

    // "" searches from every local address; otherwise only from the address
    // whose dotted text equals onlyAddress (none matching: nothing is sent).
    void startSearch(QString onlyAddress);
    // Ends the search (closes its sockets) and returns the cameras found; the
    // list itself stays until the next startSearch.
    QList<UtilitySearchCamInfo> takeDeviceList();
    void refreshAddresses();
    // Sends a 180-byte settings record to the camera it names by MAC. The
    // record carries the camera's user ID and password, so it goes by
    // unicast to the camera's address (cameraIp, else the address the
    // search listed for that MAC) when that address is one of the unicast
    // targets or lies on the link of one of our adapters. Only a camera that
    // cannot be reached so (one in another subnet, or unknown) gets it by
    // broadcast from every local address, as every host on the LAN then does.
    void sendSetting(QByteArray record, const QString &cameraIp = QString());
    void stopSearch();

    // Cameras behind a router never hear the broadcast: every following search
    // also sends both queries, and sendSetting its record, by unicast to these
    // addresses (port 8000). At
    // most MaxUnicastTargets IPv4 addresses are kept; false (and the list
    // unchanged) for more or for anything not IPv4.
    static constexpr int MaxUnicastTargets = 16;
    bool setUnicastTargets(const QList<QHostAddress> &targets);
    QList<QHostAddress> unicastTargets() const { return extraTargets; }

signals:
    void emitUtilityRecvSettingFail(UtilitySearch::SettingFailCase failCase);

private:
    friend class TestUtilitySearch;

    Q_DISABLE_COPY(UtilitySearch)

    // The socket bound to the local address the kernel routes target from
    // (bound now if need be); the first socket when there is no route.
    QUdpSocket *routedSender(const QHostAddress &target);
    void bindAddressSocket(const QHostAddress &address);
    void openBroadcastReceiver();
    // A socket bound to address on port 8000 (the failure logged), or nullptr.
    QUdpSocket *bindSocket(const QHostAddress &address);
    // ordinal: the socket's place, 0 for the wildcard receiver, 1... for the
    // bound sockets in list order.
    void addReceiver(QUdpSocket *socket, quint64 ordinal, bool wildcard);
    void closeSockets();
    void utilitySearchBrcRecvFunc(const BatchDatagramReceiver::Datagram *datagrams, int count,
                                  quint64 ordinal, bool wildcard);
    void takeDatagram(const BatchDatagramReceiver::Datagram &datagram, quint64 ordinal, bool wildcard,
                      qint64 nowMs);
    bool keepsBroadcastDatagram(const QNetworkDatagram &datagram) const;
    bool keepsBroadcastDatagram(bool hasDestination, quint32 destination, int interfaceIndex) const;
    bool isLocalIpv4(quint32 address) const;
    // The local address whose subnet holds camera (a unicast address there),
    // or a null address.
    QHostAddress onLinkSource(const QHostAddress &camera) const;
    QString listedAddressOf(const QByteArray &record) const;
    void handleDatagram(const QByteArray &payload);
    // True (and one log line a second) when a datagram of a reply's length
    // cannot be a camera's reply (UtilityProtocol::replyFault).
    bool refusesReply(const char *data, int size, quint32 senderIpv4);
    void logHeldRefusals(int held);
    void handlePayload(const char *data, int size);

    QMutex instanceLock;
    NetworkInterfaceMonitor *monitor = nullptr;
    QList<QHostAddress> localAddresses;
    QList<QHostAddress> extraTargets;
    QString bindAddress;
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
    QList<BatchDatagramReceiver *> receivers;   // children of their sockets
    quint64 socketGeneration = 0;       // changes whenever the sockets are closed
    bool deviceListFullLogged = false;  // once per search
    LogRepeatLimiter refusalLog;
    LogRepeatLimiter refusedReplyLog;
};

#endif // UTILITYSEARCH_H
