#include "clitool.h"

#include "arpprobe.h"
#include "assignplanner.h"
#include "cliinput.h"
#include "devicelistformat.h"
#include "passwordsource.h"
#include "portusage.h"
#include "routelookup.h"
#include "searchmanager.h"
#include "settingsrequest.h"
#include "utilityprotocol.h"
#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QSet>
#include <QTimer>

#include <unistd.h>

#include <cstdio>

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

void writeTo(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString capitalised(const QString &sentence)
{
    if (sentence.isEmpty())
        return sentence;
    return sentence.at(0).toUpper() + sentence.mid(1);
}

const DeviceRecord *findCamera(const QList<DeviceRecord> &list, const QString &mac, const QString &model)
{
    for (const DeviceRecord &r : list) {
        if (r.searchType == DeviceRecord::BroadcastSearch && r.mac == mac
            && (model.isEmpty() || r.model == model))
            return &r;
    }
    return nullptr;
}

QString ipText(quint32 address)
{
    return QHostAddress(address).toString();
}

QString joinedAddresses(const QList<quint32> &addresses)
{
    QStringList texts;
    for (const quint32 a : addresses)
        texts.append(ipText(a));
    return texts.join(QLatin1String(", "));
}

// The interface whose IPv4 subnet holds address, for the probe.
QString interfaceFor(quint32 address)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && entry.prefixLength() > 0
                && QHostAddress(address).isInSubnet(entry.ip(), entry.prefixLength()))
                return iface.name();
        }
    }
    return QString();
}

} // namespace

CliTool::CliTool(QObject *parent)
    : QObject(parent)
    , manager(SearchManager::getInstance())
{
    connect(manager, &SearchManager::emitUtilitySettingFail, this, [this](int failCase) {
        if (failCase == 1)
            refused = true;
    });
}

CliTool::~CliTool()
{
    disconnect(manager, nullptr, this, nullptr);
    manager = nullptr;
    SearchManager::releaseInstance();
}

