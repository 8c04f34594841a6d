#include "updatecoordinator.h"

#include "aboutdlg.h"
#include "applog.h"
#include "downloadmanager.h"
#include "installrecord.h"
#include "privatestore.h"
#include "updatecheckjob.h"
#include "updatepaths.h"
#include "updateversion.h"
#include "usermessage.h"
#include "webanalytic.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTime>
#include <QTimer>
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
{
    connect(&installWatcher, &QFutureWatcherBase::finished, this, &UpdateCoordinator::installFinished);
    if (web)
        connect(web, &WebAnalytic::checkVersion, this, &UpdateCoordinator::checkVersionFromWeb);
}

DownloadManager *UpdateCoordinator::downloadManager() const
{
    if (manager)
        return manager;
    manager = new DownloadManager;
    // Made on demand from const callers too; the coordinator itself is never const.
    auto *self = const_cast<UpdateCoordinator *>(this);
    // A failed description reaches whoever asked through the check; a
    // failed package has no check left to go through.
    connect(manager, &DownloadManager::prepareUpdateFail, self, [self](int reason) {
        if (reason == DownloadManager::PackageDownloadFail)
            self->connectServerFail(reason);
    });
    connect(manager, &DownloadManager::ready4Update, self, &UpdateCoordinator::ready4Update);
    return manager;
}

UpdateCoordinator::~UpdateCoordinator()
{
    // An unpacking still running owns only copies; let it end first.
    installWatcher.waitForFinished();
    delete manager;
}

void UpdateCoordinator::windowShown(bool firstShowing)
{
    if (firstShowing && isFirstOpenToday())
        request(Day);
}

void UpdateCoordinator::checkSWUpdate()
{
    request(User);
}

void UpdateCoordinator::checkVersionFromWeb()
{
    request(Web);
}

bool UpdateCoordinator::updatesItself() const
{
    return PackageVerifier::usableKey(publicKey) && downloadManager()->hasUpdateServer();
}

bool UpdateCoordinator::offerUnderWay() const
{
    return questionOpen || downloadManager()->downloadRunning() || installRunning();
}

void UpdateCoordinator::request(Asker who)
{
    if (!updatesItself()) {
        // Nothing to fetch that this build could install, and no server of
        // its own to ask: no network, no failure.
        appLog(LogSystem::LogMajorMsg, "Update check not run: this build gets its updates from the package manager.");
        if (who == User)
            UserMessage::information(aboutDialog, updateTitle,
                                     QStringLiteral("This build gets its updates from the package manager."));
        else if (who == Web)
            QTimer::singleShot(0, this, [this] { web->replyCheckVersion(false, QString()); });
        return;
    }
    if (offerUnderWay()) {
        // The user is being asked about a newer version, or it is on its
        // way: that is the answer, and a new check would void it.
        appLog(LogSystem::LogMajorMsg, "Update check joins the update under way.");
        if (who == Web)
            QTimer::singleShot(0, this, [this, version = offer.version] { web->replyCheckVersion(true, version); });
        return;
    }
    // A check whose description is in but whose answers are still on
    // their way is over for a new asker: it gets a check of its own.
    if (!check || !downloadManager()->checkRunning()) {
        askers = 0;
        userAgreed = false;
        UpdateCheckJob *const job = new UpdateCheckJob(downloadManager(), this);
        connect(job, &UpdateCheckJob::finished, this,
                [this, job](UpdateCheckJob::Result result) { checkFinished(job, result); });
        check = job;
    }
    askers |= who;
    check->start(who == Web);
}

void UpdateCoordinator::checkFinished(UpdateCheckJob *done, int result)
{
    if (check == done)
        check = nullptr;
    done->deleteLater();
    if (result == UpdateCheckJob::DescriptionFailed) {
        connectServerFail(DownloadManager::DescriptionDownloadFail);
        return;
    }
    // The page first, as the check answered it: the window's answer may ask
    // the user and wait.
    if (const auto answer = done->webAnswer())
        sendToWebIsNeedDownload(answer->needUpdate, answer->version);
    if (const auto needDownload = done->localAnswer())
        getCurServerVersion(*needDownload);
}

bool UpdateCoordinator::isFirstOpenToday()
{
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString file = UpdatePaths::settingsFile();
    QSettings settings(file, QSettings::IniFormat);
    if (settings.value(QStringLiteral("Common/AppOpenDate")).toString() == today)
        return false;
    PrivateStore::prepareFile(file);
    settings.setValue(QStringLiteral("Common/AppOpenDate"), today);
    return true;
}

QWidget *UpdateCoordinator::askingParent() const
{
    return (askers & User) ? aboutDialog.data() : window.data();
}

