// Hallbridge 1 | 0
//
// Switches the autostart of the Pathmere program that sits in the same folder:
// "1" writes an autostart entry that starts it hidden in the tray, "0" removes
// the entry. Exit status 0 on success, 1 when the entry could not be changed,
// 2 on a wrong argument.

#include "autostartentry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Hallbridge"));

    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0);
    if (args.size() != 1 || (mode != QLatin1String("1") && mode != QLatin1String("0"))) {
        std::fprintf(stderr, "usage: Hallbridge 1|0\n");
        return 2;
    }

    const AutostartEntry entry;
    QString error;
    if (mode == QLatin1String("1")) {
        const QString program = QCoreApplication::applicationDirPath() + QLatin1String("/Pathmere");
        if (!QFileInfo(program).isExecutable())
            std::fprintf(stderr, "Hallbridge: warning: %s is not an executable file\n",
                         qPrintable(program));
        if (!entry.write(program, &error)) {
            std::fprintf(stderr, "Hallbridge: cannot write %s: %s\n",
                         qPrintable(entry.filePath()), qPrintable(error));
            return 1;
        }
    } else if (!entry.remove(&error)) {
        std::fprintf(stderr, "Hallbridge: cannot remove %s: %s\n",
                     qPrintable(entry.filePath()), qPrintable(error));
        return 1;
    }
    return 0;
}
