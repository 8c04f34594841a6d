#ifndef ADAPTERSURVEY_H
#define ADAPTERSURVEY_H

#include <QList>
#include <QString>

// The host's network adapters as the checks need them: up or not, their
// IPv4 addresses with prefixes, which one carries the default route (and
// through which gateway), and what the kernel says about their kind: a
// bridge, or a veth pair whose other end lives in another network namespace
// (what a container's adapter is).
struct AdapterSurvey
{
    struct Ipv4
    {
        quint32 address = 0;
        int prefix = 0;
    };

    struct Adapter
    {
        QString name;
        int index = 0;
        bool up = false;
        bool loopback = false;
        QList<Ipv4> addresses;
        bool defaultRoute = false;
        quint32 gateway = 0;     // of the default route, when it is this adapter's
        bool bridge = false;
        bool vethPeer = false;   // a veth (or similar) whose link is another adapter
        bool hardware = false;   // backed by a device (PCI, USB...)

        bool hasIpv4() const { return !addresses.isEmpty(); }
        // The adapter's subnet holds address.
        bool holds(quint32 address) const;
    };

    QList<Adapter> adapters;

    // Reads the adapters of this network namespace: QNetworkInterface,
    // /proc/net/route and /sys/class/net.
    static AdapterSurvey read();

    const Adapter *find(const QString &name) const;
    const Adapter *defaultAdapter() const;
    // The adapter whose subnet holds address (first match), or nullptr.
    const Adapter *adapterFor(quint32 address) const;
    // Adapters that are up and have an IPv4 address, loopback left out.
    QList<Adapter> usable() const;

    static quint32 maskOf(int prefix);
};

#endif // ADAPTERSURVEY_H
