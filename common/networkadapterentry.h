#ifndef NETWORKADAPTERENTRY_H
#define NETWORKADAPTERENTRY_H

#include <QMetaType>
#include <QString>
#include <QStringList>

// One host network adapter with an IPv4 address, for the adapter chooser.
struct NetworkAdapterEntry
{
    QString description;
    // The adapter's IPv4 addresses in dotted decimal, joined by "\r\n".
    QString address;

    // Builds the entry of an adapter; false for an adapter that has no
    // address (none at all, or its joined text is exactly "0.0.0.0").
    static bool fromAddresses(const QString &description, const QStringList &ipv4Addresses,
                              NetworkAdapterEntry *entry);

    bool operator==(const NetworkAdapterEntry &other) const
    {
        return description == other.description && address == other.address;
    }
};

Q_DECLARE_METATYPE(NetworkAdapterEntry)

#endif // NETWORKADAPTERENTRY_H
