#include "installrecord.h"

#include "privatestore.h"
#include "updatepaths.h"
#include "updateversion.h"

#include <QSettings>

namespace {
const QString installedKey = QStringLiteral("OTA/InstalledVersion");
} // namespace

QString InstallRecord::lastInstalled()
{
    const QSettings record(UpdatePaths::localRecordFile(), QSettings::IniFormat);
    return record.value(installedKey).toString();
}

bool InstallRecord::remember(const QString &version)
{
    const QString file = UpdatePaths::localRecordFile();
    if (!PrivateStore::prepareFile(file))
        return false;
    QSettings record(file, QSettings::IniFormat);
    record.setValue(installedKey, version);
    record.sync();
    return record.status() == QSettings::NoError;
}

QString InstallRecord::floorVersion()
{
    const QString running = UpdateVersion::programVersion();
    const QString installed = lastInstalled();
    return UpdateVersion::isNewer(installed, running) ? installed : running;
}
