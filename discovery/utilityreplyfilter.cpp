#include "utilityreplyfilter.h"

bool UtilityReplyFilter::accept(const QByteArray &payload, const QHostAddress &sender,
                                quint16 senderPort, quint64 path, qint64 nowMs)
{
    QByteArray key;
    key.reserve(payload.size() + 24);
    bool isIpv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isIpv4);
    if (isIpv4) {
        key.append('4');
        for (int shift = 24; shift >= 0; shift -= 8)
            key.append(char((ipv4 >> shift) & 0xff));
    } else {
        key.append(sender.toString().toLatin1());
        key.append('\0');
    }
    key.append(char(senderPort >> 8));
    key.append(char(senderPort & 0xff));
    key.append(payload);

    auto it = seen.find(key);
    if (it == seen.end()) {
        seen.insert(key, Seen{path, nowMs});
        return true;
    }
    if (it->path != path && nowMs - it->timeMs < DuplicateWindowMs)
        return false;
    it->path = path;
    it->timeMs = nowMs;
    return true;
}

void UtilityReplyFilter::clear()
{
    seen.clear();
}
