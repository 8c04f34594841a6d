#ifndef ONVIFSEARCH_H
#define ONVIFSEARCH_H

#include "batchdatagramreceiver.h"
#include "devicerecord.h"
#include "logrepeatlimiter.h"
#include "neighbourtable.h"
#include "wsdiscoveryprotocol.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class QUdpSocket;

// Finds ONVIF cameras with WS-Discovery: a Probe goes out from every adapter
// of the search, each through a socket of its own bound to the adapter's
// address, and is repeated with the random delays of SOAP-over-UDP.
// ProbeMatches come back by unicast to that socket; Hello and Bye messages
// multicast during the search are heard on port 3702, joined on the
// search's interfaces. Devices are merged by endpoint address: one device
// however many adapters or repeats it answered on.
//
// Each new device is pushed with deviceFound as it is heard, once its MAC is
// in the kernel's neighbour table or MacWaitMs have passed (a camera that
// already knew our address never asks for it, so ours may never hold its
// entry); devices are pushed in the order they were heard, and what was
// pushed is what deviceRecords() lists at the end. The search ends by itself
// after the window (or on stop()) with finished().
class OnvifSearch : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultWindowMs = 4000;
    // Devices of one search; past this a peer inventing endpoints is refused.
    static constexpr int MaxDevices = 4096;
    // Refusal log lines a search may write (the rest are counted).
    static constexpr int MaxRefusalLogs = 20;
    // How long a device heard without a neighbour entry waits for one.
    static constexpr int MacWaitMs = 300;

    // One device as the search knows it.
    struct Device
    {
        QString endpoint;                  // urn:uuid:...
        QHostAddress address;              // the address that answered
        QString serviceUrl;                // the first usable XAddr; "" when none was
        WsDiscoveryProtocol::Target target;
        DeviceRecord record;               // searchType Onvif
        qint64 heardAtMs = 0;              // on the search's clock
    };

    explicit OnvifSearch(QObject *parent = nullptr);
    ~OnvifSearch() override;

    // "" searches from every local IPv4 address; otherwise from the one whose
    // dotted text this is.
    void setBindAddress(const QString &adapterIp);
    void setWindowMs(int ms);
    // Where the neighbour table is read (tests).
    void setNeighbourTablePath(const QString &path);

    // Starts a search; false (and finished() queued) when no socket could be opened.
    bool start();
    // Ends a running search now; finished() follows.
    void stop();
    bool isRunning() const { return running; }

    QList<Device> devices() const { return found; }
    QList<DeviceRecord> deviceRecords() const;
    // The device of endpoint, or nullptr.
    const Device *device(const QString &endpoint) const;
    // Probes sent so far in this search (every copy, every adapter).
    int probesSent() const { return sentProbes; }

signals:
    void deviceFound(const DeviceRecord &record);
    // A Bye: the device left the network and is no longer listed.
    void deviceLeft(const DeviceRecord &record);
    void finished();

private:
    Q_DISABLE_COPY(OnvifSearch)

    struct Adapter
    {
        QHostAddress address;
        int interfaceIndex = 0;
        QUdpSocket *socket = nullptr;
    };

    void openAdapter(const QHostAddress &address);
    void openListener();
    void sendProbes(quint64 generation);
    void takeDatagrams(const BatchDatagramReceiver::Datagram *datagrams, int count, bool listener);
    void takeDatagram(const BatchDatagramReceiver::Datagram &datagram, bool listener);
    void addDevice(const WsDiscoveryProtocol::Target &target, const QHostAddress &sender);
    void removeDevice(const QString &endpoint);
    // Pushes the devices heard but not yet pushed, in order, as far as their
    // MACs are known or waited for; all of them when waitNoLonger.
    void announce(bool waitNoLonger);
    QString macOf(const QHostAddress &address);
    void refuse(const QString &text);
    void closeSockets();
    void finish();

    QString bindAddress;
    QString neighbourPath = QString::fromLatin1(NeighbourTable::DefaultPath);
    int windowMs = DefaultWindowMs;

    bool running = false;
    quint64 generation = 0;
    QList<Adapter> adapters;
    QUdpSocket *listener = nullptr;
    QSet<int> searchInterfaces;
    QSet<quint32> localAddresses;
    QList<BatchDatagramReceiver *> receivers;
    QTimer windowTimer;

    QByteArray probe;
    QString messageId;
    int sentProbes = 0;

    QList<Device> found;
    // found[0, announced) went out with deviceFound.
    int announced = 0;
    QTimer announceTimer;
    QHash<QString, int> byEndpoint;
    // Identical datagrams (a camera's own repeats) are read once.
    QSet<quint64> seenDatagrams;

    QHash<quint32, NeighbourTable::Entry> neighbours;
    QElapsedTimer neighboursAge;

    QElapsedTimer clock;
    int refusalLogs = 0;
    LogRepeatLimiter refusalRepeats;
};

#endif // ONVIFSEARCH_H
