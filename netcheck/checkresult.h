#ifndef CHECKRESULT_H
#define CHECKRESULT_H

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// One finding of a network check, the same for every front end: how bad it
// is, one sentence, and the command that fixes it (empty when nothing needs
// fixing or no command can). reasoning holds the steps that led there, for a
// reader who wants to see why (the firewall's rule walk, for example).
struct CheckResult
{
    enum class Status { Ok, Warning, Problem };

    QString check;     // "adapters", "firewall", "rp_filter", "port", "live", "subnet", "conflict"
    QString subject;   // what it is about: an adapter, a port, a camera's MAC; may be empty
    Status status = Status::Ok;
    QString sentence;
    QString fix;
    QString alternativeFix;   // a second way, when there are two (shown as "or:")
    QStringList reasoning;

    static CheckResult make(const QString &check, const QString &subject, Status status, const QString &sentence,
                            const QString &fix = QString());

    // "ok", "warning", "problem"
    static QString statusText(Status status);
    QJsonObject toJson() const;
    // The worst status of a list (Ok for an empty one).
    static Status worst(const QList<CheckResult> &results);
};

Q_DECLARE_METATYPE(CheckResult)

#endif // CHECKRESULT_H
