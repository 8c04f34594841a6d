#ifndef BENCHOPTIONS_H
#define BENCHOPTIONS_H

#include <QString>
#include <QStringList>

#include <limits>

// A benchmark's command line: options given as "--name value" and flags
// given as "--name", anywhere after the program name. A value that is not a
// whole number counts as 0, and numbers are kept within the bounds the
// benchmark names, so a typing error runs a small benchmark, not none.
class BenchOptions
{
public:
    BenchOptions(int argc, char **argv);

    // The value after the last name; fallback when name is not given with one.
    QString text(const char *name, const QString &fallback = QString()) const;
    int number(const char *name, int fallback, int low = 1, int high = std::numeric_limits<int>::max()) const;
    bool flag(const char *name) const;

private:
    QStringList arguments;
};

#endif // BENCHOPTIONS_H
