#ifndef CHECKREPORT_H
#define CHECKREPORT_H

#include "checkresult.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The results of a run of checks as the CLI prints them and the window's
// dialog shows them: one text block per finding, or one JSON document.
class CheckReport
{
public:
    // One line per finding: status, check and subject, the sentence; the fix
    // on an indented line below; with reasoning, its steps indented further.
    static QString text(const QList<CheckResult> &results, bool withReasoning = false);
    // {"status": worst, "checks": [ {check, status, sentence, subject?, fix?, reasoning?}... ]}
    static QByteArray json(const QList<CheckResult> &results);

private:
    CheckReport() = delete;
};

#endif // CHECKREPORT_H
