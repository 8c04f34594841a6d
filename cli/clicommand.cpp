#include "clicommand.h"

#include "applysettingsjob.h"
#include "cliinput.h"
#include "devicelistreader.h"
#include "keyringlogin.h"
#include "passwordsource.h"
#include "portusage.h"
#include "routelookup.h"
#include "searchmanager.h"
#include "sweepprogressbar.h"
#include "utilityprotocol.h"
#include "utilitysearch.h"
#include "utilitysweep.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QSet>
#include <QTimer>

#include <unistd.h>

namespace {

void writeBytes(FILE *stream, const QByteArray &bytes)
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

} // namespace

CliCommand::CliCommand(QObject *parent)
    : QObject(parent)
    , manager(SearchManager::getInstance())
{
}

CliCommand::~CliCommand() = default;

void CliCommand::writeTo(FILE *stream, const QByteArray &bytes)
{
    writeBytes(stream, bytes);
}

QString CliCommand::ipText(quint32 address)
{
    return QHostAddress(address).toString();
}

QString CliCommand::interfaceFor(quint32 address)
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

int CliCommand::usage(const QString &sentence) const
{
    return fail(Usage, sentence);
}

int CliCommand::fail(int code, const QString &sentence) const
{
    if (progressShown)
        std::fputs("\r\033[K", stderr);
    QString text = capitalised(sentence);
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    writeTo(stderr, QStringLiteral("pathmere-cli: %1\n").arg(text).toLocal8Bit());
    return code;
}

void CliCommand::warn(const QString &sentence) const
{
    if (progressShown)
        std::fputs("\r\033[K", stderr);
    writeTo(stderr, QStringLiteral("pathmere-cli: warning: %1.\n").arg(sentence).toLocal8Bit());
}