int CliTool::run(const QStringList &arguments)
{
    if (arguments.size() > CliInput::MaxArguments)
        return usage(QStringLiteral("too many arguments (at most %1)").arg(CliInput::MaxArguments));
    for (const QString &argument : arguments) {
        if (argument.size() > CliInput::MaxArgumentLength)
            return usage(QStringLiteral("an argument is longer than %1 characters").arg(CliInput::MaxArgumentLength));
    }
    const QString command = arguments.value(1);
    const QStringList rest = arguments.mid(2);
    if (command == QLatin1String("adapters"))
        return runAdapters(rest);
    if (command == QLatin1String("search"))
        return runSearch(rest);
    if (command == QLatin1String("set"))
        return runSet(rest);
    if (command == QLatin1String("assign"))
        return runAssign(rest);
    if (command == QLatin1String("power"))
        return runPower(rest);
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

int CliTool::usage(const QString &sentence) const
{
    return fail(Usage, sentence);
}

int CliTool::fail(int code, const QString &sentence) const
{
    if (progressShown)
        std::fputs("\r\033[K", stderr);
    QString text = capitalised(sentence);
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    writeTo(stderr, QStringLiteral("pathmere-cli: %1\n").arg(text).toLocal8Bit());
    return code;
}

void CliTool::warn(const QString &sentence) const
{
    if (progressShown)
        std::fputs("\r\033[K", stderr);
    writeTo(stderr, QStringLiteral("pathmere-cli: warning: %1.\n").arg(sentence).toLocal8Bit());
}

int CliTool::refuseProblems(const QList<SettingsCheck::Problem> &problems, bool force,
                            const std::function<QString(SettingsCheck::Field)> &name) const
{
    for (const SettingsCheck::Problem &problem : problems) {
        if (problem.kind == SettingsCheck::Kind::Malformed)
            return usage(QStringLiteral("%1 %2; nothing was sent").arg(name(problem.field), problem.reason));
    }
    for (const SettingsCheck::Problem &problem : problems) {
        const QString sentence = QStringLiteral("%1 %2").arg(name(problem.field), problem.reason);
        if (!force)
            return usage(sentence + QStringLiteral("; nothing was sent (--force sends it anyway)"));
        warn(sentence + QStringLiteral("; sent anyway (--force)"));
    }
    return 0;
}

void CliTool::out(const QString &text) const
{
    writeTo(stdout, text.toUtf8());
}

void CliTool::progress(const QString &text) const
{
    if (!::isatty(STDERR_FILENO))
        return;
    progressShown = !text.isEmpty();
    writeTo(stderr, (QStringLiteral("\r\033[K") + text).toLocal8Bit());
}

void CliTool::wait(int ms) const
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int CliTool::parse(QCommandLineParser *parser, const QStringList &arguments, const QString &command,
                   const QString &synopsis, const QString &example) const
{
    parser->setApplicationDescription(synopsis);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser->addOption(help);
    if (!parser->parse(QStringList{QStringLiteral("pathmere-cli ") + command} + arguments)) {
        // Qt's error names the unknown option; a long one is not echoed whole.
        QString why = parser->errorText().left(200);
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        return usage(QStringLiteral("%1; see pathmere-cli %2 --help").arg(why, command));
    }
    if (parser->isSet(help)) {
        // Qt names the program by the path it was started with.
        QString text = parser->helpText();
        const int endOfFirst = text.indexOf(QLatin1Char('\n'));
        const int options = text.indexOf(QLatin1String(" [options]"));
        if (options > 0 && options < endOfFirst)
            text.replace(0, options, QStringLiteral("Usage: pathmere-cli ") + command);
        out(text + QStringLiteral("\nExample:\n  %1\n").arg(example));
        return -1;
    }
    return 0;
}

void CliTool::addSearchOptions(QCommandLineParser *parser) const
{
    parser->addOption({QStringLiteral("adapter"),
                       QStringLiteral("Search only from this adapter: its IPv4 address or its interface name, "
                                      "which stands for its first IPv4 address (default: every adapter)."),
                       QStringLiteral("ADDRESS|NAME")});
    parser->addOption({QStringLiteral("target"),
                       QStringLiteral("Also send the queries by unicast to this address (a camera behind a router); "
                                      "repeat for more, at most %1. An address this computer has no route to is "
                                      "refused (exit %2).").arg(CliInput::MaxTargets).arg(NoRoute),
                       QStringLiteral("ADDRESS")});
    parser->addOption({QStringLiteral("seconds"),
                       QStringLiteral("How long the search listens, %1 to %2 (default %3).")
                           .arg(CliInput::MinSeconds).arg(CliInput::MaxSeconds).arg(DefaultSeconds),
                       QStringLiteral("N"), QString::number(DefaultSeconds)});
    parser->addOption({QStringLiteral("port-wait"),
                       QStringLiteral("When another program holds UDP port 8000, wait this many seconds for it, "
                                      "0 to 600 (default %1).").arg(DefaultPortWaitSeconds),
                       QStringLiteral("N"), QString::number(DefaultPortWaitSeconds)});
}

int CliTool::readSearchOptions(const QCommandLineParser &parser, SearchOptions *options) const
{
    QString error;
    if (parser.isSet(QStringLiteral("adapter"))) {
        const QString value = parser.value(QStringLiteral("adapter"));
        QHostAddress address;
        if (!CliInput::ipv4(value, QStringLiteral("--adapter"), &address, &error)) {
            const QNetworkInterface iface = CliInput::interfaceName(value) ? QNetworkInterface::interfaceFromName(value)
                                                                           : QNetworkInterface();
            if (!iface.isValid())
                return usage(QStringLiteral("--adapter takes an adapter's IPv4 address or interface name "
                                            "(see pathmere-cli adapters), not \"%1\"").arg(value.left(40)));
            const QList<QNetworkAddressEntry> entries = iface.addressEntries();
            for (const QNetworkAddressEntry &entry : entries) {
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                    address = entry.ip();
                    break;
                }
            }
            if (address.isNull())
                return usage(QStringLiteral("the interface %1 has no IPv4 address (see pathmere-cli adapters)").arg(value));
        }
        bool known = false;
        const QList<NetworkAdapterEntry> adapters = manager->getNetworkAdapters();
        for (const NetworkAdapterEntry &adapter : adapters)
            known = known || adapter.address.split(QStringLiteral("\r\n")).contains(address.toString());
        if (!known)
            return usage(QStringLiteral("no adapter has the address %1 (see pathmere-cli adapters)").arg(address.toString()));
        options->adapter = address.toString();
    }
    const QStringList targets = parser.values(QStringLiteral("target"));
    if (targets.size() > CliInput::MaxTargets)
        return usage(QStringLiteral("--target may be given at most %1 times").arg(CliInput::MaxTargets));
    for (const QString &text : targets) {
        QHostAddress address;
        if (!CliInput::ipv4(text, QStringLiteral("--target"), &address, &error))
            return usage(error);
        options->targets.append(address);
    }
    if (!CliInput::number(parser.value(QStringLiteral("seconds")), QStringLiteral("--seconds"), CliInput::MinSeconds,
                          CliInput::MaxSeconds, &options->seconds, &error)
        || !CliInput::number(parser.value(QStringLiteral("port-wait")), QStringLiteral("--port-wait"), 0, 600,
                             &options->portWait, &error))
        return usage(error);
    // A query to an address without a route is never sent: a search that
    // then lists nothing would read as "no camera there".
    for (const QHostAddress &target : qAsConst(options->targets)) {
        const RouteLookup::Result route = RouteLookup::to(target.toIPv4Address());
        if (!route.routed)
            return fail(NoRoute, QStringLiteral("--target %1 cannot be reached: this computer has no route to it (%2); "
                                                "nothing was sent").arg(target.toString(), route.reason));
    }
    return 0;
}

int CliTool::readCredentials(const QCommandLineParser &parser, QString *user, QString *password) const
{
    QString error;
    if (!parser.isSet(QStringLiteral("user")))
        return usage(QStringLiteral("--user is required"));
    *user = parser.value(QStringLiteral("user"));
    if (!CliInput::credential(*user, QStringLiteral("user ID"), &error))
        return usage(error);
    if (!PasswordSource::obtain(parser.isSet(QStringLiteral("password-stdin")), *user, password, &error))
        return usage(error);
    return 0;
}

