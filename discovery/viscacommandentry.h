#ifndef VISCACOMMANDENTRY_H
#define VISCACOMMANDENTRY_H

#include <QString>
#include <QtGlobal>

// The last VISCA message sent to one camera address. A reply is matched to
// it by the sender's address and the sequence number.
class ViscaCommandEntry
{
public:
    ViscaCommandEntry() = default;
    ViscaCommandEntry(const QString &ip, const QString &command, quint8 kind, qint32 sequence);

    bool isValid() const { return kind != 0; }

    QString ip;        // as QHostAddress::toString() writes it
    QString command;   // lower-case hex without separators, e.g. "81090400ff"
    quint8 kind = 0;   // 1 command, 9 inquiry, 0 no entry
    qint32 sequence = 0;
    // Set once a completion or a power state has been taken from a reply to
    // this message, so a copy of that reply (the message went out through
    // every socket) does not act twice.
    bool settled = false;
};

#endif // VISCACOMMANDENTRY_H
