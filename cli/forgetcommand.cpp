#include "forgetcommand.h"

#include "cliinput.h"
#include "credentialkeyring.h"

#include <QCommandLineParser>

int ForgetCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("MAC"),
                                 QStringLiteral("The camera whose logins go, whatever model they were stored with."),
                                 QStringLiteral("[MAC]"));
    parser.addOption({QStringLiteral("site"),
                      QStringLiteral("The site whose login goes: an adapter's subnet, such as 192.0.2.0/24."),
                      QStringLiteral("CIDR")});
    parser.addOption({QStringLiteral("all"),
                      QStringLiteral("Every login this program stored, and nothing else in the keyring.")});
    if (const int r = parse(&parser, arguments, QStringLiteral("forget"),
                            QStringLiteral("Removes camera logins that set or assign stored in the desktop's keyring: one "
                                           "camera's, one site's, or all of them. Exits 3 when there was none."),
                            QStringLiteral("pathmere-cli forget 02:50:4d:00:00:01")))
        return r < 0 ? Ok : r;
    const QStringList positional = parser.positionalArguments();
    const bool site = parser.isSet(QStringLiteral("site"));
    const bool all = parser.isSet(QStringLiteral("all"));
    if (int(!positional.isEmpty()) + int(site) + int(all) != 1 || positional.size() > 1)
        return usage(QStringLiteral("forget takes one of a MAC, --site CIDR or --all"));

    QString error;
    CredentialKeyring::Result result;
    if (all) {
        result = CredentialKeyring::forgetAll();
    } else if (site) {
        const QString text = parser.value(QStringLiteral("site"));
        const CredentialScope scope = CredentialScope::siteFromText(text);
        if (!scope.isValid())
            return usage(QStringLiteral("--site takes a subnet such as 192.0.2.0/24, not \"%1\"").arg(text.left(40)));
        result = CredentialKeyring::forget(scope);
    } else {
        QString mac;
        if (!CliInput::mac(positional.first(), &mac, &error))
            return usage(error);
        result = CredentialKeyring::forgetCamera(mac);
    }
    switch (result.status) {
    case CredentialKeyring::Status::Forgotten:
        out(QStringLiteral("Removed %1 login(s) from the keyring.\n").arg(result.count));
        return Ok;
    case CredentialKeyring::Status::NotFound:
        return fail(NotFound, QStringLiteral("the keyring holds no such login"));
    default:
        return fail(Failed, result.message);
    }
}
