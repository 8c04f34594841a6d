#include "assigncommand.h"

#include "applysettingsjob.h"
#include "arpprobe.h"
#include "assignplanner.h"
#include "cliinput.h"
#include "keyringlogin.h"
#include "onvifcamera.h"
#include "settingsrequest.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

QString joinedAddresses(const QList<quint32> &addresses)
{
    QStringList texts;
    for (const quint32 a : addresses)
        texts.append(QHostAddress(a).toString());
    return texts.join(QLatin1String(", "));
}

} // namespace

int AssignCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    addSourcesOption(&parser);
    parser.addOption({QStringLiteral("range"), QStringLiteral("The addresses to hand out, FIRST-LAST (at most %1).")
                                                   .arg(CliInput::MaxRangeCount), QStringLiteral("FIRST-LAST")});
    addNetworkOptions(&parser, QStringLiteral("each camera's"));
    parser.addOption({QStringLiteral("model"), QStringLiteral("Only cameras of this model."), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("only"), QStringLiteral("Only these cameras (MACs joined by ',')."), QStringLiteral("MAC,...")});
    parser.addOption({QStringLiteral("dry-run"), QStringLiteral("Print the plan, send nothing.")});
    addCredentialOptions(&parser, QStringLiteral("The cameras'"));
    KeyringLogin::addOptions(&parser, QStringLiteral("the first changing camera's"));
    parser.addOption({QStringLiteral("force"),
                      QStringLiteral("Send even when a planned address is held by another device or by this "
                                     "computer. A malformed value is never sent.")});
    if (const int r = parse(&parser, arguments, QStringLiteral("assign"),
                            QStringLiteral("Gives the cameras found static addresses from a range, in MAC order; a "
                                           "camera already in the range keeps its address. The range must lie in "
                                           "one subnet of the mask (--mask, or the cameras' common mask); its "
                                           "network and broadcast addresses are never handed out. Exit codes: 0 "
                                           "all confirmed, 2 usage or refused setting, 3 no camera matched, 4 an "
                                           "ONVIF camera refused the login (nothing sent), 6 some not confirmed, "
                                           "7 range too small (nothing sent), 8 no route to a --target. With "
                                           "--sources onvif (or all) other makers' cameras take part too: each is "
                                           "read with the login first (also for --dry-run) and written through "
                                           "ONVIF."),
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
    KeyringLogin keyring;
    if (!keyring.read(parser, &error))
        return usage(error);
    if (!dryRun && keyring.defersPassword(parser)) {
        // The keyring is asked once the search has found the cameras.
        user = parser.value(QStringLiteral("user"));
        if (!user.isEmpty() && !CliInput::credential(user, QStringLiteral("user ID"), &error))
            return usage(error);
    } else if (!dryRun) {
        if (const int r = readCredentials(parser, &user, &password))
            return r;
    }

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return searchFailed();
    const QSet<QString> onlySet(only.cbegin(), only.cend());
    QList<DeviceRecord> cameras;
    for (const DeviceRecord &r : qAsConst(list)) {
        if (r.searchType != DeviceRecord::BroadcastSearch && r.searchType != DeviceRecord::Onvif)
            continue;
        if (!model.isEmpty() && r.model.compare(model, Qt::CaseInsensitive) != 0)
            continue;
        if (!onlySet.isEmpty() && !onlySet.contains(r.mac))
            continue;
        if (r.searchType == DeviceRecord::Onvif) {
            // Its mask and gateway are known only from the camera itself.
            if (password.isEmpty()) {
                if (const int rc = readCredentials(parser, &user, &password))
                    return rc;
            }
            const OnvifInfoJob::Result info = OnvifCamera::readInfo(OnvifCamera::serviceUrl(r), {user, password});
            if (const int code = OnvifCamera::exitCode(info.status))
                return fail(code == Refused ? Refused : NotFound,
                            QStringLiteral("the ONVIF camera at %1 could not be read (%2); nothing was sent")
                                .arg(r.ip, code == Refused ? QStringLiteral("Unauthorized") : info.error));
            cameras.append(OnvifCamera::withSettings(r, info));
            continue;
        }
        cameras.append(r);
    }
    for (const QString &mac : qAsConst(only)) {
        if (std::none_of(cameras.cbegin(), cameras.cend(), [&](const DeviceRecord &c) { return c.mac == mac; }))
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
        const bool planned = std::any_of(cameras.cbegin(), cameras.cend(), [&](const DeviceRecord &camera) {
            return camera.searchType == device.searchType && camera.ip == device.ip && camera.mac == device.mac;
        });
        if (!planned)
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

    if (password.isEmpty()) {
        // Every camera of the batch takes the same login; the keyring is asked
        // once, before anything is written by either protocol.
        for (const AssignPlanner::Entry &entry : plan.entries) {
            if (entry.unchanged)
                continue;
            if (const int r = keyringCredentials(&keyring, entry.current, &user, &password))
                return r;
            break;
        }
    }
    QList<ApplySettingsJob::Change> changes;
    QHash<int, OnvifApplyJob::Status> onvifOutcomes;   // by plan entry
    for (int i = 0; i < plan.entries.size(); ++i) {
        const AssignPlanner::Entry &entry = plan.entries.at(i);
        if (entry.unchanged)
            continue;
        if (entry.current.searchType == DeviceRecord::Onvif) {
            progress(QStringLiteral("Writing %1 through ONVIF...").arg(entry.current.ip));
            OnvifCamera::ApplyTimes times;
            times.adapter = options.adapter;
            onvifOutcomes.insert(i, OnvifCamera::apply(entry.current, {user, password}, entry.desired, times).status);
            continue;
        }
        changes.append({entry.current, CameraSettings::fromRecord(entry.desired)});
    }
    ApplySettingsJob::Options how;
    how.refusalWaitMs = RefusalWaitMs;
    how.searchMs = options.seconds * 1000;
    how.adapter = options.adapter;
    how.refreshAddresses = true;
    // One camera's refusal says nothing about the others'.
    how.endsOnRefusal = false;
    ApplySettingsJob job(manager, changes, {user, password}, how);
    if (!changes.isEmpty()) {
        QEventLoop loop;
        connect(&job, &ApplySettingsJob::confirmingSearchStarted, this, [&] { startCountdown(options.seconds); });
        connect(&job, &ApplySettingsJob::finished, &loop, &QEventLoop::quit);
        job.start();
        progress(QStringLiteral("Settings sent to %1 camera(s); waiting...").arg(changes.size()));
        if (job.isRunning())
            loop.exec();
        stopCountdown();
    }
    bool allConfirmed = true;
    int sentIndex = 0;
    QStringList keptSentences;
    for (int i = 0; i < plan.entries.size(); ++i) {
        const AssignPlanner::Entry &entry = plan.entries.at(i);
        QString status;
        if (entry.unchanged) {
            status = QStringLiteral("unchanged");
        } else if (onvifOutcomes.contains(i)) {
            const OnvifApplyJob::Status outcome = onvifOutcomes.value(i);
            allConfirmed = allConfirmed && outcome == OnvifApplyJob::Status::Ok;
            status = outcome == OnvifApplyJob::Status::Ok ? QStringLiteral("confirmed")
                : outcome == OnvifApplyJob::Status::Unauthorized ? QStringLiteral("not confirmed (Unauthorized)")
                                                                 : QStringLiteral("not confirmed");
        } else if (job.status(sentIndex++) == ApplySettingsJob::Shown) {
            status = QStringLiteral("confirmed");
            if (keyring.storesPerCamera() || keptSentences.isEmpty()) {
                const QString kept = keyring.remember(entry.desired, user, password);
                if (!kept.isEmpty())
                    keptSentences.append(kept);
            }
        } else {
            allConfirmed = false;
            status = job.wasRefused() ? QStringLiteral("not confirmed (a camera answered Invalid ID)")
                                      : QStringLiteral("not confirmed");
        }
        out(QStringLiteral("%1 %2 %3\n").arg(entry.current.mac, entry.desired.ip, status));
    }
    for (const QString &kept : qAsConst(keptSentences))
        note(kept);
    if (!allConfirmed)
        return fail(SomeNotConfirmed, QStringLiteral("some cameras did not confirm their new address"));
    return Ok;
}
