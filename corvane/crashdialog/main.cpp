// corvane-crashdialog --crashed-pid <n> [--window-title <text>] [--zip-folder <name> <folder>]...
//
// The crash dialog for a program that has just crashed. A crashing program
// cannot show a dialog itself: its fatal-signal handler only records the
// crash and starts this program (see ErrorHandleDialogLauncher), which shows
// ErrorHandleDialog with the crashed program's title and folders, saves the
// zip the user asks for, and ends. It says on stderr what it did, for
// whoever collects the crashed program's output.
//
// CORVANE_CRASHDIALOG_SAVE_AS=<zip file> answers the file question with that
// path and presses Save as soon as the dialog is up: for tests, and for
// machines nobody sits at that collect crash logs.
//
// Exit status 0 once the dialog has closed, 2 on arguments it cannot use.

#include "crashdialogarguments.h"
#include "errorhandledialog.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

// Remembers where the user chose to save, or answers with the preset path.
class CrashDialog : public ErrorHandleDialog
{
public:
    explicit CrashDialog(const QString &presetAnswer) : presetAnswer(presetAnswer) {}

    QString answer;

protected:
    QString askSaveFileName() override
    {
        answer = presetAnswer.isEmpty() ? ErrorHandleDialog::askSaveFileName() : presetAnswer;
        return answer;
    }

private:
    const QString presetAnswer;
};

void say(const QString &text)
{
    std::fprintf(stderr, "corvane-crashdialog: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    // The crashed program's output may be a pipe that nobody reads any more.
    std::signal(SIGPIPE, SIG_IGN);

    // Read before Qt sees the command line: Qt would take options of its own
    // out of it. Qt gets the program's name alone.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CrashDialogArguments crash;
    QString error;
    if (!CrashDialogArguments::parse(arguments, &crash, &error)) {
        say(QStringLiteral("cannot use the command line: ") + error);
        return 2;
    }

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const QString presetAnswer = qEnvironmentVariable("CORVANE_CRASHDIALOG_SAVE_AS");
    CrashDialog dialog(presetAnswer);
    if (!crash.windowTitle.isNull())
        dialog.setWindowTitle(crash.windowTitle);
    for (auto it = crash.zipFolders.cbegin(); it != crash.zipFolders.cend(); ++it)
        dialog.addFolderToZip(it.key(), it.value());

    if (!presetAnswer.isEmpty()) {
        QTimer::singleShot(0, &dialog, [&dialog] {
            if (auto *save = dialog.findChild<QPushButton *>(QStringLiteral("btnSave")))
                save->click();
        });
    }
    say(QStringLiteral("crash dialog for process %1").arg(crash.crashedPid));
    const QDateTime shown = QDateTime::currentDateTime().addSecs(-1);
    dialog.exec();

    const QFileInfo saved(dialog.answer);
    if (!dialog.answer.isEmpty() && saved.isFile() && saved.lastModified() >= shown)
        say(QStringLiteral("saved the crash logs to ") + saved.absoluteFilePath());
    say(QStringLiteral("closed"));
    return 0;
}
