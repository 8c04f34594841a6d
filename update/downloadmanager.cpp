#include "downloadmanager.h"
#include "ui_downloadmanager.h"

#include "applog.h"
#include "installrecord.h"
#include "packageverifier.h"
#include "privatestore.h"
#include "updatepaths.h"
#include "updateversion.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSettings>

#include <cstdio>

namespace {
const QString handledSection = QStringLiteral("OTA");

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool usablePackageUrl(const QString &path)
{
    const QUrl url(path, QUrl::StrictMode);
    const QString name = fileNameOf(path);
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        && !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('\\'));
}
} // namespace

DownloadManager::DownloadManager(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DownloadManager)
    , packagePath(UpdatePaths::packageFile())
    , descriptionLocation(UpdatePaths::descriptionUrl(&descriptionFromSettings))
{
    // Files an older build left readable by others.
    for (const QString &file : {UpdatePaths::settingsFile(), UpdatePaths::localRecordFile(),
                                UpdatePaths::serverCopyFile(), packagePath})
        PrivateStore::narrowFile(file);
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DownloadManager::cancelDownload);
    connect(this, &QDialog::rejected, this, &DownloadManager::cancelDownload);
}

DownloadManager::~DownloadManager()
{
    if (manager)
        disconnect(manager, nullptr, this, nullptr);
    if (currentReply) {
        currentReply->disconnect(this);
        currentReply->abort();
    }
    delete ui;
}

QNetworkAccessManager *DownloadManager::network()
{
    // Made at the first request: setting up Qt's network access loads the
    // bearer plugins and starts a thread, which most starts of the program
    // never need (the check runs once a day).
    if (!manager) {
        manager = new QNetworkAccessManager(this);
        connect(manager, &QNetworkAccessManager::finished, this, &DownloadManager::netDataReadFinish);
    }
    return manager;
}

QList<UpdateItem> DownloadManager::items() const
{
    return updateItems;
}

void DownloadManager::checkForUpdate()
{
    startCheck(false);
}

void DownloadManager::checkForUpdateFromWeb()
{
    startCheck(true);
}

bool DownloadManager::hasUpdateServer() const
{
    return descriptionFromSettings || !UpdatePaths::isPlaceholderHost(descriptionLocation.host());
}

bool DownloadManager::checkRunning() const
{
    return downloadState == DownloadingDescription && currentReply;
}

bool DownloadManager::downloadRunning() const
{
    return downloadState == DownloadingPackage && currentReply;
}

void DownloadManager::startCheck(bool fromWeb)
{
    if (downloadRunning()) {
        // A package is on its way; a second check would take its items and
        // reply away. The page hears about the package being fetched.
        appLog(LogSystem::LogMajorMsg, "Update check joins the running download.");
        if (fromWeb)
            answerWebFromItems();
        return;
    }
    if (checkRunning()) {
        // One description answers everybody who asked while it was coming.
        appLog(LogSystem::LogMajorMsg, "Update check joins the running one.");
        (fromWeb ? webRequest : localRequest) = true;
        return;
    }
    webRequest = fromWeb;
    localRequest = !fromWeb;
    updateItems.clear();
    sectionVersions.clear();
    needDownloadPaths.clear();
    sectionsMode = true;
    downloadState = DownloadingDescription;

    QNetworkRequest request(descriptionLocation);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (currentReply)
        currentReply->disconnect(this);
    currentReply = network()->get(request);
    connect(currentReply, &QNetworkReply::errorOccurred, this, &DownloadManager::getNetDataError);
    connect(currentReply, &QNetworkReply::downloadProgress, this, &DownloadManager::updateDownloadProgress);
    appLog(LogSystem::LogMajorMsg, "Check update from %s", qPrintable(descriptionLocation.toString()));
}

void DownloadManager::netDataReadFinish(QNetworkReply *reply)
{
    reply->deleteLater();
    // Only the reply of the running step counts; an older one is late.
    if (reply != currentReply)
        return;
    currentReply = nullptr;
    if (downloadState == DownloadingDescription || downloadState == DescriptionFailed) {
        if (downloadState == DownloadingDescription)
            descriptionReceived(reply);
        // Whatever the description said, or failing it, the check is over.
        reportLater([this] { emit checkFinished(); });
    } else if (downloadState == DownloadingPackage) {
        packageReceived(reply);
    }
}

void DownloadManager::answerWebFromItems()
{
    for (const UpdateItem &item : qAsConst(updateItems)) {
        if (item.name == handledSection && UpdateVersion::isNewer(item.version, InstallRecord::floorVersion())) {
            reportLater([this, version = item.version] { emit sendToWebIsNeedDownload(true, version); });
            return;
        }
    }
    reportLater([this] { emit sendToWebIsNeedDownload(false, QString()); });
}

