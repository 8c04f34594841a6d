// An autostart entry file, which any program of the user can rewrite.
#include "desktopentry.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    const DesktopEntry entry = DesktopEntry::parse(text);
    entry.toText();
    entry.boolValue(QStringLiteral("Hidden"));
    const QStringList argv = DesktopEntry::splitExec(entry.value(QStringLiteral("Exec")));
    // Arguments written to a file and read back must come out the same.
    if (!argv.isEmpty()) {
        DesktopEntry written;
        written.setValue(QStringLiteral("Exec"), DesktopEntry::execValue(argv));
        const DesktopEntry read = DesktopEntry::parse(written.toText());
        if (DesktopEntry::splitExec(read.value(QStringLiteral("Exec"))) != argv)
            __builtin_trap();
    }
    return 0;
}