bool CliTool::waitForPort(int seconds) const
{
    if (!PortUsage::udpPortInUse(UtilityProtocol::Port))
        return true;
    if (seconds > 0)
        writeTo(stderr, QStringLiteral("pathmere-cli: UDP port %1 is in use by another program (a running search?); "
                                       "waiting up to %2 s for it.\n")
                            .arg(UtilityProtocol::Port).arg(seconds).toLocal8Bit());
    for (int waited = 0; waited < seconds * 5; ++waited) {
        wait(200);
        if (!PortUsage::udpPortInUse(UtilityProtocol::Port))
            return true;
    }
    return false;
}

bool CliTool::search(const SearchOptions &options, QList<DeviceRecord> *list)
{
    // Only before our own first socket: afterwards the port is ours.
    if (!portChecked && !waitForPort(options.portWait))
        return false;
    portChecked = true;
    manager->setSearchTypes(options.mask);
    manager->setUnicastTargets(options.targets);
    manager->refreshAddresses();
    manager->startSearch(options.adapter);
    for (int left = options.seconds; left > 0; --left) {
        progress(QStringLiteral("Searching... %1 s").arg(left));
        wait(1000);
    }
    progress(QString());
    *list = manager->getDeviceList();
    return true;
}

// --- adapters ----------------------------------------------------------------

int CliTool::runAdapters(const QStringList &arguments)
{
    QCommandLineParser parser;
    if (const int r = parse(&parser, arguments, QStringLiteral("adapters"),
                            QStringLiteral("Lists the network adapters as the window's chooser does: "
                                           "description, then its IPv4 addresses."),
                            QStringLiteral("pathmere-cli adapters")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("adapters takes no arguments"));
    const QList<NetworkAdapterEntry> adapters = manager->getNetworkAdapters();
    for (const NetworkAdapterEntry &adapter : adapters) {
        QString description = adapter.description;
        for (QChar &c : description) {
            if (!c.isPrint())
                c = QLatin1Char('?');
        }
        out(QStringLiteral("%1\t%2\n").arg(description, adapter.address.split(QStringLiteral("\r\n")).join(QLatin1Char(' '))));
    }
    return Ok;
}

// --- search ------------------------------------------------------------------

int CliTool::runSearch(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    parser.addOption({QStringLiteral("sources"),
                      QStringLiteral("Which searches run: utility, doccam and box joined by ',' (default utility). "
                                     "doccam and box find devices only where their discovery sources are "
                                     "registered with the search coordinator; until then they find nothing."),
                      QStringLiteral("LIST"), QStringLiteral("utility")});
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("Output: table, json, csv or csv-raw (default table). csv puts a ' before a field "
                                     "that begins with =, +, -, @, a tab or CR, so no spreadsheet takes a name "
                                     "for a formula; csv-raw writes every field exactly as it came."),
                      QStringLiteral("FORMAT"), QStringLiteral("table")});
    if (const int r = parse(&parser, arguments, QStringLiteral("search"),
                            QStringLiteral("Runs one search and prints the merged device list. The table shows "
                                           "model, name, address, MAC, firmware and mode in at most 100 columns; "
                                           "json and csv carry every field."),
                            QStringLiteral("pathmere-cli search --adapter eth0 --seconds 3 --format json")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("search takes no arguments, only options"));
    SearchOptions options;
    if (const int r = readSearchOptions(parser, &options))
        return r;
    QString error;
    if (!CliInput::sources(parser.value(QStringLiteral("sources")), &options.mask, &error))
        return usage(error);
    DeviceListFormat::Kind kind = DeviceListFormat::Kind::Table;
    if (!DeviceListFormat::kindFromText(parser.value(QStringLiteral("format")), &kind))
        return usage(QStringLiteral("--format takes table, json, csv or csv-raw"));

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return fail(Failed, QStringLiteral("UDP port %1 is still in use by another program; "
                                           "try again when its search has ended").arg(UtilityProtocol::Port));
    writeTo(stdout, DeviceListFormat::format(list, kind));
    return Ok;
}

// --- set ---------------------------------------------------------------------