bool DownloadManager::writeDescriptionCopy(const QByteArray &body) const
{
    const QString path = UpdatePaths::serverCopyFile();
    QFile copy(path);
    if (!PrivateStore::prepareFile(path) || !copy.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = copy.write(body) == body.size();
    copy.close();
    return written;
}

void DownloadManager::descriptionReceived(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return;
    const QByteArray body = reply->read(maxDescriptionSize + 1);
    if (body.size() > maxDescriptionSize) {
        appLog(LogSystem::LogMajorMsg, "Update description refused: larger than %lld bytes.",
               static_cast<long long>(maxDescriptionSize));
        downloadState = DescriptionFailed;
        reportLater([this] { emit prepareUpdateFail(DescriptionDownloadFail); });
        return;
    }
    if (!writeDescriptionCopy(body)) {
        std::fputs("Can not write file to local.\n", stdout);
        std::fflush(stdout);
        return;
    }

    const QSettings local(UpdatePaths::localRecordFile(), QSettings::IniFormat);
    const QSettings server(UpdatePaths::serverCopyFile(), QSettings::IniFormat);
    const QStringList sections = server.childGroups();
    if (sections.isEmpty()) {
        appLog(LogSystem::LogMajorMsg, "Update description has no section.");
        return;
    }

    // Neither the running version nor the last installed one is offered again.
    const QString floor = InstallRecord::floorVersion();
    bool somethingNeedsDownload = false;
    for (const QString &section : sections) {
        if (sectionsMode && section != handledSection)
            continue;
        UpdateItem item;
        item.name = section;
        item.version = server.value(section + QStringLiteral("/Version"), 0).toString();
        item.releaseDate = server.value(section + QStringLiteral("/ReleaseDate")).toString();
        item.path = server.value(section + QStringLiteral("/Path")).toString();
        item.fileSize = server.value(section + QStringLiteral("/FileSize"), 0).toLongLong();
        // The manifest and its signature; "Signature" (the package's own, of
        // older descriptions) speaks for no version and is not trusted.
        item.manifest = server.value(section + QStringLiteral("/Manifest")).toString().toLatin1();
        item.manifestSignature = server.value(section + QStringLiteral("/ManifestSignature")).toString().toLatin1();
        item.fileName = fileNameOf(item.path);
        const QString localVersion = local.value(section + QStringLiteral("/Version"), 0).toString();
        const QString localPath = local.value(section + QStringLiteral("/Path")).toString();
        const qint64 localSize = local.value(section + QStringLiteral("/FileSize"), 0).toLongLong();

        if (webRequest) {
            if (UpdateVersion::isNewer(item.version, floor))
                reportLater([this, version = item.version] { emit sendToWebIsNeedDownload(true, version); });
            else
                reportLater([this] { emit sendToWebIsNeedDownload(false, QString()); });
            if (!localRequest)
                return;
        }

        if (item.path.isEmpty())
            continue;
        if (!usablePackageUrl(item.path) || item.fileSize <= 0 || item.fileSize > PackageVerifier::maxPackageSize) {
            appLog(LogSystem::LogMajorMsg, "Update description refused: unusable package path or size.");
            continue;
        }
        sectionVersions.insert(section, item.version);
        // The file on disk must also be whole: a download cut short leaves
        // a part that must never pass for the package.
        const QFileInfo onDisk(packagePath);
        const bool needed = localPath != item.path || UpdateVersion::isNewer(item.version, localVersion)
            || localSize != item.fileSize || !onDisk.isFile() || onDisk.size() != item.fileSize;
        if (needed) {
            needDownloadPaths.append(item.path);
            item.status = UpdateItem::NeedsDownload;
            somethingNeedsDownload = true;
        } else {
            item.status = UpdateItem::UpToDate;
        }
        updateItems.append(item);
    }

    queueDownloads({handledSection});
    reportLater([this, somethingNeedsDownload] { emit versionUpdate(somethingNeedsDownload); });
}

void DownloadManager::queueDownloads(const QStringList &names)
{
    downloadQueue.clear();
    for (const QString &name : names) {
        for (UpdateItem &item : updateItems) {
            if (item.name == name && needDownloadPaths.contains(item.path)) {
                item.status = UpdateItem::UpToDate;
                downloadQueue.append(item.path);
            }
        }
    }
}

const UpdateItem *DownloadManager::itemForPath(const QString &path) const
{
    for (const UpdateItem &item : updateItems) {
        if (item.path == path)
            return &item;
    }
    return nullptr;
}

int DownloadManager::startNextDownload()
{
    if (downloadQueue.isEmpty())
        return 0;
    const QString path = downloadQueue.takeFirst();
    const UpdateItem *item = itemForPath(path);
    expectedSize = item ? item->fileSize : 0;
    if (packageFile.isOpen())
        packageFile.close();
    // Our own name, made afresh and private: the server names nothing here.
    if (!PrivateStore::createNew(packagePath, &packageFile)) {
        appLog(LogSystem::LogMajorMsg, "Update package file cannot be made.");
        return -1;
    }

    downloadState = DownloadingPackage;
    cancelled = false;
    QNetworkRequest request{QUrl(path)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (currentReply)
        currentReply->disconnect(this);
    currentReply = network()->get(request);
    // Bounded chunks: each write to disk stays short on the event loop.
    currentReply->setReadBufferSize(packageReadBufferSize);
    connect(currentReply, &QNetworkReply::readyRead, this, &DownloadManager::netDataReadyRead);
    connect(currentReply, &QNetworkReply::errorOccurred, this, &DownloadManager::getNetDataError);
    connect(currentReply, &QNetworkReply::downloadProgress, this, &DownloadManager::updateDownloadProgress);

    ui->labelStatus->setText(tr("Downloading %1 ...").arg(fileNameOf(path)));
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(0);
    ui->buttonBox->setEnabled(true);
    show();
    appLog(LogSystem::LogMajorMsg, "Download update package %s", qPrintable(path));
    return 0;
}

void DownloadManager::netDataReadyRead()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != currentReply || !packageFile.isOpen())
        return;
    // An error page is not part of the package.
    if (reply->error() != QNetworkReply::NoError)
        return;
    const QByteArray data = reply->readAll();
    if (packageFile.size() + data.size() > expectedSize) {
        appLog(LogSystem::LogMajorMsg, "Update package larger than the description says; download stopped.");
        reply->abort();
        return;
    }
    if (packageFile.write(data) != data.size()) {
        appLog(LogSystem::LogMajorMsg, "Update package cannot be written; download stopped.");
        reply->abort();
    }
}

