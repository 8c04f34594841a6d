// Sweep targets as a user or a file gives them: one entry, or a whole list.
#include "ipv4rangeset.h"
#include "sweepplan.h"
#include "sweeptargets.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QString error;
    Ipv4RangeSet set;
    SweepTargets::parseEntry(QString::fromUtf8(text), &set, &error);
    if (SweepTargets::parseList(text, &set, &error)) {
        // What a dry run would show of it.
        SweepPlan(set.count(), SweepPlan::DefaultRatePps).summary();
        SweepPlan::rangeTexts(set, 20);
        quint64 walked = 0;
        for (Ipv4RangeSet::Cursor cursor(set); !cursor.atEnd() && walked < 4096; cursor.next())
            ++walked;
    }
    return 0;
}
