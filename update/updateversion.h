#ifndef UPDATEVERSION_H
#define UPDATEVERSION_H

#include <QString>
#include <QVector>

// Versions are dotted numbers ("1.1.1010.0") and are compared number by
// number: "1.1.999.0" is older than "1.1.1010.0", "1.2" newer than both.
class UpdateVersion
{
public:
    // The version of this program.
    static QString programVersion();

    // True only when candidate and current are both dotted numbers and
    // candidate is the greater; anything else is never newer.
    static bool isNewer(const QString &candidate, const QString &current);

    // The numbers of a dotted version; false for anything else (empty parts,
    // signs, letters, more than maxParts parts, a part above 9 digits).
    static bool parse(const QString &text, QVector<quint32> *parts);

    static constexpr int maxParts = 8;
    static constexpr int maxPartDigits = 9;

private:
    UpdateVersion() = delete;
};

#endif // UPDATEVERSION_H
