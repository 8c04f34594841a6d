// The crash-dialog program's command line, which anyone who can start the
// program chooses. Arguments are NUL-separated. An accepted command line
// must stay within the limits and, written out again, read back the same.
#include "crashdialogarguments.h"

#include <QByteArray>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QStringList arguments;
    if (!bytes.isEmpty()) {
        for (const QByteArray &part : bytes.split('\0'))
            arguments << QString::fromLocal8Bit(part);
    }
    CrashDialogArguments read;
    QString error;
    if (!CrashDialogArguments::parse(arguments, &read, &error)) {
        if (error.isEmpty())
            __builtin_trap();
        return 0;
    }
    if (read.crashedPid <= 0 || read.zipFolders.size() > CrashDialogArguments::MaxZipFolders)
        __builtin_trap();
    CrashDialogArguments again;
    if (!CrashDialogArguments::parse(read.toArguments(), &again, &error) || again.crashedPid != read.crashedPid
        || again.windowTitle != read.windowTitle || again.zipFolders != read.zipFolders)
        __builtin_trap();
    return 0;
}
