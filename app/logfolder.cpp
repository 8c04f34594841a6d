#include "logfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

QString LogFolder::path()
{
    const QStringList documents = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    const QString base = documents.isEmpty() ? QDir::homePath() : documents.first();
    const QString folder = base + QStringLiteral("/Tolvik/Log/") + QCoreApplication::applicationName() + QLatin1Char('/');
    // The Documents folder is the user's own business; ours start below it.
    QDir().mkpath(base);
    makePrivate(folder);
    return folder;
}

bool LogFolder::makePrivate(const QString &folder)
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner
            | QFileDevice::ExeOwner | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    // The missing folders, outermost first: only those are made here.
    QStringList missing;
    for (QString dir = QDir::cleanPath(folder); !dir.isEmpty() && !QFileInfo::exists(dir);) {
        missing.prepend(dir);
        const QString parent = QFileInfo(dir).path();
        if (parent == dir)
            break;
        dir = parent;
    }
    for (const QString &dir : qAsConst(missing)) {
        if (!QDir().mkdir(dir) && !QFileInfo(dir).isDir())
            return false;
        QFile::setPermissions(dir, ownerOnly);
    }
    // A folder an earlier version made open to all is closed now.
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    if (info.ownerId() == uint(getuid()))
        QFile::setPermissions(folder, ownerOnly);
    return true;
}

QString LogFolder::logFilePattern(const QString &folder)
{
    return folder + QStringLiteral("TolvikPathmere-YYMMDD-999.log");
}

int LogFolder::removeOldLogs(const QString &folder, const QDateTime &now)
{
    QDir dir(folder);
    if (!dir.exists())
        makePrivate(folder);

    int removed = 0;
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    for (const QFileInfo &file : files) {
        if (!file.fileName().contains(QLatin1String("TolvikPathmere-")))
            continue;
        if (file.lastModified().daysTo(now) < maxAgeDays)
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            ++removed;
    }
    return removed;
}
