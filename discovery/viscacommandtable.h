#ifndef VISCACOMMANDTABLE_H
#define VISCACOMMANDTABLE_H

#include "viscacommandentry.h"

#include <QHash>
#include <QMutex>
#include <QString>

// One entry per camera address ever addressed, describing the last message
// sent there. Entries are never removed. Safe to use from several threads.
class ViscaCommandTable
{
public:
    ViscaCommandTable() = default;

    // Records a message to ip and returns its sequence number: 0 for the
    // first message to that address, then one more for each further message,
    // whatever its kind. The new message replaces the one before.
    qint32 registerMessage(const QString &ip, const QString &command, quint8 kind);

    // The entry for ip when its sequence equals the given one; an invalid
    // entry (kind 0, empty command) otherwise.
    ViscaCommandEntry lookup(const QString &ip, qint32 sequence) const;

    // The entry for ip whatever its sequence (invalid when there is none).
    ViscaCommandEntry entry(const QString &ip) const;

    // Marks the message (ip, sequence) as answered; false when it was
    // already answered or is not the last message to ip.
    bool settle(const QString &ip, qint32 sequence);

    int size() const;
    void clear();

private:
    Q_DISABLE_COPY(ViscaCommandTable)

    mutable QMutex mutex;
    QHash<QString, ViscaCommandEntry> entries;
};

#endif // VISCACOMMANDTABLE_H
