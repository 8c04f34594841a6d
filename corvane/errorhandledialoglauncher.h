#ifndef ERRORHANDLEDIALOGLAUNCHER_H
#define ERRORHANDLEDIALOGLAUNCHER_H

#include "corvanewidgets_global.h"
#include "crashdialoglauncher.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class ErrorHandleDialog;

// The log system's crash dialog from Corvane's widgets part. While the
// program runs normally, it shows its ErrorHandleDialog in this process (the
// offer after a crashed run was restarted, showCrashHandleDialog). From a
// crash it starts the crash-dialog program for the crashed process instead,
// since no dialog can run inside a fatal-signal handler: that program shows
// the same dialog, saves the same zip and ends.
//
// Starting a process inside a signal handler takes async-signal-safe code,
// which belongs to the program's crash hook; the program hands it over with
// setProcessStarter(). Until then a crash starts no dialog.
//
// Create it after the QApplication, and register it with
// LogSystem::setCrashDialogLauncher().
class CORVANE_WIDGETS_EXPORT ErrorHandleDialogLauncher : public CrashDialogLauncher
{
public:
    // Called outside any crash: keep this command, ready to start.
    using PrepareCommand = void (*)(const QString &program, const QStringList &arguments);
    // Called inside the handler: start the command last prepared.
    using StartCommand = bool (*)() noexcept;

    explicit ErrorHandleDialogLauncher(const QString &program = defaultProgram());
    ~ErrorHandleDialogLauncher() override;

    // corvane-crashdialog in the folder of the running executable, where the
    // dialog's translations are too.
    static QString defaultProgram();
    QString program() const;

    void setProcessStarter(PrepareCommand prepare, StartCommand start);

    // The dialog shown in this process.
    ErrorHandleDialog *dialog() const;

    void crashDialogChanged(const QString &windowTitle, const QMap<QString, QString> &zipFolders,
                            bool autoRestart) override;
    void showDialog(bool modal) override;
    void startFromCrash() noexcept override;

private:
    // The crash-dialog program's command for the current settings, handed
    // to prepare; settingsLock held.
    void prepareCommand();

    const QString crashDialogProgram;
    const std::unique_ptr<ErrorHandleDialog> crashDialog;
    QMutex settingsLock;
    QString windowTitle;                // settingsLock
    QMap<QString, QString> zipFolders;  // settingsLock
    PrepareCommand prepare = nullptr;   // settingsLock
    std::atomic<StartCommand> start {nullptr};
};

#endif // ERRORHANDLEDIALOGLAUNCHER_H
