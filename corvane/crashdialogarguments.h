#ifndef CRASHDIALOGARGUMENTS_H
#define CRASHDIALOGARGUMENTS_H

#include "corvanewidgets_global.h"

#include <QMap>
#include <QString>
#include <QStringList>

// The command line of the crash-dialog program, written for a crashing
// program by ErrorHandleDialogLauncher and read by the program itself, so
// that both sides live in one place:
//
//   corvane-crashdialog --crashed-pid <n> [--window-title <text>]
//                       [--zip-folder <name> <folder>]...
//
// The options are spelt so that no Qt option (-title, -display, ...) can
// take them for its own.
class CORVANE_WIDGETS_EXPORT CrashDialogArguments
{
public:
    // The most the program accepts; more is refused, not cut. The count of
    // arguments bounds the folders: the process id, a title and the folders.
    static constexpr int MaxZipFolders = 64;
    static constexpr int MaxArguments = 4 + 3 * MaxZipFolders;
    // Characters of a title, a zip folder name or a folder path.
    static constexpr int MaxTextLength = 4096;

    qint64 crashedPid = 0;
    // Null: the dialog keeps its own title.
    QString windowTitle;
    // Folder name inside the zip -> folder on disk, as LogSystem::addFolderToZip.
    QMap<QString, QString> zipFolders;

    QStringList toArguments() const;

    // Reads the arguments that follow the program's name. Returns false, and
    // says why in error, on anything it cannot use; result is then unchanged.
    static bool parse(const QStringList &arguments, CrashDialogArguments *result, QString *error);
};

#endif // CRASHDIALOGARGUMENTS_H
