#include "sweeptargets.h"

#include "settingscheck.h"

#include <QFile>

#include <algorithm>

namespace {

struct Reserved
{
    quint32 first;
    quint32 last;
    const char *what;
};

// Blocks no camera can stand on or be reached at by unicast.
constexpr Reserved ReservedBlocks[] = {
    {0x00000000u, 0x00ffffffu, "\"this network\" addresses (0.0.0.0/8)"},
    {0x7f000000u, 0x7fffffffu, "loopback addresses (127.0.0.0/8)"},
    {0xe0000000u, 0xefffffffu, "multicast addresses (224.0.0.0/4)"},
    {0xf0000000u, 0xffffffffu, "reserved and broadcast addresses (240.0.0.0/4)"},
};

} // namespace

QString SweepTargets::quoted(const QString &text)
{
    QString shown;
    for (const QChar c : text.left(40))
        shown += c.isPrint() ? c : QChar(u'?');
    if (text.size() > 40)
        shown += QStringLiteral("...");
    return QStringLiteral("\"%1\"").arg(shown);
}

bool SweepTargets::parseRange(const QString &text, quint32 *first, quint32 *last, QString *error)
{
    const QString form = QStringLiteral("%1 is not an address, a network (A.B.C.D/N) or a range (A.B.C.D-E.F.G.H)")
                             .arg(quoted(text));
    if (text.isEmpty() || text.size() > MaxEntryLength) {
        *error = text.isEmpty() ? QStringLiteral("an empty target")
                                : QStringLiteral("%1 is longer than %2 characters").arg(quoted(text)).arg(MaxEntryLength);
        return false;
    }
    const int slash = text.indexOf(QLatin1Char('/'));
    const int dash = text.indexOf(QLatin1Char('-'));
    if (slash >= 0 && dash >= 0) {
        *error = form;
        return false;
    }
    if (slash >= 0) {
        quint32 base = 0;
        if (!SettingsCheck::parseAddress(text.left(slash), &base)) {
            *error = form;
            return false;
        }
        const QString prefixText = text.mid(slash + 1);
        int prefix = -1;
        if (!prefixText.isEmpty() && prefixText.size() <= 2
            && std::all_of(prefixText.begin(), prefixText.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
            prefix = prefixText.toInt();
        if (prefix < 0 || prefix > 32) {
            *error = QStringLiteral("%1: the prefix length is a number from 0 to 32").arg(quoted(text));
            return false;
        }
        const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
        *first = base & mask;
        *last = *first | ~mask;
        // A network's own address and its broadcast address are no host's.
        if (prefix <= 30) {
            ++*first;
            --*last;
        }
        return true;
    }
    if (dash >= 0) {
        if (!SettingsCheck::parseAddress(text.left(dash), first) || !SettingsCheck::parseAddress(text.mid(dash + 1), last)) {
            *error = form;
            return false;
        }
        if (*first > *last) {
            *error = QStringLiteral("%1: the range ends before it starts").arg(quoted(text));
            return false;
        }
        return true;
    }
    if (!SettingsCheck::parseAddress(text, first)) {
        *error = form;
        return false;
    }
    *last = *first;
    return true;
}

bool SweepTargets::parseEntry(const QString &text, Ipv4RangeSet::Range *range, QString *error)
{
    const QString entry = text.trimmed();
    if (!parseRange(entry, &range->first, &range->last, error))
        return false;
    for (const Reserved &block : ReservedBlocks) {
        if (range->first <= block.last && range->last >= block.first) {
            *error = QStringLiteral("%1 holds %2, which are not probed").arg(quoted(entry), QLatin1String(block.what));
            return false;
        }
    }
    return true;
}

bool SweepTargets::admit(const std::vector<Ipv4RangeSet::Range> &ranges, Ipv4RangeSet *into, QString *error)
{
    Ipv4RangeSet merged = *into;
    merged.add(ranges);
    if (merged.count() > MaxAddresses) {
        *error = QStringLiteral("the targets make %1 addresses; a sweep takes at most %2 (a /8)")
                     .arg(merged.count()).arg(MaxAddresses);
        return false;
    }
    *into = std::move(merged);
    return true;
}

bool SweepTargets::parseEntry(const QString &text, Ipv4RangeSet *into, QString *error)
{
    Ipv4RangeSet::Range range;
    return parseEntry(text, &range, error) && admit({range}, into, error);
}

bool SweepTargets::parseList(const QByteArray &text, Ipv4RangeSet *into, QString *error)
{
    if (text.size() > MaxFileBytes) {
        *error = QStringLiteral("the list has %1 bytes; at most %2 are read").arg(text.size()).arg(MaxFileBytes);
        return false;
    }
    std::vector<Ipv4RangeSet::Range> ranges;
    int lineNumber = 0;
    for (const QByteArray &rawLine : text.split('\n')) {
        ++lineNumber;
        QByteArray line = rawLine;
        const int hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (ranges.size() >= size_t(MaxEntries)) {
            *error = QStringLiteral("line %1: more than %2 entries").arg(lineNumber).arg(MaxEntries);
            return false;
        }
        Ipv4RangeSet::Range range;
        QString why;
        if (!parseEntry(QString::fromLatin1(line.left(MaxEntryLength + 1)), &range, &why)) {
            *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
            return false;
        }
        ranges.push_back(range);
    }
    if (ranges.empty()) {
        *error = QStringLiteral("the list names no target");
        return false;
    }
    return admit(ranges, into, error);
}

bool SweepTargets::readFile(const QString &path, Ipv4RangeSet *into, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    // One byte past the cap tells an oversized file from one just at it.
    const QByteArray text = file.read(MaxFileBytes + 1);
    if (text.size() > MaxFileBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(MaxFileBytes);
        return false;
    }
    QString why;
    if (!parseList(text, into, &why)) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}
