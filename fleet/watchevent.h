#ifndef WATCHEVENT_H
#define WATCHEVENT_H

#include "devicerecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

// One thing the watch saw change between two rounds, and its JSON line.
struct WatchEvent
{
    enum class Kind {
        Appeared,     // a device not (or no longer) known answered
        Disappeared,  // a known device missed two rounds in a row
        Moved,        // a known device answered from another address
        Changed,      // a known device's name, firmware or DHCP mode changed
        Conflict      // devices of different identity answered from one address
    };

    struct Change
    {
        QString field;   // "name", "fwVersion" or "dhcp"
        QString from;
        QString to;
    };

    Kind kind = Kind::Appeared;
    DeviceRecord device;         // as it is now (Disappeared: as last seen); not for Conflict
    QString fromIp;              // Moved: the address before
    QList<Change> changes;       // Changed
    QString address;             // Conflict
    QList<DeviceRecord> holders; // Conflict: the devices on that address

    // "appeared", "disappeared", "moved", "changed" or "conflict".
    static QString kindText(Kind kind);

    // One line of compact JSON ending in '\n': "event", "time" (UTC, ISO
    // 8601 with milliseconds), then the event's fields. A camera's texts are
    // JSON strings, control characters escaped, so no name can break the
    // line or forge another.
    QByteArray jsonLine(const QDateTime &time) const;
};

Q_DECLARE_METATYPE(WatchEvent)

#endif // WATCHEVENT_H
