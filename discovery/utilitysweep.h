#ifndef UTILITYSWEEP_H
#define UTILITYSWEEP_H

#include "batchdatagramreceiver.h"
#include "batchdatagramsender.h"
#include "devicerecord.h"
#include "ipv4rangeset.h"
#include "logrepeatlimiter.h"
#include "sweepplan.h"
#include "sweepprogress.h"
#include "utilitydevicelist.h"
#include "utilityprotocol.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QVector>

#include <vector>

class QUdpSocket;

// Finds the utility-search cameras of routed subnets, which no broadcast
// reaches: both queries go by unicast to every address of the targets, in two
// passes, paced to a rate. The two query texts are made once; only the
// destination changes from datagram to datagram, and they leave in batches
// of one sendmmsg call each.
//
// Datagrams to an address leave from the local address the kernel routes it
// from, on one socket per such address bound to port 8000 (where the search
// itself sends from: cameras that answer by broadcast send to port 8000
// whatever the query's source port was). A wildcard socket on the port takes
// the broadcast replies of cameras on the links of those addresses. Every
// route is looked up before the first datagram: a target without one ends
// the sweep before anything is sent, and so does a route that breaks while
// sending.
//
// Replies are parsed and merged as the search does (UtilityProtocol,
// UtilityDeviceList); each new or changed camera is pushed as deviceFound(),
// and finished() comes once the last datagram's reply window is over, or at
// once after failed(). Everything runs on the thread of the object's event
// loop; nothing waits.
class UtilitySweep : public QObject
{
    Q_OBJECT

public:
    // The pacing timer's period: a tick sends what the rate allows since the
    // last one, and a late tick sends at most MaxCatchUpMs worth.
    static constexpr int TickMs = 10;
    static constexpr int MaxCatchUpMs = 50;
    static constexpr int ProgressIntervalMs = 100;
    // Distinct datagrams remembered so that a repeat is not parsed again
    // (about 300 bytes each): far more than the replies of a site's cameras.
    static constexpr int MaxRememberedReplies = 65536;
    // Of those, sharing one fingerprint (a few at most, but for a hostile
    // sender).
    static constexpr int MaxRememberedPerFingerprint = 16;

    explicit UtilitySweep(QObject *parent = nullptr);
    ~UtilitySweep() override;

    // Taken at start(); changing them during a sweep has no effect on it.
    void setTargets(const Ipv4RangeSet &targets);
    void setRate(int ratePps);
    void setReplyWindowMs(int milliseconds);
    SweepPlan plan() const;

    // Starts the sweep. A failure (no target, no route, port 8000 not to be
    // had) comes as failed() and finished() from the event loop, as every
    // outcome does. Ignored while a sweep runs.
    void start();
    // Ends a running sweep now: sockets closed, finished() emitted.
    void stop();
    bool isRunning() const { return running; }

    const SweepProgress &progress() const { return state; }
    // The cameras found so far, merged by MAC and model.
    const QList<UtilitySearchCamInfo> &cameras() const { return devices.records(); }
    // Why the last sweep failed; empty when it did not.
    QString failure() const { return failureText; }

signals:
    void deviceFound(const DeviceRecord &record);
    // At most every ProgressIntervalMs while running, and once at the end.
    void progressChanged(const SweepProgress &progress);
    void failed(const QString &message);
    void finished();

private:
    Q_DISABLE_COPY(UtilitySweep)

    struct Lane
    {
        QUdpSocket *socket = nullptr;
        quint32 source = 0;
        int interfaceIndex = 0;
    };

    bool planRoutes(QString *error);
    int laneFor(quint32 source, QString *error);
    QUdpSocket *bindSocket(quint32 address, QString *error);
    void addReceiver(QUdpSocket *socket, quint64 ordinal, bool wildcard);
    int laneOf(quint32 address) const;

    void tick();
    // Reads the sockets polled while sending; false when that ended the sweep.
    bool readPolled();
    // Queues and sends up to budget datagrams; false when the sweep failed.
    bool sendBudget(quint64 budget);
    bool flush(bool *full);
    void sendingDone();

    void receive(const BatchDatagramReceiver::Datagram *datagrams, int count, quint64 ordinal, bool wildcard);
    bool firstSight(const BatchDatagramReceiver::Datagram &datagram);
    bool keepsWildcardDatagram(const BatchDatagramReceiver::Datagram &datagram) const;
    void takeReply(const char *data, int size, quint32 senderIpv4);

    void fail(const QString &message);
    void end();
    void closeSockets();
    void reportProgress(bool force);

    // Configuration, taken at start().
    Ipv4RangeSet targets;
    int ratePps = SweepPlan::DefaultRatePps;
    int replyWindowMs = SweepPlan::DefaultReplyWindowMs;

    // Made once: every datagram of the sweep carries one of these.
    const QByteArray queries[SweepPlan::QueriesPerAddress];

    std::vector<Lane> lanes;
    QHash<quint32, int> laneOfBlock;     // /24 block (address >> 8) -> lane
    QHash<quint32, int> localAddresses;   // this computer's address -> its interface index
    QUdpSocket *wildcard = nullptr;
    QList<BatchDatagramReceiver *> receivers;   // children of their sockets

    Ipv4RangeSet::Cursor cursor{targets};
    int pass = 0;
    int query = 0;
    quint32 cachedBlock = 0xffffffffu;
    int cachedLane = -1;
    BatchDatagramSender sender;
    int senderLane = -1;
    double credit = 0;
    qint64 lastTickNs = 0;

    QTimer pacing;
    QTimer replyWindow;
    QElapsedTimer clock;
    qint64 lastProgressMs = -1;
    bool running = false;
    bool sending = false;
    quint64 generation = 0;   // changes whenever the sockets close

    SweepProgress state;
    QString failureText;
    UtilityDeviceList devices;
    QList<DeviceRecord> reported;   // parallel to devices.records()
    struct SeenReply
    {
        quint32 sender = 0;
        QByteArray bytes;
    };
    // Every datagram taken, by a fingerprint of its sender and bytes.
    QHash<quint64, QVector<SeenReply>> repliesSeen;
    int repliesRemembered = 0;
    UtilityProtocol::RecurringTexts recurringTexts;
    LogRepeatLimiter refusedReplyLog;
};

#endif // UTILITYSWEEP_H
