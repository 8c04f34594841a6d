#include "setcommand.h"

#include "applysettingsjob.h"
#include "arpprobe.h"
#include "cliinput.h"
#include "onvifcamera.h"
#include "keyringlogin.h"
#include "searchmanager.h"
#include "settingsrequest.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>
#include <QEventLoop>

int SetCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    addSourcesOption(&parser);
    addCameraArguments(&parser);
    parser.addOption({QStringLiteral("dhcp"), QStringLiteral("Let the camera take its address by DHCP.")});
    parser.addOption({QStringLiteral("ip"), QStringLiteral("Static address."), QStringLiteral("A")});
    addNetworkOptions(&parser, QStringLiteral("the camera's"));
    addCredentialOptions(&parser, QStringLiteral("The camera's"));
    KeyringLogin::addOptions(&parser, QStringLiteral("the camera's"));
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
                                           "4 refused (Invalid ID, or an ONVIF camera's "
                                           "Unauthorized), 5 not confirmed, 8 no route to a --target. With "
                                           "--sources onvif (or all) another maker's camera is found too and "
                                           "written through ONVIF: it is read with the login first (also for "
                                           "--dry-run), so the same checks see its current settings."),
                            QStringLiteral("pathmere-cli set 02-50-4D-00-00-01 --ip 192.0.2.50 --mask 255.255.255.0 "
                                           "--gateway 192.0.2.1 --user admin --password-stdin")))
        return r < 0 ? Ok : r;
    QString mac;
    QString model;
    if (const int r = readCamera(parser, QStringLiteral("set"), &mac, &model))
        return r;
    QString error;

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
    KeyringLogin keyring;
    if (!keyring.read(parser, &error))
        return usage(error);
    QString user;
    QString password;
    if (dryRun) {
        user = parser.value(QStringLiteral("user"));
        if (!user.isEmpty() && !CliInput::credential(user, QStringLiteral("user ID"), &error))
            return usage(error);
    } else if (keyring.defersPassword(parser)) {
        // The keyring is asked once the search has found the camera.
        user = parser.value(QStringLiteral("user"));
        if (!user.isEmpty() && !CliInput::credential(user, QStringLiteral("user ID"), &error))
            return usage(error);
    } else if (const int r = readCredentials(parser, &user, &password)) {
        return r;
    }

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return searchFailed();
    const DeviceRecord *found = ApplySettingsJob::findCamera(list, mac, model);
    DeviceRecord onvifCamera;
    if (!found) {
        QList<DeviceRecord> onvifRows;
        for (const DeviceRecord &row : qAsConst(list)) {
            if (row.searchType == DeviceRecord::Onvif && row.mac.compare(mac, Qt::CaseInsensitive) == 0
                && (model.isEmpty() || row.model.compare(model, Qt::CaseInsensitive) == 0))
                onvifRows.append(row);
        }
        // Cameras behind one router or encoder share the MAC we see.
        if (onvifRows.size() > 1)
            return usage(QStringLiteral("%1 ONVIF cameras answered with MAC %2; give --model").arg(onvifRows.size()).arg(mac));
        if (onvifRows.size() == 1) {
            if (dryRun && password.isEmpty()) {
                if (const int r = readCredentials(parser, &user, &password))
                    return r;
            }
            // Reading the camera's settings already takes the login.
            if (!dryRun && password.isEmpty()) {
                if (const int r = keyringCredentials(&keyring, onvifRows.first(), &user, &password))
                    return r;
            }
            const OnvifInfoJob::Result info = OnvifCamera::readInfo(OnvifCamera::serviceUrl(onvifRows.first()),
                                                                    {user, password});
            if (const int code = OnvifCamera::exitCode(info.status)) {
                return fail(code, code == Refused
                                      ? QStringLiteral("the camera refused the login (Unauthorized): check the user ID and password")
                                      : QStringLiteral("the camera %1 could not be read: %2").arg(mac, info.error));
            }
            onvifCamera = OnvifCamera::withSettings(onvifRows.first(), info);
            found = &onvifCamera;
        }
    }
    if (!found)
        return fail(NotFound, QStringLiteral("no camera with MAC %1%2 answered the search")
                                  .arg(mac, model.isEmpty() ? QString() : QStringLiteral(" and model ") + model));
    const DeviceRecord desired = request.desired(*found);
    if (!dryRun && password.isEmpty()) {
        if (const int r = keyringCredentials(&keyring, *found, &user, &password))
            return r;
    }

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

    if (dryRun && found->searchType == DeviceRecord::Onvif) {
        const OnvifApplyJob::Settings onvif = OnvifCamera::settingsFor(desired);
        out(QStringLiteral("ONVIF settings for %1 at %2, not written (--dry-run):\n  dhcp %3\n  ip %4\n  mask %5\n"
                           "  gateway %6\n  dns %7 %8\n")
                .arg(mac, found->ip, onvif.dhcp ? QStringLiteral("on") : QStringLiteral("off"), onvif.ip, onvif.mask,
                     onvif.gateway, onvif.dns1, onvif.dns2));
        return Ok;
    }
    if (found->searchType == DeviceRecord::Onvif) {
        OnvifCamera::ApplyTimes times;
        times.adapter = options.adapter;
        startCountdown(OnvifApplyJob::ConfirmDeadlineMs / 1000);
        const OnvifApplyJob::Result result = OnvifCamera::apply(*found, {user, password}, desired, times);
        stopCountdown();
        if (result.status == OnvifApplyJob::Status::Unauthorized)
            return fail(Refused, QStringLiteral("the camera refused the login (Unauthorized): check the user ID and password"));
        if (const int code = OnvifCamera::exitCode(result.status))
            return fail(code, QStringLiteral("the camera %1 did not confirm the change: %2").arg(mac, result.error));
        out(desired.dhcp ? QStringLiteral("%1: confirmed, DHCP (now %2)\n").arg(mac, result.confirmedIp)
                         : QStringLiteral("%1: confirmed, %2 mask %3 gateway %4 dns %5 %6\n")
                               .arg(mac, result.confirmedIp, desired.mask, desired.gateway, desired.dns1, desired.dns2));
        return Ok;
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

    return applyAndConfirm(*found, desired, user, password, options, &keyring);
}
