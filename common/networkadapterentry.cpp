#include "networkadapterentry.h"

bool NetworkAdapterEntry::fromAddresses(const QString &description, const QStringList &ipv4Addresses,
                                        NetworkAdapterEntry *entry)
{
    const QString joined = ipv4Addresses.join(QStringLiteral("\r\n"));
    if (joined.isEmpty() || joined == QLatin1String("0.0.0.0"))
        return false;
    if (entry) {
        entry->description = description;
        entry->address = joined;
    }
    return true;
}
