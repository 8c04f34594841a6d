#include "updatepaths.h"

#include "applog.h"

#include <QDir>
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
    QDir().mkpath(folder);
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

QString UpdatePaths::settingsFile()
{
    return dataFolder() + QStringLiteral("setting.ini");
}

QUrl UpdatePaths::defaultDescriptionUrl()
{
    return QUrl(QStringLiteral("http://") + QStringLiteral(PATHMERE_UPDATE_HOST) + QStringLiteral("/Skyrelay/update.cfg"));
}

QUrl UpdatePaths::descriptionUrl()
{
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
    return url;
}

QByteArray UpdatePaths::builtInPublicKey()
{
    return QByteArray::fromBase64(QByteArrayLiteral(PATHMERE_UPDATE_PUBLIC_KEY));
}
