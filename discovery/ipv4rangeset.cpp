#include "ipv4rangeset.h"

#include <algorithm>

void Ipv4RangeSet::add(quint32 first, quint32 last)
{
    if (first > last)
        std::swap(first, last);
    // The first range that ends at or after first - 1 may touch the new one.
    auto it = std::lower_bound(list.begin(), list.end(), first, [](const Range &range, quint32 value) {
        return quint64(range.last) + 1 < value;
    });
    Range merged{first, last};
    auto end = it;
    while (end != list.end() && quint64(end->first) <= quint64(merged.last) + 1) {
        merged.first = std::min(merged.first, end->first);
        merged.last = std::max(merged.last, end->last);
        total -= end->size();
        ++end;
    }
    it = list.erase(it, end);
    list.insert(it, merged);
    total += merged.size();
}

void Ipv4RangeSet::add(const Ipv4RangeSet &other)
{
    add(other.list);
}

void Ipv4RangeSet::add(std::vector<Range> ranges)
{
    for (Range &range : ranges) {
        if (range.first > range.last)
            std::swap(range.first, range.last);
    }
    ranges.insert(ranges.end(), list.begin(), list.end());
    std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) { return a.first < b.first; });
    list.clear();
    total = 0;
    for (const Range &range : ranges) {
        if (!list.empty() && quint64(range.first) <= quint64(list.back().last) + 1) {
            list.back().last = std::max(list.back().last, range.last);
            continue;
        }
        list.push_back(range);
    }
    for (const Range &range : list)
        total += range.size();
}

bool Ipv4RangeSet::contains(quint32 address) const
{
    const auto it = std::lower_bound(list.begin(), list.end(), address,
                                     [](const Range &range, quint32 value) { return range.last < value; });
    return it != list.end() && it->first <= address;
}

void Ipv4RangeSet::Cursor::next()
{
    if (atEnd())
        return;
    const Range &range = set->list[rangeIndex];
    if (range.first + offset == range.last) {
        ++rangeIndex;
        offset = 0;
    } else {
        ++offset;
    }
}
