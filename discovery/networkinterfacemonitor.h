#ifndef NETWORKINTERFACEMONITOR_H
#define NETWORKINTERFACEMONITOR_H

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// Keeps the host's local IPv4 addresses (no loopback, no IPv6), on which the
// discovery sockets are bound, and reports once when that set changes. Polls
// once a second while polling is on. The discovery service owns the one the
// program uses; tests make their own with an address source of their choice.
class NetworkInterfaceMonitor : public QObject
{
    Q_OBJECT

public:
    // Lists every address of the host, as QNetworkInterface::allAddresses()
    // does; the monitor picks the local IPv4 ones itself.
    using AddressSource = std::function<QList<QHostAddress>()>;

    // The discovery service's instance (null while none lives).
    static NetworkInterfaceMonitor *getInstance();

    explicit NetworkInterfaceMonitor(AddressSource source, QObject *parent = nullptr);
    ~NetworkInterfaceMonitor() override;

    void setPolling(bool on);
    bool isPolling() const;

    // Refreshes the address list from the host (no log, no signal). False when
    // there is no local address (addresses untouched); otherwise copies the
    // list into addresses and returns true.
    bool getAddresses(QList<QHostAddress> &addresses);

    // The local addresses among all, in their order.
    static QList<QHostAddress> localAddresses(const QList<QHostAddress> &all);

    // One poll's decision: compares current with the known list, updates the
    // list and returns whether the change must be reported. A new address, a
    // different count or the loss of the last address is a change; a change
    // of order alone is not.
    static bool applyPoll(QList<QHostAddress> &known, const QList<QHostAddress> &current);

signals:
    void networkInterfaceHasChanged();

private slots:
    void networkInterfaceMonitorFunc();

private:
    Q_DISABLE_COPY(NetworkInterfaceMonitor)

    QList<QHostAddress> currentLocalAddresses() const;

    AddressSource addressSource;
    QList<QHostAddress> addressList;
    QTimer pollTimer;
};

#endif // NETWORKINTERFACEMONITOR_H
