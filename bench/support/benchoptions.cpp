#include "benchoptions.h"

#include <QtGlobal>

BenchOptions::BenchOptions(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
}

QString BenchOptions::text(const char *name, const QString &fallback) const
{
    const QLatin1String wanted(name);
    QString value = fallback;
    for (int i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == wanted)
            value = arguments.at(++i);
    }
    return value;
}

int BenchOptions::number(const char *name, int fallback, int low, int high) const
{
    const QString value = text(name);
    return qBound(low, value.isNull() ? fallback : value.toInt(), high);
}

bool BenchOptions::flag(const char *name) const
{
    return arguments.contains(QLatin1String(name));
}
