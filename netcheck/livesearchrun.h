#ifndef LIVESEARCHRUN_H
#define LIVESEARCHRUN_H

#include "devicerecord.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class NetworkInterfaceMonitor;
class UtilitySearch;

// The live part of the check: a utility search from each adapter in turn,
// counting the cameras that answered each, and what the kernel dropped
// meanwhile: datagrams the search's own sockets lost (the drops column of
// /proc/net/udp, a full receive buffer) and datagrams the reverse-path
// filter threw away (TcpExt.IPReversePathFilter, for the whole namespace,
// so counted per adapter because the searches run one after the other).
// One object per run; finished() once, after the last adapter.
class LiveSearchRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultListenMs = 3000;

    struct Adapter
    {
        QString name;
        QString address;   // dotted IPv4, the one the search sends from
    };

    struct AdapterResult
    {
        QString adapter;
        QString address;
        QList<DeviceRecord> devices;
        qint64 socketDrops = -1;        // -1: not readable
        qint64 reversePathDrops = -1;   // -1: not readable
    };

    explicit LiveSearchRun(QObject *parent = nullptr);
    ~LiveSearchRun() override;

    void start(const QList<Adapter> &adapters, int listenMs = DefaultListenMs);
    bool isRunning() const { return running; }
    QList<AdapterResult> results() const { return done; }
    // Every device found, each MAC and model once (the first adapter wins).
    QList<DeviceRecord> allDevices() const;

signals:
    void finished();

private:
    Q_DISABLE_COPY(LiveSearchRun)

    void startNext();
    void collect();
    // The drops counted on this process's sockets bound to the search port.
    static qint64 ownSocketDrops();
    static qint64 reversePathCounter();

    // The discovery service's search where one lives (the window), else one
    // of our own (the CLI's doctor, the tests).
    std::unique_ptr<NetworkInterfaceMonitor> ownMonitor;
    std::unique_ptr<UtilitySearch> ownSearch;
    UtilitySearch *search = nullptr;
    QTimer listen;
    QList<Adapter> pending;
    QList<AdapterResult> done;
    AdapterResult current;
    qint64 counterBefore = -1;
    bool running = false;
};

#endif // LIVESEARCHRUN_H
