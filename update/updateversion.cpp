#include "updateversion.h"

#include "versionorder.h"

#include <QStringList>

QString UpdateVersion::programVersion()
{
    return QStringLiteral("1.1.1010.0");
}

bool UpdateVersion::parse(const QString &text, QVector<quint32> *parts)
{
    parts->clear();
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() > maxParts)
        return false;
    for (const QString &field : fields) {
        if (field.isEmpty() || field.size() > maxPartDigits)
            return false;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        parts->append(field.toUInt());
    }
    return true;
}

bool UpdateVersion::isNewer(const QString &candidate, const QString &current)
{
    QVector<quint32> a;
    QVector<quint32> b;
    if (!parse(candidate, &a) || !parse(current, &b))
        return false;
    return VersionOrder::compare(a, b) > 0;
}