int CliTool::runSet(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    parser.addPositionalArgument(QStringLiteral("MAC"), QStringLiteral("The camera's MAC address."));
    parser.addOption({QStringLiteral("model"), QStringLiteral("Only the camera of this model (when MACs repeat)."),
                      QStringLiteral("MODEL")});
    parser.addOption({QStringLiteral("dhcp"), QStringLiteral("Let the camera take its address by DHCP.")});
    parser.addOption({QStringLiteral("ip"), QStringLiteral("Static address."), QStringLiteral("A")});
    parser.addOption({QStringLiteral("mask"), QStringLiteral("Subnet mask (default: the camera's)."), QStringLiteral("M")});
    parser.addOption({QStringLiteral("gateway"), QStringLiteral("Gateway (default: the camera's)."), QStringLiteral("G")});
    parser.addOption({QStringLiteral("dns1"), QStringLiteral("First DNS server (default: the camera's)."), QStringLiteral("D")});
    parser.addOption({QStringLiteral("dns2"), QStringLiteral("Second DNS server (default: the camera's)."), QStringLiteral("D")});
    parser.addOption({QStringLiteral("user"), QStringLiteral("The camera's user ID."), QStringLiteral("USER")});
    parser.addOption({QStringLiteral("password-stdin"),
                      QStringLiteral("Read the password from the first line of standard input (otherwise "
                                     "PATHMERE_PASSWORD, otherwise a prompt on a terminal).")});
    parser.addOption({QStringLiteral("dry-run"),
                      QStringLiteral("Search and check, then print the settings record's fields as they would be "
                                     "sent, and send nothing (no password is needed).")});
    parser.addOption({QStringLiteral("force"),
                      QStringLiteral("Send even when the address is held by another device, by this computer, or "
                                     "answers an address-conflict probe. A malformed value is never sent.")});
    if (const int r = parse(&parser, arguments, QStringLiteral("set"),
                            QStringLiteral("Changes one camera's network settings and confirms them with a new "
                                           "search. A setting that cannot work (a mask that is not contiguous, the "
                                           "subnet's network or broadcast address, a special address, a gateway "
                                           "outside the subnet) or that conflicts with another holder of the "
                                           "address is refused with exit code 2 before anything is sent. Exit "
                                           "codes: 0 confirmed, 2 usage or refused setting, 3 camera not found, "
                                           "4 refused (Invalid ID), 5 not confirmed, 8 no route to a --target."),
                            QStringLiteral("pathmere-cli set 02-50-4D-00-00-01 --ip 192.0.2.50 --mask 255.255.255.0 "
                                           "--gateway 192.0.2.1 --user admin --password-stdin")))
        return r < 0 ? Ok : r;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usage(QStringLiteral("set takes exactly one MAC address"));
    QString error;
    QString mac;
    if (!CliInput::mac(positional.first(), &mac, &error))
        return usage(error);
    const QString model = parser.value(QStringLiteral("model"));
    if (!CliInput::text(model, QStringLiteral("--model"), CliInput::MaxTextLength, &error))
        return usage(error);

    SettingsRequest request;
    const bool dhcp = parser.isSet(QStringLiteral("dhcp"));
    if (dhcp == parser.isSet(QStringLiteral("ip")))
        return usage(QStringLiteral("set takes either --dhcp or --ip"));
    request.dhcpGiven = true;
    request.dhcp = dhcp;
    const struct { const char *name; QString *field; } addressOptions[] = {
        {"ip", &request.ip}, {"mask", &request.mask}, {"gateway", &request.gateway},
        {"dns1", &request.dns1}, {"dns2", &request.dns2}};
    for (const auto &option : addressOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (!parser.isSet(name))
            continue;
        if (dhcp)
            return usage(QStringLiteral("--%1 cannot go with --dhcp").arg(name));
        QHostAddress address;
        if (!CliInput::ipv4(parser.value(name), QStringLiteral("--") + name, &address, &error))
            return usage(error);
        *option.field = address.toString();
    }
    SearchOptions options;
    if (const int r = readSearchOptions(parser, &options))
        return r;
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
    QString user;
    QString password;
    if (dryRun) {
        user = parser.value(QStringLiteral("user"));
        if (!user.isEmpty() && !CliInput::credential(user, QStringLiteral("user ID"), &error))
            return usage(error);
    } else if (const int r = readCredentials(parser, &user, &password)) {
        return r;
    }

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return fail(Failed, QStringLiteral("UDP port %1 is still in use by another program").arg(UtilityProtocol::Port));
    const DeviceRecord *found = findCamera(list, mac, model);
    if (!found)
        return fail(NotFound, QStringLiteral("no camera with MAC %1%2 answered the search")
                                  .arg(mac, model.isEmpty() ? QString() : QStringLiteral(" and model ") + model));
    const DeviceRecord desired = request.desired(*found);

    QString probeInterface;
    QString probeNote;
    if (!desired.dhcp) {
        SettingsCheck::Surroundings around;
        around.devices = list;
        around.host = SettingsCheck::hostAddresses();
        const SettingsCheck::Planned planned = SettingsRequest::planned(desired);
        probeInterface = interfaceFor(planned.ip);
        if (probeInterface.isEmpty()) {
            probeNote = QStringLiteral("no adapter of this computer is in the planned subnet");
        } else {
            const ArpProbe::Result probed = ArpProbe::probe(probeInterface, {planned.ip});
            around.probeAnswers = probed.answeredBy;
            probeNote = probed.probed ? QString() : probed.reason;
        }
        const auto name = [&](SettingsCheck::Field field) {
            const QString option = field == SettingsCheck::Field::Mask ? QStringLiteral("mask")
                : field == SettingsCheck::Field::Gateway                ? QStringLiteral("gateway")
                                                                         : QStringLiteral("ip");
            const quint32 value = field == SettingsCheck::Field::Mask ? planned.mask
                : field == SettingsCheck::Field::Gateway              ? planned.gateway
                                                                       : planned.ip;
            return parser.isSet(option)
                ? QStringLiteral("--%1 %2").arg(option, SettingsCheck::addressText(value))
                : QStringLiteral("the camera's %1 %2 (kept: --%1 not given)").arg(option, SettingsCheck::addressText(value));
        };
        if (const int r = refuseProblems(SettingsCheck::check(planned, around), parser.isSet(QStringLiteral("force")), name))
            return r;
    }

    if (dryRun) {
        QString text = QStringLiteral("Settings record for %1, not sent (--dry-run):\n").arg(mac)
            + SettingsRequest::recordText(SettingsRequest::record(desired, user, password));
        if (!desired.dhcp)
            text += probeNote.isEmpty() ? QStringLiteral("  address-conflict probe made on %1\n").arg(probeInterface)
                                        : QStringLiteral("  no address-conflict probe was made: %1\n").arg(probeNote);
        out(text);
        return Ok;
    }

    refused = false;
    manager->sendSetting(SettingsRequest::record(desired, user, password));
    progress(QStringLiteral("Settings sent; waiting for the camera..."));
    for (int waited = 0; waited < RefusalWaitMs && !refused; waited += 100)
        wait(100);
    if (refused)
        return fail(Refused, QStringLiteral("the camera refused the settings (Invalid ID): check the user ID and password"));

    // A camera reached by unicast is asked again at its new address.
    SearchOptions confirm = options;
    const QHostAddress newAddress(desired.ip);
    if (!confirm.targets.isEmpty() && !confirm.targets.contains(newAddress)
        && confirm.targets.size() < CliInput::MaxTargets)
        confirm.targets.append(newAddress);
    QList<DeviceRecord> after;
    search(confirm, &after);
    if (refused)
        return fail(Refused, QStringLiteral("the camera refused the settings (Invalid ID): check the user ID and password"));
    const DeviceRecord *now = findCamera(after, mac, model.isEmpty() ? found->model : model);
    if (!now || !SettingsRequest::shows(*now, desired))
        return fail(NotConfirmed, now ? QStringLiteral("the camera %1 still shows other settings after the change").arg(mac)
                                      : QStringLiteral("the camera %1 did not answer the confirming search").arg(mac));
    out(desired.dhcp ? QStringLiteral("%1: confirmed, DHCP (now %2)\n").arg(mac, now->ip)
                     : QStringLiteral("%1: confirmed, %2 mask %3 gateway %4 dns %5 %6\n")
                           .arg(mac, now->ip, now->mask, now->gateway, now->dns1, now->dns2));
    return Ok;
}

