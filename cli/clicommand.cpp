#include "clicommand.h"

#include "cliinput.h"
#include "passwordsource.h"
#include "portusage.h"
#include "routelookup.h"
#include "searchmanager.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QNetworkInterface>
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
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
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
