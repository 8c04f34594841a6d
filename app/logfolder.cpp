#include "logfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString LogFolder::path()
{
    const QStringList documents = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    const QString base = documents.isEmpty() ? QDir::homePath() : documents.first();
    const QString folder = base + QStringLiteral("/Tolvik/Log/") + QCoreApplication::applicationName() + QLatin1Char('/');
    QDir().mkpath(folder);
    return folder;
}

QString LogFolder::logFilePattern(const QString &folder)
{
    return folder + QStringLiteral("TolvikPathmere-YYMMDD-999.log");
}

int LogFolder::removeOldLogs(const QString &folder, const QDateTime &now)
{
    QDir dir(folder);
    if (!dir.exists())
        QDir().mkpath(folder);

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
