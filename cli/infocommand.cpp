#include "infocommand.h"

#include "cliinput.h"
#include "onvifcamera.h"

#include <QCommandLineParser>
#include <QJsonDocument>

int InfoCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The camera's IPv4 address."));
    addCredentialOptions(&parser, QStringLiteral("The camera's"));
    if (const int r = parse(&parser, arguments, QStringLiteral("info"),
                            QStringLiteral("Reads an ONVIF camera (another maker's) with the user's login and prints "
                                           "one JSON object: manufacturer, model, firmware, serial, mac, dhcp, ip, "
                                           "prefixLength, mask, gateway, dns1 and dns2, with result and error. The "
                                           "login is made at the camera's own time, so a camera whose clock is off "
                                           "still accepts it. Exit codes: 0 read, 1 the camera's answer was not "
                                           "usable, 2 usage, 3 no answer, 4 refused login."),
                            QStringLiteral("pathmere-cli info 192.0.2.20 --user admin --password-stdin")))
        return r < 0 ? Ok : r;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usage(QStringLiteral("info takes exactly one camera address"));
    QString error;
    QHostAddress address;
    if (!CliInput::ipv4(positional.first(), QStringLiteral("the camera address"), &address, &error))
        return usage(error);
    QString user;
    QString password;
    if (const int r = readCredentials(parser, &user, &password))
        return r;

    progress(QStringLiteral("Reading %1...").arg(address.toString()));
    const OnvifInfoJob::Result result = OnvifCamera::readInfo(OnvifCamera::defaultServiceUrl(address.toString()),
                                                              {user, password});
    progress(QString());
    out(QString::fromUtf8(QJsonDocument(result.toJson()).toJson(QJsonDocument::Indented)));
    const int code = OnvifCamera::exitCode(result.status);
    if (code == Refused)
        return fail(code, QStringLiteral("the camera refused the login (Unauthorized): check the user ID and password"));
    if (code != Ok)
        return fail(code, QStringLiteral("the camera at %1 could not be read: %2").arg(address.toString(), result.error));
    return Ok;
}
