#include "crashdialogarguments.h"

namespace {

const QString pidOption = QStringLiteral("--crashed-pid");
const QString titleOption = QStringLiteral("--window-title");
const QString zipOption = QStringLiteral("--zip-folder");

} // namespace

QStringList CrashDialogArguments::toArguments() const
{
    QStringList arguments { pidOption, QString::number(crashedPid) };
    if (!windowTitle.isNull())
        arguments << titleOption << windowTitle;
    for (auto it = zipFolders.cbegin(); it != zipFolders.cend(); ++it)
        arguments << zipOption << it.key() << it.value();
    return arguments;
}

bool CrashDialogArguments::parse(const QStringList &arguments, CrashDialogArguments *result, QString *error)
{
    const auto refuse = [error](const QString &why) {
        *error = why;
        return false;
    };
    if (arguments.size() > MaxArguments)
        return refuse(QStringLiteral("more than %1 arguments").arg(MaxArguments));
    for (const QString &argument : arguments) {
        if (argument.size() > MaxTextLength)
            return refuse(QStringLiteral("an argument longer than %1 characters").arg(MaxTextLength));
    }

    CrashDialogArguments read;
    bool havePid = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        const int values = option == zipOption ? 2 : 1;
        if (option != pidOption && option != titleOption && option != zipOption)
            return refuse(QStringLiteral("unknown argument \"%1\"").arg(option));
        if (i + values >= arguments.size())
            return refuse(QStringLiteral("%1 without its value").arg(option));
        const QString value = arguments.at(i + 1);
        if (option == pidOption) {
            bool ok = false;
            read.crashedPid = value.toLongLong(&ok);
            if (havePid || !ok || read.crashedPid <= 0)
                return refuse(QStringLiteral("%1 takes one process id").arg(pidOption));
            havePid = true;
        } else if (option == titleOption) {
            if (!read.windowTitle.isNull())
                return refuse(QStringLiteral("%1 given twice").arg(titleOption));
            read.windowTitle = value.isNull() ? QStringLiteral("") : value;
        } else {
            if (value.isEmpty())
                return refuse(QStringLiteral("%1 with an empty name").arg(zipOption));
            read.zipFolders.insert(value, arguments.at(i + 2));
        }
        i += values;
    }
    if (!havePid)
        return refuse(QStringLiteral("no %1").arg(pidOption));
    *result = read;
    return true;
}
