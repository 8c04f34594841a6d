#ifndef LOGTESTSUPPORT_H
#define LOGTESTSUPPORT_H

// The log suites' scaffolding lives in tests/support; this header keeps
// their one include.
#include "recordinglogger.h"
#include "testhome.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Points HOME and the XDG folders at home (see TestHome).
inline void isolateHome(const QString &home)
{
    TestHome(home).enter();
}

#endif // LOGTESTSUPPORT_H
