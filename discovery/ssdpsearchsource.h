#ifndef SSDPSEARCHSOURCE_H
#define SSDPSEARCHSOURCE_H

#include "doccamupnpdata.h"
#include "searchsource.h"
#include "ssdpfoundlist.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

class NetworkInterfaceMonitor;
class QUdpSocket;

// What the two SSDP sources share: a search opens sockets on every local
// IPv4 address (or the one bind address), keeps one record per device and
// ends when the coordinator takes the list or stops it, closing every socket.
// The sources add their own sockets, messages and parsing.
class SsdpSearchSource : public SearchSource
{
    Q_OBJECT

public:
    static constexpr int MaxFoundDevices = SsdpFoundList::MaxFoundDevices;
    static constexpr int MaxRefusalLogs = SsdpFoundList::MaxRefusalLogs;
    // The coordinator starts an SSDP search this long after naming the adapter.
    static constexpr int StartDelayMs = 500;

    ~SsdpSearchSource() override;

    void setBindAddress(const QString &address) override;
    int startDelayMs() const override { return StartDelayMs; }
    void startBroadcast() override;
    QList<DeviceRecord> takeDeviceRecords() override;
    void stopDiscovery() override;

protected:
    SsdpSearchSource(NetworkInterfaceMonitor *monitor, SsdpFoundList::SameDevice sameDevice,
                     QObject *parent = nullptr);

    // A search begins, before any socket is opened.
    virtual void beginSearch() {}
    // Opens the sockets of one local address (each through addSocket).
    virtual void openAddress(const QHostAddress &address) = 0;
    // Every address has its sockets: time to send.
    virtual void sendSearch() = 0;
    // The search ends; the sockets are closed after this.
    virtual void endSearch() {}

    // Ends the search and returns its records as found.
    QList<DocCamUpnpData> takeFound();
    // A socket of this search, closed when it ends.
    QUdpSocket *addSocket();
    const QList<QUdpSocket *> &searchSockets() const { return sockets; }
    // Reads every waiting datagram of socket; one larger than an SSDP
    // message is dropped with a refusal line naming what (e.g. "SSDP").
    void readDatagrams(QUdpSocket *socket, const char *what,
                       const std::function<void(const QByteArray &, const QHostAddress &)> &handle);
    // Lists record (or renames the device already listed); a new device is
    // announced. fullText names the device dropped from a full list, with
    // %1 its address and %2 the limit.
    void keep(const DocCamUpnpData &record, const QString &fullText);

    SsdpFoundList found;

private:
    void closeSearch();

    NetworkInterfaceMonitor *const monitor;
    QString bindAddress;
    QList<QUdpSocket *> sockets;
};

#endif // SSDPSEARCHSOURCE_H
