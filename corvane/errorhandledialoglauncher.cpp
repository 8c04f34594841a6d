#include "errorhandledialoglauncher.h"

#include "crashdialogarguments.h"
#include "errorhandledialog.h"

#include <QCoreApplication>
#include <QMutexLocker>

#include <unistd.h>

ErrorHandleDialogLauncher::ErrorHandleDialogLauncher(const QString &program)
    : crashDialogProgram(program), crashDialog(new ErrorHandleDialog(nullptr))
{
}

ErrorHandleDialogLauncher::~ErrorHandleDialogLauncher() = default;

QString ErrorHandleDialogLauncher::defaultProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/corvane-crashdialog");
}

QString ErrorHandleDialogLauncher::program() const
{
    return crashDialogProgram;
}

void ErrorHandleDialogLauncher::setProcessStarter(PrepareCommand prepareCommand, StartCommand startCommand)
{
    QMutexLocker locker(&settingsLock);
    prepare = prepareCommand;
    start.store(startCommand);
    this->prepareCommand();
}

ErrorHandleDialog *ErrorHandleDialogLauncher::dialog() const
{
    return crashDialog.get();
}

void ErrorHandleDialogLauncher::crashDialogChanged(const QString &title, const QMap<QString, QString> &folders,
                                                   bool autoRestart)
{
    QMutexLocker locker(&settingsLock);
    windowTitle = title;
    zipFolders = folders;
    // A title never set leaves the form's own (translated) one.
    if (!title.isNull())
        crashDialog->setWindowTitle(title);
    crashDialog->setAutoRestart(autoRestart);
    for (auto it = folders.cbegin(); it != folders.cend(); ++it)
        crashDialog->addFolderToZip(it.key(), it.value());
    prepareCommand();
}

void ErrorHandleDialogLauncher::prepareCommand()
{
    if (!prepare)
        return;
    CrashDialogArguments arguments;
    arguments.crashedPid = ::getpid();
    arguments.windowTitle = windowTitle;
    arguments.zipFolders = zipFolders;
    prepare(crashDialogProgram, arguments.toArguments());
}

void ErrorHandleDialogLauncher::showDialog(bool modal)
{
    if (modal) {
        // Already open non-modally (offered at start-up): reopen it modally,
        // exec() on a visible dialog would not block the rest of the program.
        if (crashDialog->isVisible() && !crashDialog->isModal())
            crashDialog->hide();
        crashDialog->exec();
    } else {
        crashDialog->setModal(false);
        crashDialog->show();
    }
}

void ErrorHandleDialogLauncher::startFromCrash() noexcept
{
    if (const StartCommand startCommand = start.load())
        startCommand();
}
