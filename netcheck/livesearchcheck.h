#ifndef LIVESEARCHCHECK_H
#define LIVESEARCHCHECK_H

#include "checkresult.h"
#include "livesearchrun.h"

#include <QList>
#include <QStringList>

// What the live search showed, per adapter: how many cameras answered, and
// what the kernel dropped while it listened.
class LiveSearchCheck
{
public:
    // strictAdapters: adapters where reverse-path filtering is strict (the
    // likely cause of the reverse-path drops counted while they searched).
    static QList<CheckResult> evaluate(const QList<LiveSearchRun::AdapterResult> &results,
                                       const QStringList &strictAdapters);

private:
    LiveSearchCheck() = delete;
};

#endif // LIVESEARCHCHECK_H
