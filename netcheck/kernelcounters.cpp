#include "kernelcounters.h"

#include <QFile>
#include <QList>

QHash<QString, qint64> KernelCounters::parse(const QByteArray &text)
{
    QHash<QString, qint64> counters;
    const QList<QByteArray> lines = text.left(MaxTextBytes).split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> names = lines.at(i).simplified().split(' ');
        const QList<QByteArray> values = lines.at(i + 1).simplified().split(' ');
        if (names.size() < 2 || names.size() != values.size() || !names.first().endsWith(':')
            || names.first() != values.first())
            continue;
        const QString group = QString::fromLatin1(names.first().chopped(1));
        for (int k = 1; k < names.size(); ++k) {
            bool ok = false;
            const qint64 value = values.at(k).toLongLong(&ok);
            if (!ok)
                continue;
            if (counters.size() >= MaxCounters)
                return counters;
            counters.insert(group + QLatin1Char('.') + QString::fromLatin1(names.at(k)), value);
        }
        ++i;
    }
    return counters;
}

QHash<QString, qint64> KernelCounters::read()
{
    QHash<QString, qint64> counters;
    for (const char *path : {"/proc/net/netstat", "/proc/net/snmp"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QHash<QString, qint64> part = parse(file.read(MaxTextBytes));
        for (auto it = part.cbegin(); it != part.cend(); ++it)
            counters.insert(it.key(), it.value());
    }
    return counters;
}
