#include "livesearchcheck.h"

#include "rpfiltercheck.h"

namespace {
const QString Check = QStringLiteral("live");
}

QList<CheckResult> LiveSearchCheck::evaluate(const QList<LiveSearchRun::AdapterResult> &results,
                                             const QStringList &strictAdapters)
{
    QList<CheckResult> out;
    int total = 0;
    for (const LiveSearchRun::AdapterResult &r : results) {
        const int answers = r.devices.size();
        total += answers;
        CheckResult result = answers > 0
            ? CheckResult::make(Check, r.adapter, CheckResult::Status::Ok,
                                QStringLiteral("A search from %1 (%2) got answers from %3 camera(s).")
                                    .arg(r.adapter, r.address).arg(answers))
            : CheckResult::make(Check, r.adapter, CheckResult::Status::Warning,
                                QStringLiteral("A search from %1 (%2) got no answer.").arg(r.adapter, r.address));
        result.reasoning.append(r.socketDrops < 0 ? QStringLiteral("the search sockets' drop counts could not be read")
                                                  : QStringLiteral("the kernel dropped %1 datagram(s) for the search "
                                                                   "sockets").arg(r.socketDrops));
        result.reasoning.append(r.reversePathDrops < 0
                                    ? QStringLiteral("the reverse-path filter's counter could not be read")
                                    : QStringLiteral("the reverse-path filter dropped %1 datagram(s) meanwhile")
                                          .arg(r.reversePathDrops));
        out.append(result);
        if (r.socketDrops > 0) {
            out.append(CheckResult::make(
                Check, r.adapter, CheckResult::Status::Problem,
                QStringLiteral("The kernel dropped %1 datagram(s) for the search's sockets while %2 searched: the "
                               "receive buffer overflowed, so answers were lost.").arg(r.socketDrops).arg(r.adapter),
                QStringLiteral("sudo sysctl -w net.core.rmem_max=8388608")));
        }
        if (r.reversePathDrops > 0) {
            const QString strict = strictAdapters.contains(r.adapter) ? r.adapter : strictAdapters.value(0);
            out.append(CheckResult::make(
                Check, r.adapter, CheckResult::Status::Problem,
                QStringLiteral("The reverse-path filter dropped %1 datagram(s) while %2 searched%3: answers from a "
                               "camera in another subnet are thrown away before the search sees them.")
                    .arg(r.reversePathDrops)
                    .arg(r.adapter, strict.isEmpty() ? QString()
                                                     : QStringLiteral(" (filtering is strict on %1)").arg(strict)),
                strict.isEmpty() ? QString() : RpFilterCheck::looseCommand(strict)));
        }
    }
    if (!results.isEmpty() && total == 0)
        out.append(CheckResult::make(Check, QString(), CheckResult::Status::Problem,
                                     QStringLiteral("No camera answered a search from any adapter; the other checks "
                                                    "name what stands in the way, if it is on this computer.")));
    return out;
}
