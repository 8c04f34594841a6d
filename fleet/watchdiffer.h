#ifndef WATCHDIFFER_H
#define WATCHDIFFER_H

#include "devicerecord.h"
#include "watchevent.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// The watch's memory from one search round to the next: what each device
// (by MAC and model) looked like when last seen, and what changed. Pure:
// rounds come in as device lists, events go out.
//
// One lost answer is no event: a device is reported gone only after it
// missed MissedRoundsForGone rounds in a row, and one that answers again
// before that just carries on (reported moved or changed if it is).
class WatchDiffer
{
public:
    static constexpr int MissedRoundsForGone = 2;

    // What was there before the first round (a list exported earlier): the
    // first round reports against it. Without one, the first round reports
    // every device as appeared.
    void setBaseline(const QList<DeviceRecord> &devices);

    // One round's devices; the events in this order: appeared, moved and
    // changed in the list's order, then disappeared in the order the
    // devices were first known, then conflicts in address order. A conflict
    // is reported when a device joins an address that two devices hold, not
    // again every round, and not again after one lost answer: an address is
    // forgotten only after MissedRoundsForGone rounds without a conflict.
    QList<WatchEvent> round(const QList<DeviceRecord> &found);

    int rounds() const { return m_rounds; }
    // The devices known and not reported gone, in the order first known.
    QList<DeviceRecord> present() const;

private:
    struct Known
    {
        DeviceRecord record;
        int missed = 0;
        bool gone = false;
    };

    void remember(const QString &key, const DeviceRecord &device);
    static QList<WatchEvent::Change> changesBetween(const DeviceRecord &before, const DeviceRecord &now);

    QHash<QString, Known> m_known;
    QStringList m_order;                       // identities in the order first known
    struct ConflictMemory
    {
        QSet<QString> holders;   // every identity seen on the address while in conflict
        int quiet = 0;           // rounds since the address last held two
    };

    QMap<quint32, ConflictMemory> m_conflicts;
    int m_rounds = 0;
};

#endif // WATCHDIFFER_H
