#include "viscacommandentry.h"

ViscaCommandEntry::ViscaCommandEntry(const QString &ip, const QString &command, quint8 kind, qint32 sequence)
    : ip(ip)
    , command(command)
    , kind(kind)
    , sequence(sequence)
{
}
