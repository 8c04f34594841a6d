#include "clitool.h"

#include "adapterscommand.h"
#include "assigncommand.h"
#include "doctorcommand.h"
#include "infocommand.h"
#include "forgetcommand.h"
#include "fixsubnetcommand.h"
#include "cliinput.h"
#include "powercommand.h"
#include "reportcommand.h"
#include "searchcommand.h"
#include "setcommand.h"
#include "watchcommand.h"

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
    "  doctor     check why a search may find nothing, and how to fix it\n"
    "  fix-subnet bring a camera from another subnet within reach\n"
    "  report     a fleet report: models, firmware, DHCP and static, conflicts\n"
    "  info       read another maker's (ONVIF) camera with a login, as JSON\n"
    "  watch      search every few seconds and print what changed, until stopped\n"
    "  forget     remove camera logins stored in the keyring by --keyring\n"
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
    else if (command == QLatin1String("doctor"))
        chosen = std::make_unique<DoctorCommand>();
    else if (command == QLatin1String("fix-subnet"))
        chosen = std::make_unique<FixSubnetCommand>();
    else if (command == QLatin1String("report"))
        chosen = std::make_unique<ReportCommand>();
    else if (command == QLatin1String("info"))
        chosen = std::make_unique<InfoCommand>();
    else if (command == QLatin1String("watch"))
        chosen = std::make_unique<WatchCommand>();
    else if (command == QLatin1String("forget"))
        chosen = std::make_unique<ForgetCommand>();
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
