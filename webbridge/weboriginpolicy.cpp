#include "weboriginpolicy.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

bool WebOriginPolicy::isLocalOrigin(const QString &origin)
{
    const QString trimmed = origin.trimmed();
    // "null" is not local: a sandboxed frame of any web site sends it too.
    if (trimmed.isEmpty())
        return true;
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file"))
        return true;
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    // An origin is scheme, host and port; anything more is not one a browser
    // sends, and user info could hide the real host from a careless reader.
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment()
        || (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return false;
    const QString host = url.host().toLower();
    return host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1")
        || host == QLatin1String("::1");
}

QString WebOriginPolicy::normalized(const QString &origin)
{
    QUrl url(origin.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return QString();
    if (url.path() == QLatin1String("/"))
        url.setPath(QString());
    QString text = url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment
                                | QUrl::StripTrailingSlash | QUrl::NormalizePathSegments);
    // QUrl keeps the host as written; origins compare without case.
    return text.toLower();
}

bool WebOriginPolicy::isAllowed(const QString &origin, const QStringList &extraOrigins)
{
    if (isLocalOrigin(origin))
        return true;
    // Only a user who lists "null" lets opaque origins in (a browser that
    // sends it for a page opened from a file).
    if (origin.trimmed() == NullOrigin) {
        for (const QString &entry : extraOrigins) {
            if (entry.trimmed() == NullOrigin)
                return true;
        }
        return false;
    }
    const QString wanted = normalized(origin);
    if (wanted.isEmpty())
        return false;
    for (const QString &entry : extraOrigins) {
        if (normalized(entry) == wanted)
            return true;
    }
    return false;
}

QString WebOriginPolicy::settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Pathmere/setting.ini");
}

QStringList WebOriginPolicy::configuredOrigins()
{
    return configuredOrigins(settingsFile());
}

QStringList WebOriginPolicy::configuredOrigins(const QString &settingsFile)
{
    const QFileInfo info(settingsFile);
    if (!info.exists())
        return QStringList();
    // Read at every handshake: a file far larger than a list of origins is
    // not the user's list, and is not read again and again.
    if (info.size() > MaxSettingsFileSize) {
        qWarning("Ignored %s: larger than %d bytes", qPrintable(settingsFile), int(MaxSettingsFileSize));
        return QStringList();
    }
    const QSettings settings(settingsFile, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("Web/AllowedOrigins"));
    // QSettings reads "a, b" as a list and "a b" as one text.
    const QStringList parts = value.toStringList();
    QStringList origins;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString &part : parts) {
        const QStringList words = part.split(separators, Qt::SkipEmptyParts);
        for (const QString &word : words)
            origins.append(word);
    }
    return origins;
}
