#include "versionorder.h"

int VersionOrder::compare(const QVector<quint32> &a, const QVector<quint32> &b)
{
    const int n = qMax(a.size(), b.size());
    for (int i = 0; i < n; ++i) {
        const quint32 x = i < a.size() ? a.at(i) : 0;
        const quint32 y = i < b.size() ? b.at(i) : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool VersionOrder::firmwareNumbers(const QString &text, QVector<quint32> *parts)
{
    parts->clear();
    int i = 0;
    const int size = text.size();
    while (i < size) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9')) {
            ++i;
            continue;
        }
        const int start = i;
        while (i < size && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
            ++i;
        if (i - start > MaxPartDigits || parts->size() == MaxParts) {
            parts->clear();
            return false;
        }
        parts->append(text.midRef(start, i - start).toUInt());
    }
    return !parts->isEmpty();
}

int VersionOrder::compareFirmware(const QString &a, const QString &b)
{
    QVector<quint32> x;
    QVector<quint32> y;
    const bool hasX = firmwareNumbers(a, &x);
    const bool hasY = firmwareNumbers(b, &y);
    if (hasX != hasY)
        return hasX ? 1 : -1;
    if (hasX) {
        if (const int c = compare(x, y))
            return c;
    }
    return a.compare(b);
}