int CliCommand::refuseProblems(const QList<SettingsCheck::Problem> &problems, bool force,
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

void CliCommand::out(const QString &text) const
{
    writeTo(stdout, text.toUtf8());
}

void CliCommand::progress(const QString &text) const
{
    if (!::isatty(STDERR_FILENO))
        return;
    progressShown = !text.isEmpty();
    writeTo(stderr, (QStringLiteral("\r\033[K") + text).toLocal8Bit());
}

void CliCommand::wait(int ms) const
{
    if (interrupted)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QEventLoop *const outer = waiting;
    waiting = &loop;
    loop.exec();
    waiting = outer;
}

void CliCommand::interruptWaits()
{
    interrupted = true;
    if (waiting)
        waiting->quit();
}

int CliCommand::parse(QCommandLineParser *parser, const QStringList &arguments, const QString &command,
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

void CliCommand::addSearchOptions(QCommandLineParser *parser) const
{
    parser->addOption({QStringLiteral("adapter"),
                       QStringLiteral("Search only from this adapter: its IPv4 address or its interface name, "
                                      "which stands for its first IPv4 address (default: every adapter)."),
                       QStringLiteral("ADDRESS|NAME")});
    parser->addOption({QStringLiteral("target"),
                       QStringLiteral("Also send the queries by unicast to cameras behind a router: an address, "
                                      "a network (198.51.100.0/24) or a range (198.51.100.10-198.51.100.200); "
                                      "repeat for more. Networks and ranges are swept first, every address twice, "
                                      "and the search then listens as long as --seconds says. At most %1 single "
                                      "addresses; one this computer has no route to is refused (exit %2), and so "
                                      "is a sweep with a target it cannot route to.")
                           .arg(CliInput::MaxTargets).arg(NoRoute),
                       QStringLiteral("ADDRESS|NETWORK|RANGE")});
    parser->addOption({QStringLiteral("targets-from"),
                       QStringLiteral("Sweep the targets of this file too: one address, network or range a line, "
                                      "'#' starts a comment."),
                       QStringLiteral("FILE")});
    parser->addOption({QStringLiteral("rate"),
                       QStringLiteral("Datagrams per second of a sweep, %1 to %2 (default %3, polite to the routers "
                                      "on the way: a /24 in under a second, a /16 in under half a minute).")
                           .arg(SweepPlan::MinRatePps).arg(SweepPlan::MaxRatePps).arg(SweepPlan::DefaultRatePps),
                       QStringLiteral("PPS"), QString::number(SweepPlan::DefaultRatePps)});
    parser->addOption({QStringLiteral("yes"),
                       QStringLiteral("Sweep more addresses than a /16 holds (%1); without it such a sweep is "
                                      "refused.").arg(SweepPlan::ConfirmAbove)});
    parser->addOption({QStringLiteral("seconds"),
                       QStringLiteral("How long the search listens, %1 to %2 (default %3).")
                           .arg(CliInput::MinSeconds).arg(CliInput::MaxSeconds).arg(DefaultSeconds),
                       QStringLiteral("N"), QString::number(DefaultSeconds)});
    parser->addOption({QStringLiteral("port-wait"),
                       QStringLiteral("When another program holds UDP port 8000, wait this many seconds for it, "
                                      "0 to 600 (default %1).").arg(DefaultPortWaitSeconds),
                       QStringLiteral("N"), QString::number(DefaultPortWaitSeconds)});
}

void CliCommand::addSourcesOption(QCommandLineParser *parser) const
{
    sourcesOffered = true;
    parser->addOption({QStringLiteral("sources"),
                       QStringLiteral("Which searches run: utility, onvif (other makers' cameras, WS-Discovery on "
                                      "UDP port 3702), doccam and box joined by ',', or all (default utility). "
                                      "doccam and box find devices only where their discovery sources are "
                                      "registered with the search coordinator; until then they find nothing."),
                       QStringLiteral("LIST"), QStringLiteral("utility")});
}

void CliCommand::addNetworkOptions(QCommandLineParser *parser, const QString &whose)
{
    parser->addOption({QStringLiteral("mask"), QStringLiteral("Subnet mask (default: %1).").arg(whose), QStringLiteral("M")});
    parser->addOption({QStringLiteral("gateway"), QStringLiteral("Gateway (default: %1).").arg(whose), QStringLiteral("G")});
    parser->addOption({QStringLiteral("dns1"), QStringLiteral("First DNS server (default: %1).").arg(whose), QStringLiteral("D")});
    parser->addOption({QStringLiteral("dns2"), QStringLiteral("Second DNS server (default: %1).").arg(whose), QStringLiteral("D")});
}

void CliCommand::addCredentialOptions(QCommandLineParser *parser, const QString &cameras)
{
    parser->addOption({QStringLiteral("user"), QStringLiteral("%1 user ID.").arg(cameras), QStringLiteral("USER")});
    parser->addOption({QStringLiteral("password-stdin"),
                       QStringLiteral("Read the password from the first line of standard input (otherwise "
                                      "PATHMERE_PASSWORD, otherwise a prompt on a terminal).")});
}

int CliCommand::readSearchOptions(const QCommandLineParser &parser, SearchOptions *options) const
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
    if (sourcesOffered) {
        if (!CliInput::sources(parser.value(QStringLiteral("sources")), &options->mask, &error))
            return usage(error);
    }
    if (!CliInput::targets(parser.values(QStringLiteral("target")), parser.value(QStringLiteral("targets-from")),
                           &options->targets, &options->sweep, &error)
        || !CliInput::number(parser.value(QStringLiteral("rate")), QStringLiteral("--rate"), SweepPlan::MinRatePps,
                             SweepPlan::MaxRatePps, &options->rate, &error))
        return usage(error);
    // A dry run sends nothing, so it may show what a large sweep would take.
    const SweepPlan plan(options->sweep.count(), options->rate);
    if (plan.needsConfirmation() && !parser.isSet(QStringLiteral("yes")) && !options->planOnly)
        return usage(QStringLiteral("the sweep holds %1 addresses, more than a /16 (%2), and takes about %3; "
                                    "nothing was sent (--yes sweeps it, --dry-run shows the plan)")
                         .arg(plan.addresses()).arg(SweepPlan::ConfirmAbove).arg(SweepPlan::durationText(plan.durationMs())));
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

int CliCommand::readCredentials(const QCommandLineParser &parser, QString *user, QString *password) const
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

bool CliCommand::waitForPort(int seconds) const
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

bool CliCommand::search(const SearchOptions &options, QList<DeviceRecord> *list)
{
    // Only before our own first socket: afterwards the port is ours.
    if (!portChecked && !waitForPort(options.portWait))
        return false;
    portChecked = true;
    // The sweep runs before the search opens its sockets: both listen on
    // port 8000 of the same addresses, and the kernel hands a unicast reply
    // to only one of them.
    QList<DeviceRecord> swept;
    QList<QHostAddress> targets = options.targets;
    if (!options.sweep.isEmpty()) {
        if (!sweep(options, &swept))
            return false;
        // Asked again by the search, they are listed like any target, and
        // settings reach them by unicast.
        for (const DeviceRecord &record : qAsConst(swept)) {
            const QHostAddress address(record.ip);
            if (targets.size() < UtilitySearch::MaxUnicastTargets
                && address.protocol() == QAbstractSocket::IPv4Protocol && !targets.contains(address))
                targets.append(address);
        }
    }
    manager->setSearchTypes(options.mask);
    manager->setUnicastTargets(targets);
    manager->refreshAddresses();
    manager->startSearch(options.adapter);
    for (int left = options.seconds; left > 0; --left) {
        progress(QStringLiteral("Searching... %1 s").arg(left));
        wait(1000);
    }
    progress(QString());
    *list = manager->getDeviceList();
    // A swept camera the search did not hear again still counts.
    QSet<QString> listed;
    for (const DeviceRecord &record : qAsConst(*list))
        listed.insert(record.mac);
    for (const DeviceRecord &record : qAsConst(swept)) {
        if (!listed.contains(record.mac))
            list->append(record);
    }
    return true;
}

bool CliCommand::sweep(const SearchOptions &options, QList<DeviceRecord> *found)
{
    UtilitySweep sweeper;
    sweeper.setTargets(options.sweep);
    sweeper.setRate(options.rate);
    SweepProgressBar bar(STDERR_FILENO);
    QEventLoop loop;
    connect(&sweeper, &UtilitySweep::deviceFound, this, &CliCommand::sweepFound);
    connect(&sweeper, &UtilitySweep::progressChanged, &loop, [&bar](const SweepProgress &state) { bar.show(state); });
    connect(&sweeper, &UtilitySweep::finished, &loop, &QEventLoop::quit);
    sweeper.start();
    loop.exec();
    bar.finish();
    if (!sweeper.failure().isEmpty()) {
        sweepFailure = sweeper.failure();
        sweepExit = sweeper.progress().datagramsSent == 0 && sweepFailure.startsWith(QLatin1String("No route"))
                        ? NoRoute
                        : Failed;
        return false;
    }
    for (const UtilitySearchCamInfo &camera : sweeper.cameras()) {
        if (!camera.name.isEmpty() && !camera.model.isEmpty())
            found->append(camera);
    }
    return true;
}

int CliCommand::searchFailed() const
{
    if (!sweepFailure.isEmpty())
        return fail(sweepExit, sweepFailure);
    return fail(Failed, QStringLiteral("UDP port %1 is still in use by another program; "
                                       "try again when its search has ended").arg(UtilityProtocol::Port));
}

QString CliCommand::searchPlan(const SearchOptions &options) const
{
    static constexpr int MaxRangeLines = 20;
    QString text = QStringLiteral("Broadcast: both queries from %1, listening %2 s.\n")
                       .arg(options.adapter.isEmpty() ? QStringLiteral("every adapter") : options.adapter)
                       .arg(options.seconds);
    if (!options.targets.isEmpty()) {
        QStringList addresses;
        for (const QHostAddress &target : options.targets)
            addresses << target.toString();
        text += QStringLiteral("Unicast: both queries to %1.\n").arg(addresses.join(QStringLiteral(", ")));
    }
    qint64 totalMs = qint64(options.seconds) * 1000;
    if (!options.sweep.isEmpty()) {
        const SweepPlan plan(options.sweep.count(), options.rate);
        text += QStringLiteral("Sweep, before the search:\n");
        for (const QString &line : SweepPlan::rangeTexts(options.sweep, MaxRangeLines))
            text += QStringLiteral("  %1\n").arg(line);
        text += QStringLiteral("  %1.\n").arg(plan.summary());
        if (plan.needsConfirmation())
            text += QStringLiteral("  More than a /16: the sweep needs --yes.\n");
        totalMs += plan.durationMs();
    }
    text += QStringLiteral("In all about %1. Nothing was sent (--dry-run).\n").arg(SweepPlan::durationText(totalMs));
    return text;
}

void CliCommand::startCountdown(int seconds)
{
    if (!countdown) {
        countdown = new QTimer(this);
        countdown->setInterval(1000);
        connect(countdown, &QTimer::timeout, this, [this] {
            if (--secondsLeft > 0)
                progress(QStringLiteral("Searching... %1 s").arg(secondsLeft));
            else
                stopCountdown();
        });
    }
    secondsLeft = seconds;
    progress(QStringLiteral("Searching... %1 s").arg(secondsLeft));
    countdown->start();
}

void CliCommand::stopCountdown()
{
    if (countdown)
        countdown->stop();
    progress(QString());
}

void CliCommand::note(const QString &sentence) const
{
    if (progressShown)
        std::fputs("\r\033[K", stderr);
    writeTo(stderr, QStringLiteral("pathmere-cli: %1.\n").arg(capitalised(sentence)).toLocal8Bit());
}

int CliCommand::keyringCredentials(KeyringLogin *keyring, const DeviceRecord &camera, QString *user,
                                   QString *password) const
{
    QString sentence;
    const bool filled = keyring->fill(camera, user, password, &sentence);
    if (!sentence.isEmpty())
        note(sentence);
    if (filled)
        return 0;
    if (user->isEmpty())
        return usage(QStringLiteral("--user is required: the keyring gave no login for camera %1").arg(camera.mac));
    QString error;
    if (!PasswordSource::obtain(false, *user, password, &error))
        return usage(error);
    return 0;
}

int CliCommand::readSavedList(const QCommandLineParser &parser, const QString &option,
                              QList<DeviceRecord> *devices) const
{
    const QString path = parser.value(option);
    QString error;
    if (!CliInput::text(path, QStringLiteral("--") + option, CliInput::MaxArgumentLength, &error))
        return usage(error);
    const DeviceListReader::Outcome read = DeviceListReader::readFile(path);
    if (!read.ok)
        return fail(Failed, read.error);
    for (const QString &warning : read.warnings)
        warn(warning);
    *devices = read.devices;
    return 0;
}

int CliCommand::applyAndConfirm(const DeviceRecord &found, const DeviceRecord &desired, const QString &user,
                                const QString &password, const SearchOptions &options, KeyringLogin *keyring)
{
    ApplySettingsJob::Options how;
    how.refusalWaitMs = RefusalWaitMs;
    how.searchMs = options.seconds * 1000;
    how.adapter = options.adapter;
    // A camera reached by unicast is asked again at its new address.
    QList<QHostAddress> targets = options.targets;
    const QHostAddress newAddress(desired.ip);
    if (!targets.isEmpty() && !targets.contains(newAddress) && targets.size() < CliInput::MaxTargets)
        targets.append(newAddress);
    how.unicastTargets = targets;
    how.refreshAddresses = true;
    ApplySettingsJob job(manager, {{found, CameraSettings::fromRecord(desired)}}, {user, password}, how);
    const QString mac = found.mac.toLower();   // as CliInput::mac writes it
    QEventLoop loop;
    ApplySettingsJob::Result result = ApplySettingsJob::NotConfirmed;
    connect(&job, &ApplySettingsJob::confirmingSearchStarted, this, [&] { startCountdown(options.seconds); });
    connect(&job, &ApplySettingsJob::finished, &loop, [&](ApplySettingsJob::Result r) {
        result = r;
        loop.quit();
    });
    progress(QStringLiteral("Settings sent; waiting for the camera..."));
    job.start();
    if (job.isRunning())
        loop.exec();
    stopCountdown();
    if (result == ApplySettingsJob::Refused)
        return fail(Refused, keyring && keyring->cameFromKeyring()
                                 ? QStringLiteral("the camera refused the settings (Invalid ID): the keyring's login for "
                                                  "it is out of date (pathmere-cli forget %1)").arg(mac)
                                 : QStringLiteral("the camera refused the settings (Invalid ID): check the user ID and password"));
    const DeviceRecord *now = job.foundTarget(0);
    if (result != ApplySettingsJob::Confirmed)
        return fail(NotConfirmed, now ? QStringLiteral("the camera %1 still shows other settings after the change").arg(mac)
                                      : QStringLiteral("the camera %1 did not answer the confirming search").arg(mac));
    out(desired.dhcp ? QStringLiteral("%1: confirmed, DHCP (now %2)\n").arg(mac, now->ip)
                     : QStringLiteral("%1: confirmed, %2 mask %3 gateway %4 dns %5 %6\n")
                           .arg(mac, now->ip, now->mask, now->gateway, now->dns1, now->dns2));
    if (keyring) {
        const QString kept = keyring->remember(*now, user, password);
        if (!kept.isEmpty())
            note(kept);
    }
    return Ok;
}

void CliCommand::addCameraArguments(QCommandLineParser *parser)
{
    parser->addPositionalArgument(QStringLiteral("MAC"), QStringLiteral("The camera's MAC address."));
    parser->addOption({QStringLiteral("model"), QStringLiteral("Only the camera of this model (when MACs repeat)."),
                       QStringLiteral("MODEL")});
}

int CliCommand::readCamera(const QCommandLineParser &parser, const QString &command, QString *mac, QString *model) const
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usage(QStringLiteral("%1 takes exactly one MAC address").arg(command));
    QString error;
    if (!CliInput::mac(positional.first(), mac, &error))
        return usage(error);
    *model = parser.value(QStringLiteral("model"));
    if (!CliInput::text(*model, QStringLiteral("--model"), CliInput::MaxTextLength, &error))
        return usage(error);
    return 0;
}

int CliCommand::searchCamera(const SearchOptions &options, const QString &mac, const QString &model,
                             QList<DeviceRecord> *list, const DeviceRecord **found)
{
    if (!search(options, list))
        return fail(Failed, QStringLiteral("UDP port %1 is still in use by another program").arg(UtilityProtocol::Port));
    *found = ApplySettingsJob::findCamera(*list, mac, model);
    if (!*found)
        return fail(NotFound, QStringLiteral("no camera with MAC %1%2 answered the search")
                                  .arg(mac, model.isEmpty() ? QString() : QStringLiteral(" and model ") + model));
    return 0;
}
