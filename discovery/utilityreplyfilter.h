#ifndef UTILITYREPLYFILTER_H
#define UTILITYREPLYFILTER_H

#include <QByteArray>
#include <QHash>
#include <QHostAddress>

// Drops the second copy of one datagram that reached us by two ways: on the
// address-bound socket and on the wildcard receiver, or on two adapters that
// share a segment. A camera that really answers again comes back the same way
// within the same search and is kept, so the merge still sees every genuine
// repeat (an address that changes back, a second query's answer).
class UtilityReplyFilter
{
public:
    // Two identical datagrams from the same sender through different ways
    // within this time are one datagram.
    static constexpr qint64 DuplicateWindowMs = 2000;

    // path names the way the datagram came in (socket and arrival interface).
    bool accept(const QByteArray &payload, const QHostAddress &sender, quint16 senderPort,
                quint64 path, qint64 nowMs);
    void clear();
    int size() const { return seen.size(); }

private:
    struct Seen
    {
        quint64 path;
        qint64 timeMs;
    };
    QHash<QByteArray, Seen> seen;
};

#endif // UTILITYREPLYFILTER_H
