#include "clitool.h"

#include "adapterscommand.h"
#include "assigncommand.h"
#include "cliinput.h"
#include "powercommand.h"
#include "searchcommand.h"
#include "setcommand.h"

#include <QCoreApplication>

#include <memory>

namespace {

const char TopHelp[] =
    "Usage: pathmere-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds and configures network cameras from scripts, with the same search as\n"
    "the Pathmere window.\n"
    "\n"
    "Commands:\n"
    "  adapters   list the network adapters a search can use\n"
    "  search     search for cameras and print the device list\n"
    "  set        change one camera's network settings\n"
    "  assign     give a batch of cameras static addresses from a range\n"
    "  power      switch a camera on (VISCA, or Wake-on-LAN when it is silent)\n"
    "\n"
    "Run 'pathmere-cli COMMAND --help' for a command's options; see also\n"
    "pathmere-cli(1).\n"
    "\n"
    "Example:\n"
    "  pathmere-cli search --seconds 3\n";

} // namespace

int CliTool::run(const QStringList &arguments)
{
    // The program's name counts as it did in main()'s list.
    if (arguments.size() + 1 > CliInput::MaxArguments)
        return usage(QStringLiteral("too many arguments (at most %1)").arg(CliInput::MaxArguments));
    for (const QString &argument : arguments) {
        if (argument.size() > CliInput::MaxArgumentLength)
            return usage(QStringLiteral("an argument is longer than %1 characters").arg(CliInput::MaxArgumentLength));
    }
    const QString command = arguments.value(0);
    std::unique_ptr<CliCommand> chosen;
    if (command == QLatin1String("adapters"))
        chosen = std::make_unique<AdaptersCommand>();
    else if (command == QLatin1String("search"))
        chosen = std::make_unique<SearchCommand>();
    else if (command == QLatin1String("set"))
        chosen = std::make_unique<SetCommand>();
    else if (command == QLatin1String("assign"))
        chosen = std::make_unique<AssignCommand>();
    else if (command == QLatin1String("power"))
        chosen = std::make_unique<PowerCommand>();
    if (chosen)
        return chosen->run(arguments.mid(1));
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        writeTo(stdout, TopHelp);
        return Ok;
    }
    if (command == QLatin1String("--version")) {
        out(QStringLiteral("pathmere-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return Ok;
    }
    writeTo(stderr, TopHelp);
    return usage(command.isEmpty() ? QStringLiteral("no command given")
                                   : QStringLiteral("unknown command \"%1\"").arg(command.left(40)));
}