void DownloadManager::updateDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (downloadState == DownloadingDescription && bytesReceived > maxDescriptionSize) {
        if (currentReply)
            currentReply->abort();
        return;
    }
    if (downloadState != DownloadingPackage)
        return;
    emit downloadZip(bytesReceived, bytesTotal);
    const qint64 total = bytesTotal > 0 ? bytesTotal : expectedSize;
    if (total > 0)
        ui->progressBar->setValue(int(qBound<qint64>(0, bytesReceived * 100 / total, 100)));
}

void DownloadManager::packageReceived(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return;   // getNetDataError has dealt with it
    const QByteArray rest = reply->readAll();
    if (packageFile.size() + rest.size() > expectedSize || packageFile.write(rest) != rest.size()) {
        packageFailed("larger than the description says or not writable");
        return;
    }
    packageFile.close();
    if (packageFile.size() != expectedSize) {
        packageFailed("its size differs from the description");
        return;
    }
    if (!downloadQueue.isEmpty()) {
        startNextDownload();
        return;
    }

    PrivateStore::prepareFile(UpdatePaths::localRecordFile());
    QSettings local(UpdatePaths::localRecordFile(), QSettings::IniFormat);
    for (UpdateItem &item : updateItems) {
        if (item.status == UpdateItem::UpToDate)
            item.status = UpdateItem::Downloaded;
        if (item.status != UpdateItem::Downloaded)
            continue;
        local.setValue(item.name + QStringLiteral("/Version"), item.version);
        local.setValue(item.name + QStringLiteral("/ReleaseDate"), item.releaseDate);
        local.setValue(item.name + QStringLiteral("/Path"), item.path);
        local.setValue(item.name + QStringLiteral("/FileSize"), item.fileSize);
    }
    local.sync();
    downloadState = Idle;
    appLog(LogSystem::LogMajorMsg, "Update package downloaded.");
    reportLater([this] { emit ready4Update(); });
}

void DownloadManager::removePackage()
{
    packageFile.close();
    QFile::remove(packagePath);
}

void DownloadManager::packageFailed(const char *why)
{
    downloadState = PackageFailed;
    // A part, or more than was promised, is nothing to keep.
    removePackage();
    hideProgress();
    appLog(LogSystem::LogMajorMsg, "Update package download failed: %s", why);
    reportLater([this] { emit prepareUpdateFail(PackageDownloadFail); });
}

void DownloadManager::getNetDataError(QNetworkReply::NetworkError error)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != currentReply || error == QNetworkReply::NoError)
        return;
    appLog(LogSystem::LogMajorMsg, "Update network error %d: %s", int(error), qPrintable(reply->errorString()));
    if (downloadState == DownloadingDescription) {
        downloadState = DescriptionFailed;
        reportLater([this] { emit prepareUpdateFail(DescriptionDownloadFail); });
    } else if (downloadState == DownloadingPackage) {
        if (cancelled) {
            downloadState = PackageFailed;
            removePackage();
            hideProgress();
            appLog(LogSystem::LogMajorMsg, "Update download cancelled.");
        } else {
            packageFailed("network error");
        }
    }
    disconnect(reply, &QNetworkReply::errorOccurred, this, &DownloadManager::getNetDataError);
    disconnect(reply, &QNetworkReply::downloadProgress, this, &DownloadManager::updateDownloadProgress);
}

void DownloadManager::reportLater(const std::function<void()> &report)
{
    QMetaObject::invokeMethod(this, report, Qt::QueuedConnection);
}

void DownloadManager::cancelDownload()
{
    if (downloadState != DownloadingPackage || !currentReply)
        return;
    cancelled = true;
    currentReply->abort();
}

void DownloadManager::showInstalling()
{
    ui->labelStatus->setText(tr("Unpacking the update ..."));
    ui->progressBar->setRange(0, 0);
    ui->buttonBox->setEnabled(false);
    show();
}

void DownloadManager::hideProgress()
{
    hide();
}
