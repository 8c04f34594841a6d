#include "viscacommandtable.h"

#include <QMutexLocker>

qint32 ViscaCommandTable::registerMessage(const QString &ip, const QString &command, quint8 kind)
{
    QMutexLocker locker(&mutex);
    auto it = entries.find(ip);
    if (it == entries.end()) {
        entries.insert(ip, ViscaCommandEntry(ip, command, kind, 0));
        return 0;
    }
    // Wraps after 2^32 messages instead of overflowing a signed counter.
    it->sequence = static_cast<qint32>(static_cast<quint32>(it->sequence) + 1u);
    it->command = command;
    it->kind = kind;
    it->settled = false;
    return it->sequence;
}

ViscaCommandEntry ViscaCommandTable::lookup(const QString &ip, qint32 sequence) const
{
    QMutexLocker locker(&mutex);
    const auto it = entries.constFind(ip);
    if (it == entries.constEnd() || it->sequence != sequence)
        return ViscaCommandEntry();
    return *it;
}

ViscaCommandEntry ViscaCommandTable::entry(const QString &ip) const
{
    QMutexLocker locker(&mutex);
    return entries.value(ip);
}

bool ViscaCommandTable::settle(const QString &ip, qint32 sequence)
{
    QMutexLocker locker(&mutex);
    auto it = entries.find(ip);
    if (it == entries.end() || it->sequence != sequence || it->settled)
        return false;
    it->settled = true;
    return true;
}

int ViscaCommandTable::size() const
{
    QMutexLocker locker(&mutex);
    return entries.size();
}

void ViscaCommandTable::clear()
{
    QMutexLocker locker(&mutex);
    entries.clear();
}
