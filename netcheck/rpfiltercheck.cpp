#include "rpfiltercheck.h"

#include <QFile>

namespace {

const QString Check = QStringLiteral("rp_filter");

int readValue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int value = file.read(16).trimmed().toInt(&ok);
    return ok && value >= 0 && value <= 2 ? value : -1;
}

} // namespace

QList<RpFilterCheck::Setting> RpFilterCheck::read(const QStringList &adapters, const QString &root)
{
    QList<Setting> settings;
    const int all = readValue(root + QStringLiteral("/all/rp_filter"));
    for (const QString &adapter : adapters) {
        // An adapter name never holds a slash, but one read from elsewhere might.
        if (adapter.contains(QLatin1Char('/')) || adapter.startsWith(QLatin1Char('.')))
            continue;
        Setting s;
        s.adapter = adapter;
        s.all = all;
        s.own = readValue(root + QLatin1Char('/') + adapter + QStringLiteral("/rp_filter"));
        settings.append(s);
    }
    return settings;
}

QString RpFilterCheck::looseCommand(const QString &adapter)
{
    // The larger value wins, so 2 on the adapter is loose whatever "all" says.
    return QStringLiteral("sudo sysctl -w net.ipv4.conf.%1.rp_filter=2").arg(adapter);
}

QList<CheckResult> RpFilterCheck::evaluate(const QList<Setting> &settings, bool hasDefaultRoute)
{
    QList<CheckResult> results;
    for (const Setting &s : settings) {
        if (s.all < 0 || s.own < 0) {
            results.append(CheckResult::make(Check, s.adapter, CheckResult::Status::Warning,
                                             QStringLiteral("Reverse-path filtering on %1 could not be read.").arg(s.adapter)));
            continue;
        }
        CheckResult r;
        switch (s.effective()) {
        case 0:
            r = CheckResult::make(Check, s.adapter, CheckResult::Status::Ok,
                                  QStringLiteral("Reverse-path filtering is off on %1.").arg(s.adapter));
            break;
        case 2:
            r = CheckResult::make(Check, s.adapter, CheckResult::Status::Ok,
                                  hasDefaultRoute
                                      ? QStringLiteral("Reverse-path filtering on %1 is loose: answers from cameras in "
                                                       "other subnets get in.").arg(s.adapter)
                                      : QStringLiteral("Reverse-path filtering on %1 is loose; with no default route, "
                                                       "answers from a camera in a subnet no route leads to are still "
                                                       "dropped.").arg(s.adapter));
            break;
        default:
            r = CheckResult::make(Check, s.adapter, CheckResult::Status::Warning,
                                  QStringLiteral("Reverse-path filtering on %1 is strict: the answer of a camera whose "
                                                 "address does not route back through %1 (a camera in another subnet) "
                                                 "is dropped.").arg(s.adapter),
                                  looseCommand(s.adapter));
            break;
        }
        r.reasoning.append(QStringLiteral("net.ipv4.conf.all.rp_filter = %1, net.ipv4.conf.%2.rp_filter = %3; the "
                                          "larger, %4, is in force")
                               .arg(s.all).arg(s.adapter).arg(s.own).arg(s.effective()));
        results.append(r);
    }
    return results;
}
