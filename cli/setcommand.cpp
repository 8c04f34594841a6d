#include "setcommand.h"

#include "applysettingsjob.h"
#include "arpprobe.h"
#include "cliinput.h"
#include "searchmanager.h"
#include "settingsrequest.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>
#include <QEventLoop>

int SetCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    parser.addPositionalArgument(QStringLiteral("MAC"), QStringLiteral("The camera's MAC address."));
    parser.addOption({QStringLiteral("model"), QStringLiteral("Only the camera of this model (when MACs repeat)."),
                      QStringLiteral("MODEL")});
    parser.addOption({QStringLiteral("dhcp"), QStringLiteral("Let the camera take its address by DHCP.")});
    parser.addOption({QStringLiteral("ip"), QStringLiteral("Static address."), QStringLiteral("A")});
    addNetworkOptions(&parser, QStringLiteral("the camera's"));
    addCredentialOptions(&parser, QStringLiteral("The camera's"));
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
    const DeviceRecord *found = ApplySettingsJob::findCamera(list, mac, model);
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
            + SettingsRequest::recordText(SearchManager::settingsRecord(*found, CameraSettings::fromRecord(desired), {user, password}));
        if (!desired.dhcp)
            text += probeNote.isEmpty() ? QStringLiteral("  address-conflict probe made on %1\n").arg(probeInterface)
                                        : QStringLiteral("  no address-conflict probe was made: %1\n").arg(probeNote);
        out(text);
        return Ok;
    }

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
    ApplySettingsJob job(manager, {{*found, CameraSettings::fromRecord(desired)}}, {user, password}, how);
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
        return fail(Refused, QStringLiteral("the camera refused the settings (Invalid ID): check the user ID and password"));
    const DeviceRecord *now = job.foundTarget(0);
    if (result != ApplySettingsJob::Confirmed)
        return fail(NotConfirmed, now ? QStringLiteral("the camera %1 still shows other settings after the change").arg(mac)
                                      : QStringLiteral("the camera %1 did not answer the confirming search").arg(mac));
    out(desired.dhcp ? QStringLiteral("%1: confirmed, DHCP (now %2)\n").arg(mac, now->ip)
                     : QStringLiteral("%1: confirmed, %2 mask %3 gateway %4 dns %5 %6\n")
                           .arg(mac, now->ip, now->mask, now->gateway, now->dns1, now->dns2));
    return Ok;
}
