#ifndef UTILITYREPLYFILTER_H
#define UTILITYREPLYFILTER_H

#include <QByteArray>
#include <QHostAddress>

#include <vector>

// Drops the second copy of one datagram that reached us by two ways: on the
// address-bound socket and on the wildcard receiver, or on two adapters that
// share a segment. A camera that really answers again comes back the same way
// within the same search and is kept, so the merge still sees every genuine
// repeat (an address that changes back, a second query's answer).
//
// A whole fleet answers within milliseconds, so the table is flat: the key
// bytes (sender, port, payload) of every datagram sit back to back in one
// buffer and an open-addressing index over a 64-bit hash finds them; a hash
// match is confirmed byte for byte.
class UtilityReplyFilter
{
public:
    // Two identical datagrams from the same sender through different ways
    // within this time are one datagram.
    static constexpr qint64 DuplicateWindowMs = 2000;

    // path names the way the datagram came in (socket and arrival interface).
    bool accept(const QByteArray &payload, const QHostAddress &sender, quint16 senderPort,
                quint64 path, qint64 nowMs);
    // The same for an IPv4 sender given in host byte order.
    bool accept(const char *payload, int size, quint32 senderIpv4, quint16 senderPort,
                quint64 path, qint64 nowMs);
    void clear();
    int size() const { return int(entries.size()); }
    // Bytes held for keys, kept or free; for tests and the benchmarks.
    size_t keyCapacity() const { return keys.capacity(); }

private:
    struct Seen
    {
        quint64 hash;
        size_t keyOffset;
        size_t keySize;
        quint64 path;
        qint64 timeMs;
    };

    bool acceptKey(const char *prefix, size_t prefixSize, quint16 senderPort, const char *payload,
                   size_t size, quint64 path, qint64 nowMs);
    int findBucket(quint64 hash, const char *key, size_t keySize) const;
    void makeRoom(qint64 nowMs, size_t pendingOffset);
    void rebuildIndex(size_t bucketCount);

    std::vector<Seen> entries;
    std::vector<int> buckets;    // index into entries, -1 when free; size is a power of two
    std::vector<char> keys;    // key bytes of every entry, back to back
};

#endif // UTILITYREPLYFILTER_H
