#include "updatecoordinator.h"

#include "applog.h"
#include "downloadmanager.h"
#include "updatepaths.h"
#include "updateversion.h"
#include "usermessage.h"
#include "webanalytic.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QtConcurrent/QtConcurrentRun>

namespace {
const QString updateTitle = QStringLiteral("Software Update");
} // namespace

UpdateCoordinator::UpdateCoordinator(QWidget *window, QWidget *aboutDialog, WebAnalytic *web,
                                     const QByteArray &publicKey, QObject *parent)
    : QObject(parent)
    , window(window)
    , aboutDialog(aboutDialog)
    , web(web)
    , publicKey(publicKey)
    , manager(new DownloadManager)
{
    connect(&installWatcher, &QFutureWatcherBase::finished, this, &UpdateCoordinator::installFinished);
}

UpdateCoordinator::~UpdateCoordinator()
{
    // An unpacking still running owns only copies; let it end first.
    installWatcher.waitForFinished();
    delete manager;
}

void UpdateCoordinator::windowShown(bool firstShowing)
{
    userAsked = false;
    webAsked = false;
    if (firstShowing && isFirstOpenToday())
        manager->checkForUpdate();
}

void UpdateCoordinator::checkSWUpdate()
{
    userAsked = true;
    webAsked = false;
    manager->checkForUpdate();
}

void UpdateCoordinator::checkVersionFromWeb()
{
    userAsked = false;
    webAsked = true;
    manager->checkForUpdateFromWeb();
}

bool UpdateCoordinator::isFirstOpenToday()
{
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QSettings settings(UpdatePaths::settingsFile(), QSettings::IniFormat);
    if (settings.value(QStringLiteral("Common/AppOpenDate")).toString() == today)
        return false;
    settings.setValue(QStringLiteral("Common/AppOpenDate"), today);
    return true;
}

QWidget *UpdateCoordinator::askingParent() const
{
    return userAsked ? aboutDialog.data() : window.data();
}

void UpdateCoordinator::getCurServerVersion(bool needDownload)
{
    const QList<UpdateItem> items = manager->items();
    const auto it = std::find_if(items.cbegin(), items.cend(),
                                 [](const UpdateItem &item) { return item.name == QLatin1String("OTA"); });
    if (it == items.cend())
        return;
    if (!UpdateVersion::isNewer(it->version, UpdateVersion::programVersion())) {
        if (userAsked)
            UserMessage::warning(aboutDialog, updateTitle, QStringLiteral("Software is up to date."));
        return;
    }
    packageFileName = it->fileName;
    packageSignature = it->signature;
    if (!needDownload)
        return;
    if (UserMessage::question(askingParent(), updateTitle,
                              QStringLiteral("There is new software version %1 can be download.").arg(it->version)))
        manager->startNextDownload();
}

void UpdateCoordinator::sendToWebIsNeedDownload(bool needDownload, const QString &version)
{
    web->replyCheckVersion(needDownload, needDownload ? version : QString());
}

void UpdateCoordinator::connectServerFail(int reason)
{
    if (reason != DownloadManager::DescriptionDownloadFail && reason != DownloadManager::PackageDownloadFail)
        return;
    const bool description = reason == DownloadManager::DescriptionDownloadFail;
    if (webAsked) {
        web->sendErrorMessage(description ? WebAnalytic::DownloadCfgFail : WebAnalytic::DownloadZipFail);
        return;
    }
    UserMessage::information(updateTitle, description ? QStringLiteral("Download cfg file fail !!")
                                                      : QStringLiteral("Download zip file fail !!"));
}

void UpdateCoordinator::ready4Update()
{
    if (installRunning())
        return;
    packagePath = UpdatePaths::dataFolder() + packageFileName;
    if (packageFileName.isEmpty() || !QFileInfo(packagePath).isFile()) {
        if (UserMessage::question(window, updateTitle, QStringLiteral("File not exist, do you want to download again?"))) {
            userAsked = false;
            webAsked = false;
            manager->checkForUpdate();
        }
        return;
    }
    appLog(LogSystem::LogMajorMsg, "Install update package %s", qPrintable(packagePath));
    manager->showInstalling();
    installWatcher.setFuture(QtConcurrent::run(&PackageInstaller::install, packagePath, packageSignature, publicKey,
                                               UpdatePaths::extractionFolder()));
}

void UpdateCoordinator::installFinished()
{
    manager->hideProgress();
    const PackageInstaller::Outcome outcome = installWatcher.result();
    QString message;
    switch (outcome.result) {
    case PackageInstaller::Outcome::Ready: {
        const QString folder = QFileInfo(outcome.executable).path();
        if (QProcess::startDetached(outcome.executable, QStringList(), folder)) {
            appLog(LogSystem::LogMajorMsg, "Update started %s", qPrintable(outcome.executable));
            QFile::remove(packagePath);
            emit quitRequested();
            return;
        }
        message = QStringLiteral("The new version could not be started. The update package is kept.");
        break;
    }
    case PackageInstaller::Outcome::Missing:
        message = QStringLiteral("The update package is missing. Please check for updates again.");
        break;
    case PackageInstaller::Outcome::NotVerified:
        // An unverifiable package must not pass for downloaded at the next
        // check, or no check would fetch a good one again.
        QFile::remove(packagePath);
        message = QStringLiteral("The update was refused because the package could not be verified.");
        break;
    case PackageInstaller::Outcome::UnpackFailed:
        message = QStringLiteral("The update package could not be unpacked (%1). The update package is kept.")
                      .arg(outcome.detail);
        break;
    case PackageInstaller::Outcome::NoExecutable:
        message = QStringLiteral("The update package contains no program to start. The update package is kept.");
        break;
    }
    appLog(LogSystem::LogMajorMsg, "Update not installed: %s", qPrintable(outcome.detail));
    if (webAsked)
        web->sendErrorMessage(WebAnalytic::DownloadZipFail);
    UserMessage::warning(window, updateTitle, message);
}