void UpdateCoordinator::setStatusLine(const QString &text)
{
    if (text == status)
        return;
    status = text;
    emit statusLineChanged(status);
}

void UpdateCoordinator::getCurServerVersion(bool needDownload)
{
    setStatusLine(QString());
    const QList<UpdateItem> items = downloadManager()->items();
    const auto it = std::find_if(items.cbegin(), items.cend(),
                                 [](const UpdateItem &item) { return item.name == QLatin1String("OTA"); });
    if (it == items.cend())
        return;
    // Neither the running version nor the last installed one counts as new.
    if (!UpdateVersion::isNewer(it->version, InstallRecord::floorVersion())) {
        if (askers & User)
            UserMessage::warning(aboutDialog, updateTitle, QStringLiteral("Software is up to date."));
        return;
    }
    offer = PackageVerifier::Offer{it->version, it->fileName, it->manifest, it->manifestSignature};
    if (!needDownload)
        return;
    questionOpen = true;
    const bool yes = UserMessage::question(askingParent(), updateTitle,
                                           QStringLiteral("There is new software version %1 can be download.").arg(it->version));
    questionOpen = false;
    if (yes) {
        userAgreed = true;
        downloadManager()->startNextDownload();
    }
}

void UpdateCoordinator::sendToWebIsNeedDownload(bool needDownload, const QString &version)
{
    setStatusLine(QString());
    askers &= ~Web;
    web->replyCheckVersion(needDownload, needDownload ? version : QString());
}

void UpdateCoordinator::connectServerFail(int reason)
{
    if (reason == DownloadManager::PackageDownloadFail) {
        if (askers & Web)
            web->sendErrorMessage(WebAnalytic::DownloadZipFail);
        else
            UserMessage::information(updateTitle, QStringLiteral("Download zip file fail !!"));
        return;
    }
    if (reason != DownloadManager::DescriptionDownloadFail)
        return;
    // Everybody who asked hears it, each in their own way; the check is over.
    const int who = askers;
    askers = 0;
    if (who & Web)
        web->sendErrorMessage(WebAnalytic::DownloadCfgFail);
    if ((who & User) || userAgreed) {
        UserMessage::information(updateTitle, QStringLiteral("Download cfg file fail !!"));
    } else if (who & Day) {
        // Nobody asked for this one: a box would take the user's next click.
        appLog(LogSystem::LogMajorMsg, "Automatic update check failed: the update description could not be downloaded.");
        setStatusLine(QStringLiteral("Automatic update check failed at %1.")
                          .arg(QTime::currentTime().toString(QStringLiteral("hh:mm"))));
    }
}

void UpdateCoordinator::ready4Update()
{
    if (installRunning())
        return;
    const QString packagePath = UpdatePaths::packageFile();
    if (offer.version.isEmpty() || !QFileInfo(packagePath).isFile()) {
        if (UserMessage::question(window, updateTitle, QStringLiteral("File not exist, do you want to download again?"))) {
            request(Day);
            userAgreed = true;
        }
        return;
    }
    appLog(LogSystem::LogMajorMsg, "Install update package %s (version %s)", qPrintable(packagePath),
           qPrintable(offer.version));
    downloadManager()->showInstalling();
    installWatcher.setFuture(QtConcurrent::run(&PackageInstaller::install, packagePath, offer, publicKey,
                                               InstallRecord::floorVersion(), UpdatePaths::extractionFolder()));
}

void UpdateCoordinator::installFinished()
{
    downloadManager()->hideProgress();
    const PackageInstaller::Outcome outcome = installWatcher.result();
    const QString packagePath = UpdatePaths::packageFile();
    QString message;
    switch (outcome.result) {
    case PackageInstaller::Outcome::Ready: {
        const QString folder = QFileInfo(outcome.executable).path();
        if (QProcess::startDetached(outcome.executable, QStringList(), folder)) {
            appLog(LogSystem::LogMajorMsg, "Update started %s", qPrintable(outcome.executable));
            // The signed version, as verified: never offered again.
            InstallRecord::remember(offer.version);
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
    if (askers & Web)
        web->sendErrorMessage(WebAnalytic::DownloadZipFail);
    UserMessage::warning(window, updateTitle, message);
}

AboutDlg *UpdateCoordinator::makeAboutDialog(double dpiScale)
{
    auto *dialog = new AboutDlg(nullptr, dpiScale);
    connect(dialog, &AboutDlg::checkUpdate, this, &UpdateCoordinator::checkSWUpdate);
    dialog->setUpdateStatus(statusLine());
    connect(this, &UpdateCoordinator::statusLineChanged, dialog, &AboutDlg::setUpdateStatus);
    dialog->hide();
    setAboutDialog(dialog);
    return dialog;
}