// --- assign ------------------------------------------------------------------

int CliTool::runAssign(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    parser.addOption({QStringLiteral("range"), QStringLiteral("The addresses to hand out, FIRST-LAST (at most %1).")
                                                   .arg(CliInput::MaxRangeCount), QStringLiteral("FIRST-LAST")});
    parser.addOption({QStringLiteral("mask"), QStringLiteral("Subnet mask (default: each camera's)."), QStringLiteral("M")});
    parser.addOption({QStringLiteral("gateway"), QStringLiteral("Gateway (default: each camera's)."), QStringLiteral("G")});
    parser.addOption({QStringLiteral("dns1"), QStringLiteral("First DNS server (default: each camera's)."), QStringLiteral("D")});
    parser.addOption({QStringLiteral("dns2"), QStringLiteral("Second DNS server (default: each camera's)."), QStringLiteral("D")});
    parser.addOption({QStringLiteral("model"), QStringLiteral("Only cameras of this model."), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("only"), QStringLiteral("Only these cameras (MACs joined by ',')."), QStringLiteral("MAC,...")});
    parser.addOption({QStringLiteral("dry-run"), QStringLiteral("Print the plan, send nothing.")});
    parser.addOption({QStringLiteral("user"), QStringLiteral("The cameras' user ID."), QStringLiteral("USER")});
    parser.addOption({QStringLiteral("password-stdin"),
                      QStringLiteral("Read the password from the first line of standard input (otherwise "
                                     "PATHMERE_PASSWORD, otherwise a prompt on a terminal).")});
    parser.addOption({QStringLiteral("force"),
                      QStringLiteral("Send even when a planned address is held by another device or by this "
                                     "computer. A malformed value is never sent.")});
    if (const int r = parse(&parser, arguments, QStringLiteral("assign"),
                            QStringLiteral("Gives the cameras found static addresses from a range, in MAC order; a "
                                           "camera already in the range keeps its address. The range must lie in "
                                           "one subnet of the mask (--mask, or the cameras' common mask); its "
                                           "network and broadcast addresses are never handed out. Exit codes: 0 "
                                           "all confirmed, 2 usage or refused setting, 3 no camera matched, 6 some "
                                           "not confirmed, 7 range too small (nothing sent), 8 no route to a "
                                           "--target."),
                            QStringLiteral("pathmere-cli assign --range 192.0.2.100-192.0.2.149 --mask 255.255.255.0 "
                                           "--gateway 192.0.2.1 --user admin --dry-run")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("assign takes no arguments, only options"));
    QString error;
    quint32 first = 0;
    quint32 last = 0;
    if (!parser.isSet(QStringLiteral("range")))
        return usage(QStringLiteral("--range is required"));
    if (!CliInput::range(parser.value(QStringLiteral("range")), &first, &last, &error))
        return usage(error);
    SettingsRequest change;
    const struct { const char *name; QString *field; } addressOptions[] = {
        {"mask", &change.mask}, {"gateway", &change.gateway}, {"dns1", &change.dns1}, {"dns2", &change.dns2}};
    for (const auto &option : addressOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (!parser.isSet(name))
            continue;
        QHostAddress address;
        if (!CliInput::ipv4(parser.value(name), QStringLiteral("--") + name, &address, &error))
            return usage(error);
        *option.field = address.toString();
    }
    const QString model = parser.value(QStringLiteral("model"));
    if (!CliInput::text(model, QStringLiteral("--model"), CliInput::MaxTextLength, &error))
        return usage(error);
    QStringList only;
    if (parser.isSet(QStringLiteral("only")) && !CliInput::macList(parser.value(QStringLiteral("only")), &only, &error))
        return usage(error);
    // One subnet for the whole range: the one of --mask, or of the mask the
    // cameras share (known after the search).
    quint32 mask = 0;
    QString maskName;
    const QString rangeName = QStringLiteral("--range %1-%2").arg(ipText(first), ipText(last));
    const auto refuseRange = [&]() {
        return refuseProblems(SettingsCheck::checkRange(first, last, mask), false, [&](SettingsCheck::Field field) {
            return field == SettingsCheck::Field::Mask ? maskName : rangeName;
        });
    };
    if (!change.mask.isEmpty()) {
        mask = SettingsRequest::recordAddress(change.mask);
        maskName = QStringLiteral("--mask %1").arg(change.mask);
        if (const int r = refuseRange())
            return r;
    }
    SearchOptions options;
    if (const int r = readSearchOptions(parser, &options))
        return r;
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
    QString user;
    QString password;
    if (!dryRun) {
        if (const int r = readCredentials(parser, &user, &password))
            return r;
    }

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return fail(Failed, QStringLiteral("UDP port %1 is still in use by another program").arg(UtilityProtocol::Port));
    const QSet<QString> onlySet(only.cbegin(), only.cend());
    QList<DeviceRecord> cameras;
    for (const DeviceRecord &r : qAsConst(list)) {
        if (r.searchType != DeviceRecord::BroadcastSearch)
            continue;
        if (!model.isEmpty() && r.model.compare(model, Qt::CaseInsensitive) != 0)
            continue;
        if (!onlySet.isEmpty() && !onlySet.contains(r.mac))
            continue;
        cameras.append(r);
    }
    for (const QString &mac : qAsConst(only)) {
        if (!findCamera(cameras, mac, QString()))
            writeTo(stderr, QStringLiteral("pathmere-cli: %1 did not answer the search.\n").arg(mac).toLocal8Bit());
    }
    if (cameras.isEmpty())
        return fail(NotFound, QStringLiteral("no camera found matches"));

    if (change.mask.isEmpty()) {
        QStringList masks;
        for (const DeviceRecord &camera : qAsConst(cameras)) {
            const QString text = SettingsCheck::addressText(SettingsRequest::recordAddress(camera.mask));
            if (!masks.contains(text))
                masks.append(text);
        }
        if (masks.size() > 1)
            return usage(QStringLiteral("the cameras found have different masks (%1); give --mask").arg(masks.join(QStringLiteral(", "))));
        mask = SettingsRequest::recordAddress(masks.first());
        maskName = QStringLiteral("the cameras' mask %1 (kept: --mask not given)").arg(masks.first());
        if (const int r = refuseRange())
            return r;
    }

    // This host's own addresses are as taken as any device's.
    QList<DeviceRecord> taken = list;
    const QList<SettingsCheck::HostAddress> hostAddresses = SettingsCheck::hostAddresses();
    for (const SettingsCheck::HostAddress &local : hostAddresses) {
        DeviceRecord host;
        host.ip = ipText(local.address);
        taken.append(host);
    }
    const QString probeInterface = interfaceFor(first);
    QString noProbeReason = probeInterface.isEmpty()
        ? QStringLiteral("no adapter of this host is in the range's subnet") : QString();
    const AssignPlanner::ProbeFunction probe = [&](const QList<quint32> &candidates) {
        if (!noProbeReason.isEmpty())
            return QSet<quint32>();
        const ArpProbe::Result result = ArpProbe::probe(probeInterface, candidates);
        if (!result.probed)
            noProbeReason = result.reason;
        return result.inUse;
    };
    const AssignPlanner::Plan plan = AssignPlanner::plan(cameras, taken, first, last, change, probe, mask);

    QString text = QStringLiteral("Plan for %1 camera(s) in %2-%3:\n").arg(cameras.size()).arg(ipText(first), ipText(last));
    for (const AssignPlanner::Entry &entry : plan.entries) {
        const QString to = entry.desired.ip.isEmpty() ? QStringLiteral("(no address left)") : entry.desired.ip;
        const QString what = entry.unchanged ? QStringLiteral("unchanged")
            : entry.keepsAddress            ? QStringLiteral("keeps its address")
            : entry.desired.ip.isEmpty()    ? QStringLiteral("not placed")
                                            : QStringLiteral("new address");
        text += QStringLiteral("  %1  %2 -> %3  %4\n").arg(entry.current.mac, entry.current.ip, to, what);
    }
    if (!plan.skippedHeld.isEmpty())
        text += QStringLiteral("  skipped, held by a device found: %1\n").arg(joinedAddresses(plan.skippedHeld));
    if (!plan.skippedProbe.isEmpty())
        text += QStringLiteral("  skipped, answered an address-conflict probe: %1\n").arg(joinedAddresses(plan.skippedProbe));
    if (!plan.skippedReserved.isEmpty())
        text += QStringLiteral("  skipped, the subnet's network or broadcast address: %1\n").arg(joinedAddresses(plan.skippedReserved));
    text += noProbeReason.isEmpty() ? QStringLiteral("  address-conflict probe made on %1\n").arg(probeInterface)
                                    : QStringLiteral("  no address-conflict probe was made: %1\n").arg(noProbeReason);
    out(text);

    // Each planned setting as it will be sent, against the devices as they
    // will be once the plan is applied (a camera moved away frees its old
    // address for another).
    QList<DeviceRecord> afterPlan;
    for (const DeviceRecord &device : qAsConst(list)) {
        if (!findCamera(cameras, device.mac, QString()))
            afterPlan.append(device);
    }
    for (const AssignPlanner::Entry &entry : plan.entries)
        afterPlan.append(entry.desired.ip.isEmpty() ? entry.current : entry.desired);
    SettingsCheck::Surroundings around;
    around.devices = afterPlan;
    around.host = hostAddresses;
    for (const AssignPlanner::Entry &entry : plan.entries) {
        if (entry.unchanged || entry.desired.ip.isEmpty())
            continue;
        const SettingsCheck::Planned planned = SettingsRequest::planned(entry.desired);
        const auto name = [&](SettingsCheck::Field field) {
            if (field == SettingsCheck::Field::Mask)
                return QStringLiteral("%1: %2").arg(entry.current.mac, maskName);
            if (field == SettingsCheck::Field::Gateway)
                return QStringLiteral("%1: %2 %3").arg(entry.current.mac,
                    parser.isSet(QStringLiteral("gateway")) ? QStringLiteral("--gateway")
                                                            : QStringLiteral("the camera's gateway (kept: --gateway not given)"),
                    SettingsCheck::addressText(planned.gateway));
            return QStringLiteral("%1: the planned address %2").arg(entry.current.mac, entry.desired.ip);
        };
        if (const int r = refuseProblems(SettingsCheck::check(planned, around), parser.isSet(QStringLiteral("force")), name))
            return r;
    }
    if (!plan.complete())
        return fail(RangeTooSmall, QStringLiteral("the range is %1 address(es) short; nothing was sent").arg(plan.shortBy));
    if (dryRun)
        return Ok;

    refused = false;
    int sent = 0;
    for (const AssignPlanner::Entry &entry : plan.entries) {
        if (entry.unchanged)
            continue;
        manager->sendSetting(SettingsRequest::record(entry.desired, user, password));
        ++sent;
        wait(20);
    }
    QList<DeviceRecord> after;
    if (sent > 0) {
        progress(QStringLiteral("Settings sent to %1 camera(s); waiting...").arg(sent));
        wait(RefusalWaitMs);
        search(options, &after);
    }
    bool allConfirmed = true;
    for (const AssignPlanner::Entry &entry : plan.entries) {
        QString status;
        if (entry.unchanged) {
            status = QStringLiteral("unchanged");
        } else {
            const DeviceRecord *now = findCamera(after, entry.current.mac, entry.current.model);
            if (now && SettingsRequest::shows(*now, entry.desired)) {
                status = QStringLiteral("confirmed");
            } else {
                allConfirmed = false;
                status = refused ? QStringLiteral("not confirmed (a camera answered Invalid ID)")
                                 : QStringLiteral("not confirmed");
            }
        }
        out(QStringLiteral("%1 %2 %3\n").arg(entry.current.mac, entry.desired.ip, status));
    }
    if (!allConfirmed)
        return fail(SomeNotConfirmed, QStringLiteral("some cameras did not confirm their new address"));
    return Ok;
}

// --- power -------------------------------------------------------------------

int CliTool::runPower(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The camera's IPv4 address."));
    parser.addPositionalArgument(QStringLiteral("MAC"), QStringLiteral("The camera's MAC address (for Wake-on-LAN)."));
    if (const int r = parse(&parser, arguments, QStringLiteral("power"),
                            QStringLiteral("Asks the camera for its power state over VISCA and switches it on; a "
                                           "camera silent for 10 s gets Wake-on-LAN instead, and is asked again "
                                           "once the last magic packet is out. Exit 0 only when the camera reported "
                                           "itself on (already on, switched on, or on after Wake-on-LAN); 1 when "
                                           "nothing could be sent; 2 usage, or an address that is no single "
                                           "camera's; 5 when the power-on command was not completed; 8 when this "
                                           "computer has no route to the address; 9 when Wake-on-LAN was sent and "
                                           "the camera never answered."),
                            QStringLiteral("pathmere-cli power 192.0.2.10 02-50-4D-00-00-01")))
        return r < 0 ? Ok : r;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return usage(QStringLiteral("power takes an address and a MAC address"));
    QString error;
    QHostAddress address;
    QString mac;
    if (!CliInput::ipv4(positional.at(0), QStringLiteral("ADDRESS"), &address, &error)
        || !CliInput::mac(positional.at(1), &mac, &error))
        return usage(error);
    SettingsCheck::Surroundings around;
    around.host = SettingsCheck::hostAddresses();
    if (const int r = refuseProblems(SettingsCheck::checkTarget(address.toIPv4Address(), mac, around), false,
                                     [&](SettingsCheck::Field) { return QStringLiteral("ADDRESS ") + address.toString(); }))
        return r;
    const RouteLookup::Result route = RouteLookup::to(address.toIPv4Address());
    if (!route.routed)
        return fail(NoRoute, QStringLiteral("%1 cannot be reached: this computer has no route to it (%2); nothing "
                                            "was sent").arg(address.toString(), route.reason));

    enum class Phase { Inquiry, Command, WakeOnLan, AskAfterWake, Done };
    Phase phase = Phase::Inquiry;
    int result = Failed;
    QString outcome;
    QEventLoop loop;
    QTimer commandDeadline;
    commandDeadline.setSingleShot(true);
    commandDeadline.setInterval(SearchManager::ViscaTimeoutMs);
    QTimer wakeAnswerDeadline;
    wakeAnswerDeadline.setSingleShot(true);
    wakeAnswerDeadline.setInterval(WakeAnswerWaitMs);
    const auto finish = [&](int code, const QString &text) {
        if (phase == Phase::Done)
            return;
        phase = Phase::Done;
        result = code;
        outcome = text;
        loop.quit();
    };
    const QString wokenWords = QStringLiteral("did not answer VISCA within %1 s; Wake-on-LAN was sent to %2 (%3 magic packets)")
                                   .arg(SearchManager::ViscaTimeoutMs / 1000).arg(mac).arg(WakeOnLan::TotalPasses);
    const QMetaObject::Connection statusConnection =
        connect(manager, &SearchManager::emitViscaStatus, this, [&](int status) {
            const bool afterWake = phase == Phase::WakeOnLan || phase == Phase::AskAfterWake;
            if (status == SearchManager::ViscaPowerAlreadyOn && afterWake)
                finish(Ok, QStringLiteral("%1: the camera %2, and it now reports itself on.").arg(address.toString(), wokenWords));
            else if (status == SearchManager::ViscaPowerAlreadyOn)
                finish(Ok, QStringLiteral("%1: the camera is already on.").arg(address.toString()));
            else if (status == SearchManager::ViscaCommandCompleted && afterWake)
                finish(Ok, QStringLiteral("%1: the camera %2, and it has now completed the power-on command.")
                               .arg(address.toString(), wokenWords));
            else if (status == SearchManager::ViscaCommandCompleted)
                finish(Ok, QStringLiteral("%1: the camera was in standby and has been switched on.").arg(address.toString()));
        });
    WakeOnLanSender *const sender = manager->wakeOnLanSender();
    const QMetaObject::Connection wolConnection = connect(sender, &WakeOnLanSender::sequenceFinished, this, [&]() {
        if (phase != Phase::WakeOnLan)
            return;
        // Nothing answers a magic packet; only the camera itself can say it
        // woke, so it is asked once more.
        phase = Phase::AskAfterWake;
        progress(QStringLiteral("Wake-on-LAN sent; asking %1 again...").arg(address.toString()));
        if (manager->inquirePowerState(address.toString()) != 0)
            finish(Failed, QStringLiteral("the camera %1 %2, but the VISCA sockets could not be opened again to ask it")
                               .arg(address.toString(), wokenWords));
        else
            wakeAnswerDeadline.start();
    });
    connect(&commandDeadline, &QTimer::timeout, &loop, [&]() {
        finish(NotConfirmed, QStringLiteral("the camera %1 is in standby but did not complete the power-on command")
                                 .arg(address.toString()));
    });
    connect(&wakeAnswerDeadline, &QTimer::timeout, &loop, [&]() {
        finish(WakeOnLanUnanswered, QStringLiteral("the camera %1 %2, and it has not answered since: whether it woke is "
                                                   "not known (a camera may take a minute to start; ask again with "
                                                   "pathmere-cli power)")
                                        .arg(address.toString(), wokenWords));
    });
    QTimer poll;
    poll.setInterval(100);
    connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (phase != Phase::Inquiry || manager->isWaitingForPowerState())
            return;
        // The inquiry is over without "on": either the camera answered
        // standby (the power-on command is out) or the time-out sent
        // Wake-on-LAN.
        if (sender->isBusy()) {
            phase = Phase::WakeOnLan;
            progress(QStringLiteral("No VISCA answer; sending Wake-on-LAN..."));
        } else {
            phase = Phase::Command;
            progress(QStringLiteral("In standby; switching on..."));
            commandDeadline.start();
        }
    });

    progress(QStringLiteral("Asking %1 for its power state...").arg(address.toString()));
    if (manager->setPowerOn(address.toString(), mac) != 0) {
        disconnect(statusConnection);
        disconnect(wolConnection);
        return fail(Failed, QStringLiteral("the VISCA sockets could not be opened (no local IPv4 address, or the ports are taken)"));
    }
    poll.start();
    if (phase != Phase::Done)
        loop.exec();
    disconnect(statusConnection);
    disconnect(wolConnection);
    if (result != Ok)
        return fail(result, outcome);
    progress(QString());
    out(outcome + QLatin1Char('\n'));
    return Ok;
}
