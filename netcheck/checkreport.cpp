#include "checkreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Names, sentences and reasoning may carry text from outside (interface
// names, process names, ruleset comments): no control character reaches a
// terminal.
QString printable(QString text)
{
    for (QChar &c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

QString CheckReport::text(const QList<CheckResult> &results, bool withReasoning)
{
    QString out;
    for (const CheckResult &r : results) {
        const QString where = r.subject.isEmpty() ? r.check : QStringLiteral("%1 %2").arg(r.check, r.subject);
        out += QStringLiteral("%1  %2: %3\n")
                   .arg(CheckResult::statusText(r.status).leftJustified(7), printable(where), printable(r.sentence));
        if (!r.fix.isEmpty())
            out += QStringLiteral("         fix: %1\n").arg(printable(r.fix));
        if (!r.alternativeFix.isEmpty())
            out += QStringLiteral("          or: %1\n").arg(printable(r.alternativeFix));
        if (withReasoning) {
            for (const QString &step : r.reasoning)
                out += QStringLiteral("           - %1\n").arg(printable(step));
        }
    }
    return out;
}

QByteArray CheckReport::json(const QList<CheckResult> &results)
{
    QJsonArray checks;
    for (const CheckResult &r : results)
        checks.append(r.toJson());
    const QJsonObject root{{QStringLiteral("status"), CheckResult::statusText(CheckResult::worst(results))},
                           {QStringLiteral("checks"), checks}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
