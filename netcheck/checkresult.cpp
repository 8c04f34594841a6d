#include "checkresult.h"

#include <QJsonArray>

CheckResult CheckResult::make(const QString &check, const QString &subject, Status status, const QString &sentence,
                              const QString &fix)
{
    CheckResult result;
    result.check = check;
    result.subject = subject;
    result.status = status;
    result.sentence = sentence;
    result.fix = fix;
    return result;
}

QString CheckResult::statusText(Status status)
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("ok");
    case Status::Warning:
        return QStringLiteral("warning");
    case Status::Problem:
        return QStringLiteral("problem");
    }
    return QString();
}

QJsonObject CheckResult::toJson() const
{
    QJsonObject object{{QStringLiteral("check"), check},
                       {QStringLiteral("status"), statusText(status)},
                       {QStringLiteral("sentence"), sentence}};
    if (!subject.isEmpty())
        object.insert(QStringLiteral("subject"), subject);
    if (!fix.isEmpty())
        object.insert(QStringLiteral("fix"), fix);
    if (!alternativeFix.isEmpty())
        object.insert(QStringLiteral("alternativeFix"), alternativeFix);
    if (!reasoning.isEmpty())
        object.insert(QStringLiteral("reasoning"), QJsonArray::fromStringList(reasoning));
    return object;
}

CheckResult::Status CheckResult::worst(const QList<CheckResult> &results)
{
    Status status = Status::Ok;
    for (const CheckResult &r : results) {
        if (int(r.status) > int(status))
            status = r.status;
    }
    return status;
}
