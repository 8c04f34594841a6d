#include "updatepaths.h"

#include "applog.h"
#include "privatestore.h"

#include <QSettings>
#include <QStandardPaths>

namespace {
// A URL longer than this in setting.ini is not one anybody meant.
constexpr int maxUrlLength = 2048;
} // namespace

QString UpdatePaths::dataFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Pathmere/");
    PrivateStore::makeFolder(folder);
    return folder;
}

QString UpdatePaths::extractionFolder()
{
    return dataFolder() + QStringLiteral("tmpOTAUpdateFile/");
}

QString UpdatePaths::executableName()
{
    return QStringLiteral("Pathmere");
}

QString UpdatePaths::packageFile()
{
    return dataFolder() + QStringLiteral("OTAUpdatePackage.zip");
}

QString UpdatePaths::localRecordFile()
{
    return dataFolder() + QStringLiteral("update.cfg");
}

QString UpdatePaths::serverCopyFile()
{
    return dataFolder() + QStringLiteral("ServerUpdate.cfg");
}

QString UpdatePaths::settingsFile()
{
    return dataFolder() + QStringLiteral("setting.ini");
}

QUrl UpdatePaths::defaultDescriptionUrl()
{
    return QUrl(QStringLiteral("https://") + QStringLiteral(PATHMERE_UPDATE_HOST) + QStringLiteral("/Skyrelay/update.cfg"));
}

QUrl UpdatePaths::descriptionUrl(bool *fromSettings)
{
    if (fromSettings)
        *fromSettings = false;
    const QSettings settings(settingsFile(), QSettings::IniFormat);
    const QString text = settings.value(QStringLiteral("Update/DescriptionUrl")).toString().trimmed();
    if (text.isEmpty())
        return defaultDescriptionUrl();
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (text.size() > maxUrlLength || !url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        appLog(LogSystem::LogMajorMsg, "Update description URL in setting.ini refused, using the default.");
        return defaultDescriptionUrl();
    }
    if (scheme == QLatin1String("http"))
        appLog(LogSystem::LogMajorMsg, "Update description over plain http, as Update/DescriptionUrl in setting.ini says: %s",
               qPrintable(url.toString()));
    if (fromSettings)
        *fromSettings = true;
    return url;
}

bool UpdatePaths::isPlaceholderHost(const QString &host)
{
    QString name = host.toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    const QString domains[] = {QStringLiteral("example.com"), QStringLiteral("example.net"),
                               QStringLiteral("example.org"), QStringLiteral("example"),
                               QStringLiteral("test"), QStringLiteral("invalid"), QStringLiteral("localhost")};
    for (const QString &domain : domains) {
        if (name == domain || name.endsWith(QLatin1Char('.') + domain))
            return true;
    }
    return name.isEmpty();
}

QByteArray UpdatePaths::builtInPublicKey()
{
    return QByteArray::fromBase64(QByteArrayLiteral(PATHMERE_UPDATE_PUBLIC_KEY));
}
