#ifndef WAKEONLANSENDER_H
#define WAKEONLANSENDER_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class QUdpSocket;

// Sends Wake-on-LAN packets in 3 bursts of 5 passes, 300 ms after every pass
// and 2 s more after every burst, driven by a timer so the GUI thread keeps
// running. Sequences asked for while one runs are sent after it, in order,
// so their packets never interleave.
class WakeOnLanSender : public QObject
{
    Q_OBJECT

public:
    // One pass: the packet to every broadcast address.
    using PassFunction = std::function<void(const QByteArray &packet)>;

    explicit WakeOnLanSender(QObject *parent = nullptr);
    ~WakeOnLanSender() override;

    // Replaces the real sending, e.g. by a recorder in tests.
    void setPassFunction(PassFunction function);

    // A sequence takes 10.5 s; this many waiting behind the running one are
    // a minute and a half of packets, more than any user clicks for. Past it
    // a page that keeps asking would keep the sender busy without end.
    static constexpr int MaxQueuedSequences = 8;

    // Sends the first pass at once when idle; the rest follow on the timer.
    // False, and nothing queued, when MaxQueuedSequences already wait.
    bool enqueue(const QByteArray &packet);

    bool isBusy() const { return busy; }
    int queuedSequences() const { return queue.size(); }
    // Sequences accepted and finished since construction. They run in
    // order, so the n-th accepted one is through once n have finished.
    quint64 acceptedSequences() const { return accepted; }
    quint64 finishedSequences() const { return done; }

    // A pass as the program sends it: from one unbound UDP socket to port
    // 33333 at every IPv4 broadcast address of the host.
    void sendToBroadcastAddresses(const QByteArray &packet);

signals:
    // passIndex counts 0..14 within the sequence.
    void passSent(int passIndex);
    void sequenceFinished();

private slots:
    void passTimerFunc();

private:
    Q_DISABLE_COPY(WakeOnLanSender)

    void startSequence(const QByteArray &packet);
    void runPass();

    PassFunction passFunction;
    QTimer *passTimer = nullptr;
    QUdpSocket *socket = nullptr;
    QList<QByteArray> queue;
    QByteArray current;
    int passIndex = 0;
    bool busy = false;
    quint64 accepted = 0;
    quint64 done = 0;
};

#endif // WAKEONLANSENDER_H
