#ifndef IPV4RANGESET_H
#define IPV4RANGESET_H

#include <QtGlobal>

#include <vector>

// A set of IPv4 addresses held as sorted, disjoint, non-adjacent ranges, so a
// /8 costs one entry and not sixteen million. Addresses are in host byte
// order. Iterate with a Cursor; nothing is ever built per address.
class Ipv4RangeSet
{
public:
    struct Range
    {
        quint32 first = 0;
        quint32 last = 0;   // inclusive
        quint64 size() const { return quint64(last) - first + 1; }
        bool operator==(const Range &other) const { return first == other.first && last == other.last; }
    };

    // Adds [first, last] (swapped when given backwards); overlapping and
    // adjacent ranges merge.
    void add(quint32 first, quint32 last);
    void add(const Ipv4RangeSet &other);
    // Many at once: sorted and merged in one go, not one insertion each.
    void add(std::vector<Range> ranges);
    void clear() { list.clear(); total = 0; }

    bool isEmpty() const { return list.empty(); }
    quint64 count() const { return total; }
    bool contains(quint32 address) const;
    const std::vector<Range> &ranges() const { return list; }

    // Walks the set in ascending order.
    class Cursor
    {
    public:
        explicit Cursor(const Ipv4RangeSet &set) : set(&set) {}
        bool atEnd() const { return rangeIndex >= set->list.size(); }
        quint32 address() const { return set->list[rangeIndex].first + offset; }
        void next();
        void rewind() { rangeIndex = 0; offset = 0; }

    private:
        const Ipv4RangeSet *set;
        size_t rangeIndex = 0;
        quint32 offset = 0;
    };

private:
    std::vector<Range> list;
    quint64 total = 0;
};

#endif // IPV4RANGESET_H
