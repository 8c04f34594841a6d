#include "fixsubnetcommand.h"

#include "adaptersurvey.h"
#include "applysettingsjob.h"
#include "cliinput.h"
#include "searchmanager.h"
#include "settingsrequest.h"
#include "signalwatcher.h"
#include "subnetreach.h"
#include "temporaryaddress.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QTimer>

int FixSubnetCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    addCameraArguments(&parser);
    addCredentialOptions(&parser, QStringLiteral("The camera's"));
    parser.addOption({QStringLiteral("dry-run"),
                      QStringLiteral("Search and plan, then print the settings record as it would be sent, and "
                                     "send nothing (no password is needed).")});
    parser.addOption({QStringLiteral("temporary"),
                      QStringLiteral("Leave the camera as it is: print the command that gives the adapter a free "
                                     "address in the camera's subnet.")});
    parser.addOption({QStringLiteral("apply"),
                      QStringLiteral("With --temporary: add that address (needs CAP_NET_ADMIN), keep it until "
                                     "SIGINT or SIGTERM, or for --seconds, and remove it again.")});
    if (const int r = parse(&parser, arguments, QStringLiteral("fix-subnet"),
                            QStringLiteral("Brings a camera that is not reachable from this computer (its address "
                                           "lies in no adapter's subnet) within reach. By default it moves the "
                                           "camera to the next free address of the adapter's subnet (--adapter, "
                                           "otherwise the one with the default route) and confirms it with a new "
                                           "search. --temporary instead gives the adapter an address in the "
                                           "camera's subnet. With --temporary --apply, --seconds is how long the "
                                           "address is kept. Exit codes: 0 done (or already reachable), 1 no free "
                                           "address or the address could not be added, 2 usage, 3 camera not "
                                           "found, 4 refused (Invalid ID), 5 not confirmed."),
                            QStringLiteral("pathmere-cli fix-subnet 02-50-4D-00-00-01 --user admin --password-stdin")))
        return r < 0 ? Ok : r;
    QString mac;
    QString model;
    if (const int r = readCamera(parser, QStringLiteral("fix-subnet"), &mac, &model))
        return r;
    const bool temporary = parser.isSet(QStringLiteral("temporary"));
    const bool apply = parser.isSet(QStringLiteral("apply"));
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
    if (apply && !temporary)
        return usage(QStringLiteral("--apply goes with --temporary"));
    if (dryRun && temporary)
        return usage(QStringLiteral("--dry-run goes without --temporary (which sends nothing unless --apply)"));
    SearchOptions options;
    if (const int r = readSearchOptions(parser, &options))
        return r;
    int holdSeconds = 0;
    if (apply && parser.isSet(QStringLiteral("seconds"))) {
        holdSeconds = options.seconds;
        options.seconds = DefaultSeconds;
    }
    QString user;
    QString password;
    if (!temporary && !dryRun) {
        if (const int r = readCredentials(parser, &user, &password))
            return r;
    }

    QList<DeviceRecord> list;
    const DeviceRecord *found = nullptr;
    if (const int r = searchCamera(options, mac, model, &list, &found))
        return r;
    const AdapterSurvey survey = AdapterSurvey::read();
    if (SubnetReach::reachable(*found, survey)) {
        out(QStringLiteral("%1 at %2 is reachable from this computer already: nothing to fix.\n").arg(mac, found->ip));
        return Ok;
    }

    QStringList probeNotes;
    const QList<SubnetReach::Finding> findings =
        SubnetReach::planFor(list, survey, found->mac, options.adapter, SubnetReach::arpProbe(&probeNotes));
    if (findings.isEmpty())
        return fail(Failed, QStringLiteral("this computer has no adapter that is up with an IPv4 address"));
    const SubnetReach::Finding &finding = findings.first();
    for (const QString &note : qAsConst(probeNotes))
        warn(QStringLiteral("no address-conflict probe was made: %1").arg(note));

    if (temporary) {
        if (finding.temporaryAddress == 0)
            return fail(Failed, QStringLiteral("no free address was found near the top of the camera's subnet"));
        const QString add = TemporaryAddress::addCommand(finding.adapter, finding.temporaryAddress, finding.temporaryPrefix);
        if (!apply) {
            out(QStringLiteral("%1 at %2 is %3. To reach it, give %4 an address in its subnet:\n  %5\nand remove it "
                               "afterwards:\n  %6\n")
                    .arg(mac, found->ip, SubnetReach::notReachableText(), finding.adapter, add,
                         TemporaryAddress::removeCommand(finding.adapter, finding.temporaryAddress,
                                                         finding.temporaryPrefix)));
            return Ok;
        }
        return holdTemporary(finding.adapter, finding.temporaryAddress, finding.temporaryPrefix, holdSeconds);
    }

    if (finding.readdressed.ip.isEmpty())
        return fail(Failed, QStringLiteral("%1's subnet has no free address for the camera").arg(finding.adapter));
    const DeviceRecord &desired = finding.readdressed;
    out(QStringLiteral("%1 at %2 is %3; moving it to %4 mask %5 gateway %6 (%7's subnet).\n")
            .arg(mac, found->ip, SubnetReach::notReachableText(), desired.ip, desired.mask, desired.gateway,
                 finding.adapter));
    if (dryRun) {
        out(QStringLiteral("Settings record for %1, not sent (--dry-run):\n").arg(mac)
            + SettingsRequest::recordText(SearchManager::settingsRecord(*found, CameraSettings::fromRecord(desired),
                                                                        {parser.value(QStringLiteral("user")), QString()})));
        return Ok;
    }
    return applyAndConfirm(*found, desired, user, password, options);
}

int FixSubnetCommand::holdTemporary(const QString &interfaceName, quint32 address, int prefix, int holdSeconds)
{
    const QString held = QStringLiteral("%1/%2").arg(ipText(address)).arg(prefix);
    // Before the address is added: its removal on a signal then hands the
    // signal on to this watcher, and the event loop ends in order.
    SignalWatcher watcher;
    TemporaryAddress temporary;
    QString error;
    if (!temporary.add(interfaceName, address, prefix, &error)) {
        const QString command = TemporaryAddress::addCommand(interfaceName, address, prefix);
        return fail(Failed, QStringLiteral("%1 was not added to %2: %3. Run this yourself instead: %4")
                                .arg(held, interfaceName, error, command));
    }
    out(holdSeconds > 0 ? QStringLiteral("Added %1 to %2; it stays for %3 s (or until SIGINT or SIGTERM), then it is "
                                         "removed.\n").arg(held, interfaceName).arg(holdSeconds)
                        : QStringLiteral("Added %1 to %2; it stays until SIGINT or SIGTERM (Ctrl-C), then it is "
                                         "removed.\n").arg(held, interfaceName));
    QEventLoop loop;
    connect(&watcher, &SignalWatcher::terminationRequested, &loop, &QEventLoop::quit);
    if (holdSeconds > 0)
        QTimer::singleShot(holdSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!temporary.remove(&error))
        return fail(Failed, QStringLiteral("%1 could not be removed from %2: %3. Run: %4")
                                .arg(held, interfaceName, error,
                                     TemporaryAddress::removeCommand(interfaceName, address, prefix)));
    out(QStringLiteral("Removed %1 from %2.\n").arg(held, interfaceName));
    return Ok;
}
