#include "utilityreplyfilter.h"

#include <cstring>

namespace {

constexpr size_t FirstBucketCount = 1024;
// Room a search of a 10 000-camera fleet uses; what a flood adds beyond it
// is given back when the next search starts.
constexpr size_t MaxRetainedKeyBytes = 4u << 20;
constexpr size_t MaxRetainedBuckets = 65536;

quint64 rotateLeft(quint64 value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

// Eight bytes at a time; equal hashes are compared byte for byte anyway, so
// this only has to spread well.
quint64 hashBytes(const char *bytes, size_t size)
{
    quint64 hash = 0x9e3779b97f4a7c15ull ^ (quint64(size) * 0xff51afd7ed558ccdull);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, bytes + i, 8);
        hash = rotateLeft(hash ^ (word * 0x87c37b91114253d5ull), 31) * 0x4cf5ad432745937full;
    }
    if (i < size) {
        quint64 word = 0;
        std::memcpy(&word, bytes + i, size - i);
        hash = rotateLeft(hash ^ (word * 0x87c37b91114253d5ull), 31) * 0x4cf5ad432745937full;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    return hash;
}

} // namespace

bool UtilityReplyFilter::accept(const QByteArray &payload, const QHostAddress &sender,
                                quint16 senderPort, quint64 path, qint64 nowMs)
{
    bool isIpv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isIpv4);
    if (isIpv4)
        return accept(payload.constData(), payload.size(), ipv4, senderPort, path, nowMs);
    QByteArray prefix = sender.toString().toLatin1();
    prefix.append('\0');
    return acceptKey(prefix.constData(), size_t(prefix.size()), senderPort, payload.constData(),
                     size_t(payload.size()), path, nowMs);
}

bool UtilityReplyFilter::accept(const char *payload, int size, quint32 senderIpv4,
                                quint16 senderPort, quint64 path, qint64 nowMs)
{
    // '4' and the address, so an IPv4 key never equals an address text's.
    const char prefix[5] = {'4', char(senderIpv4 >> 24), char(senderIpv4 >> 16),
                            char(senderIpv4 >> 8), char(senderIpv4)};
    return acceptKey(prefix, sizeof prefix, senderPort, payload, size_t(qMax(size, 0)), path, nowMs);
}

bool UtilityReplyFilter::acceptKey(const char *prefix, size_t prefixSize, quint16 senderPort,
                                   const char *payload, size_t size, quint64 path, qint64 nowMs)
{
    // The key is written where it would be kept; a datagram seen before
    // takes it back off. It is appended piece by piece: resizing first would
    // clear every byte once before it is overwritten.
    const size_t offset = keys.size();
    const size_t keySize = prefixSize + 2 + size;
    const char port[2] = {char(senderPort >> 8), char(senderPort & 0xff)};
    keys.insert(keys.end(), prefix, prefix + prefixSize);
    keys.insert(keys.end(), port, port + 2);
    keys.insert(keys.end(), payload, payload + size);
    const char *key = keys.data() + offset;
    const quint64 hash = hashBytes(key, keySize);

    const int found = findBucket(hash, key, keySize);
    if (found >= 0 && buckets[size_t(found)] >= 0) {
        keys.resize(offset);
        Seen &seen = entries[size_t(buckets[size_t(found)])];
        if (seen.path != path && nowMs - seen.timeMs < DuplicateWindowMs)
            return false;
        seen.path = path;
        seen.timeMs = nowMs;
        return true;
    }

    if ((entries.size() + 1) * 2 > buckets.size()) {
        makeRoom(nowMs, offset);
        // makeRoom may have moved the kept keys; ours is still the last one.
        const size_t moved = keys.size() - keySize;
        entries.push_back(Seen{hash, moved, keySize, path, nowMs});
        const int free = findBucket(hash, keys.data() + moved, keySize);
        buckets[size_t(free)] = int(entries.size() - 1);
        return true;
    }
    entries.push_back(Seen{hash, offset, keySize, path, nowMs});
    buckets[size_t(found)] = int(entries.size() - 1);
    return true;
}

int UtilityReplyFilter::findBucket(quint64 hash, const char *key, size_t keySize) const
{
    if (buckets.empty())
        return -1;
    const size_t mask = buckets.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
        const int index = buckets[i];
        if (index < 0)
            return int(i);
        const Seen &seen = entries[size_t(index)];
        if (seen.hash == hash && seen.keySize == keySize
            && std::memcmp(keys.data() + seen.keyOffset, key, keySize) == 0)
            return int(i);
    }
}

void UtilityReplyFilter::makeRoom(qint64 nowMs, size_t pendingOffset)
{
    // Entries past the window decide nothing any more (the next copy is
    // accepted either way), so they go before the table grows. The key
    // being added sits at the end of keys, from pendingOffset, and stays.
    std::vector<Seen> kept;
    kept.reserve(entries.size());
    std::vector<char> keptKeys;
    keptKeys.reserve(keys.size());
    for (const Seen &seen : entries) {
        if (nowMs - seen.timeMs >= DuplicateWindowMs)
            continue;
        Seen moved = seen;
        moved.keyOffset = keptKeys.size();
        keptKeys.insert(keptKeys.end(), keys.begin() + std::ptrdiff_t(seen.keyOffset),
                        keys.begin() + std::ptrdiff_t(seen.keyOffset + seen.keySize));
        kept.push_back(moved);
    }
    keptKeys.insert(keptKeys.end(), keys.begin() + std::ptrdiff_t(pendingOffset), keys.end());
    entries.swap(kept);
    keys.swap(keptKeys);

    // At most a quarter full afterwards, so the next clean-up is as many
    // datagrams away as the table holds already.
    size_t bucketCount = qMax(buckets.size(), FirstBucketCount);
    while ((entries.size() + 1) * 4 > bucketCount)
        bucketCount *= 2;
    rebuildIndex(bucketCount);
}

void UtilityReplyFilter::rebuildIndex(size_t bucketCount)
{
    buckets.assign(bucketCount, -1);
    const size_t mask = bucketCount - 1;
    for (size_t index = 0; index < entries.size(); ++index) {
        size_t i = size_t(entries[index].hash) & mask;
        while (buckets[i] >= 0)
            i = (i + 1) & mask;
        buckets[i] = int(index);
    }
}

void UtilityReplyFilter::clear()
{
    entries.clear();
    keys.clear();
    // The table keeps its size, since the next search of the same fleet
    // needs it again; but not the size a flood made it grow to.
    if (keys.capacity() > MaxRetainedKeyBytes) {
        std::vector<char>().swap(keys);
        std::vector<Seen>().swap(entries);
    }
    if (buckets.size() > MaxRetainedBuckets)
        std::vector<int>(MaxRetainedBuckets, -1).swap(buckets);
    else
        std::fill(buckets.begin(), buckets.end(), -1);
}
