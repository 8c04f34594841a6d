#include "keyringlogin.h"

#include <QCommandLineParser>

namespace {

// The keyring's sentences end in a full stop; the command's warning adds its own.
QString clause(QString sentence)
{
    while (sentence.endsWith(QLatin1Char('.')))
        sentence.chop(1);
    return sentence;
}

} // namespace

void KeyringLogin::addOptions(QCommandLineParser *parser, const QString &cameras)
{
    parser->addOption({QStringLiteral("keyring"),
                       QStringLiteral("Use the desktop's keyring (Secret Service). The password comes from "
                                      "--password-stdin first, then PATHMERE_PASSWORD, then the keyring (%1 own "
                                      "entry, then its site's: the adapter subnet it is in; the entry's user ID "
                                      "too when --user is not given), then a prompt on a terminal. A password "
                                      "from elsewhere is stored in the keyring once the settings are confirmed.")
                           .arg(cameras)});
    parser->addOption({QStringLiteral("keyring-scope"),
                       QStringLiteral("Where --keyring stores a new password: camera (default; one entry per "
                                      "camera, by MAC and model) or site (one entry for the adapter subnet the "
                                      "camera is in)."),
                       QStringLiteral("camera|site"), QStringLiteral("camera")});
}

bool KeyringLogin::read(const QCommandLineParser &parser, QString *error)
{
    m_enabled = parser.isSet(QStringLiteral("keyring"));
    const QString scope = parser.value(QStringLiteral("keyring-scope"));
    if (scope == QLatin1String("camera")) {
        m_scope = Scope::Camera;
    } else if (scope == QLatin1String("site")) {
        m_scope = Scope::Site;
    } else {
        *error = QStringLiteral("--keyring-scope takes camera or site");
        return false;
    }
    if (parser.isSet(QStringLiteral("keyring-scope")) && !m_enabled) {
        *error = QStringLiteral("--keyring-scope goes with --keyring");
        return false;
    }
    return true;
}

bool KeyringLogin::defersPassword(const QCommandLineParser &parser) const
{
    return m_enabled && !parser.isSet(QStringLiteral("password-stdin"))
        && !qEnvironmentVariableIsSet("PATHMERE_PASSWORD");
}

CredentialScope KeyringLogin::cameraScope(const DeviceRecord &camera)
{
    return CredentialScope::camera(camera.mac, camera.model);
}

bool KeyringLogin::fill(const DeviceRecord &camera, QString *user, QString *password, QString *note)
{
    note->clear();
    m_fromKeyring = false;
    const CredentialKeyring::Result found = CredentialKeyring::lookup(
        cameraScope(camera), CredentialScope::siteHolding(camera.ip), CredentialKeyring::Unlock::Ask);
    switch (found.status) {
    case CredentialKeyring::Status::Found:
        if (!user->isEmpty() && *user != found.userId) {
            *note = QStringLiteral("the keyring's login for %1 is for another user ID than --user; it was not used")
                        .arg(found.scope.description());
            return false;
        }
        *user = found.userId;
        *password = found.password;
        m_fromKeyring = true;
        *note = QStringLiteral("using the login of %1 from the keyring").arg(found.scope.description());
        return true;
    case CredentialKeyring::Status::NotFound:
        *note = QStringLiteral("the keyring holds no login for camera %1 or its site").arg(camera.mac);
        return false;
    case CredentialKeyring::Status::Unavailable:
        if (CredentialKeyring::takeUnavailableNotice())
            *note = clause(found.message);
        return false;
    default:
        *note = clause(found.message);
        return false;
    }
}

QString KeyringLogin::remember(const DeviceRecord &camera, const QString &user, const QString &password) const
{
    if (!m_enabled || m_fromKeyring)
        return QString();
    const CredentialScope scope = m_scope == Scope::Camera ? cameraScope(camera) : CredentialScope::siteHolding(camera.ip);
    if (!scope.isValid())
        return m_scope == Scope::Camera
            ? QStringLiteral("the login was not stored: the camera's MAC or model cannot name a keyring entry")
            : QStringLiteral("the login was not stored: no adapter's subnet holds %1").arg(camera.ip);
    const CredentialKeyring::Result stored = CredentialKeyring::store(scope, user, password);
    if (stored.status == CredentialKeyring::Status::Stored)
        return QStringLiteral("the login for %1 is stored in the keyring").arg(scope.description());
    if (stored.status == CredentialKeyring::Status::Unavailable && !CredentialKeyring::takeUnavailableNotice())
        return QString();
    return QStringLiteral("the login was not stored: %1").arg(clause(stored.message));
}
