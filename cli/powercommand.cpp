#include "powercommand.h"

#include "cliinput.h"
#include "poweronjob.h"
#include "routelookup.h"
#include "searchmanager.h"
#include "wakeonlan.h"

#include <QCommandLineParser>
#include <QEventLoop>

int PowerCommand::run(const QStringList &arguments)
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

    const QString wokenWords = QStringLiteral("did not answer VISCA within %1 s; Wake-on-LAN was sent to %2 (%3 magic packets)")
                                   .arg(SearchManager::ViscaTimeoutMs / 1000).arg(mac).arg(WakeOnLan::TotalPasses);
    const QString ip = address.toString();
    PowerOnJob job(manager, ip, mac);
    job.setAskAfterWakeOnLan(true);
    QEventLoop loop;
    PowerOnJob::Result result = PowerOnJob::SocketsFailed;
    connect(&job, &PowerOnJob::stageReached, this, [&](PowerOnJob::Stage stage) {
        if (stage == PowerOnJob::CommandSent)
            progress(QStringLiteral("In standby; switching on..."));
        else if (stage == PowerOnJob::WakeOnLanStarted)
            progress(QStringLiteral("No VISCA answer; sending Wake-on-LAN..."));
        else if (stage == PowerOnJob::AskingAfterWakeOnLan)
            progress(QStringLiteral("Wake-on-LAN sent; asking %1 again...").arg(ip));
    });
    connect(&job, &PowerOnJob::finished, &loop, [&](PowerOnJob::Result r) {
        result = r;
        loop.quit();
    });
    progress(QStringLiteral("Asking %1 for its power state...").arg(ip));
    if (job.start())
        loop.exec();

    const bool woke = job.wokeByWakeOnLan();
    switch (result) {
    case PowerOnJob::AlreadyOn:
    case PowerOnJob::SwitchedOn: {
        const QString text = !woke ? (result == PowerOnJob::AlreadyOn
                                          ? QStringLiteral("%1: the camera is already on.").arg(ip)
                                          : QStringLiteral("%1: the camera was in standby and has been switched on.").arg(ip))
            : result == PowerOnJob::AlreadyOn
            ? QStringLiteral("%1: the camera %2, and it now reports itself on.").arg(ip, wokenWords)
            : QStringLiteral("%1: the camera %2, and it has now completed the power-on command.").arg(ip, wokenWords);
        progress(QString());
        out(text + QLatin1Char('\n'));
        return Ok;
    }
    case PowerOnJob::CommandNotCompleted:
        return fail(NotConfirmed, QStringLiteral("the camera %1 is in standby but did not complete the power-on command").arg(ip));
    case PowerOnJob::WakeOnLanUnanswered:
    case PowerOnJob::WakeOnLanSent:
        return fail(WakeOnLanUnanswered, QStringLiteral("the camera %1 %2, and it has not answered since: whether it woke is "
                                                        "not known (a camera may take a minute to start; ask again with "
                                                        "pathmere-cli power)").arg(ip, wokenWords));
    case PowerOnJob::WakeOnLanRefused:
        return fail(Failed, QStringLiteral("the camera %1 did not answer VISCA, and Wake-on-LAN could not be sent").arg(ip));
    case PowerOnJob::SocketsFailed:
    case PowerOnJob::Refused:
        break;
    }
    if (woke)
        return fail(Failed, QStringLiteral("the camera %1 %2, but the VISCA sockets could not be opened again to ask it")
                                .arg(ip, wokenWords));
    return fail(Failed, QStringLiteral("the VISCA sockets could not be opened (no local IPv4 address, or the ports are taken)"));
}
