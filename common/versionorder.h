#ifndef VERSIONORDER_H
#define VERSIONORDER_H

#include <QString>
#include <QVector>

// Versions compared number by number: "1.10" is newer than "1.9", a missing
// part counts as 0 ("1.2" equals "1.2.0"). The update check reads strictly
// dotted numbers (its own rule); camera firmware texts come as the camera
// writes them ("V2.1.0", "2.1.0 build 7"), so firmwareNumbers takes every
// run of digits in order and ignores the rest.
class VersionOrder
{
public:
    // Below 0 when a is older than b, 0 when equal, above 0 when newer.
    static int compare(const QVector<quint32> &a, const QVector<quint32> &b);

    // The runs of digits of a firmware text, in order; false when it has
    // none, more than MaxParts, or a run longer than MaxPartDigits (such a
    // text has no place in the order).
    static bool firmwareNumbers(const QString &text, QVector<quint32> *parts);

    // compare() on firmwareNumbers(); texts without numbers sort before
    // every numbered one and among themselves by text, so a list sorts the
    // same way every time.
    static int compareFirmware(const QString &a, const QString &b);

    static constexpr int MaxParts = 8;
    static constexpr int MaxPartDigits = 9;

private:
    VersionOrder() = delete;
};

#endif // VERSIONORDER_H
