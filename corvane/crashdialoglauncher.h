#ifndef CRASHDIALOGLAUNCHER_H
#define CRASHDIALOGLAUNCHER_H

#include "corvane_global.h"

#include <QMap>
#include <QString>

// Where the log system's crash dialog comes from. The core of Corvane holds
// no widget, so it asks the launcher registered with
// LogSystem::setCrashDialogLauncher(); Corvane's widgets part offers one
// (ErrorHandleDialogLauncher). Without a launcher there is no crash dialog,
// and the crash decision never restarts (a restart loop is worse than a
// missing crash report).
//
// A launcher registered with the log system is unregistered when it is
// destroyed.
class CORVANE_EXPORT CrashDialogLauncher
{
public:
    CrashDialogLauncher() = default;
    virtual ~CrashDialogLauncher();

    // What the dialog shows changed (LogSystem::setWindowTitle,
    // addFolderToZip, setAutoRestart, setLogger), and once at registration.
    // Called outside any crash and one call at a time: the place to prepare
    // everything startFromCrash() needs. It must not change the log
    // system's crash settings itself.
    virtual void crashDialogChanged(const QString &windowTitle, const QMap<QString, QString> &zipFolders,
                                    bool autoRestart) = 0;

    // Shows the dialog in this process, which runs normally: modal runs until
    // the dialog is closed, non-modal returns at once.
    virtual void showDialog(bool modal) = 0;

    // The process is crashing and the dialog is due: start it for this
    // process somewhere else. Runs inside a fatal-signal handler, so it may
    // make async-signal-safe calls only: no allocation, no lock, no Qt.
    virtual void startFromCrash() noexcept = 0;

private:
    Q_DISABLE_COPY(CrashDialogLauncher)
};

#endif // CRASHDIALOGLAUNCHER_H
