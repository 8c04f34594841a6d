#ifndef DOWNLOADMANAGER_H
#define DOWNLOADMANAGER_H

#include "updateitem.h"

#include <QDialog>
#include <QFile>
#include <QList>
#include <QMap>
#include <QNetworkReply>
#include <QStringList>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

namespace Ui {
class DownloadManager;
}

// Finds out whether the update server publishes a newer program, and on
// request downloads the package. As a dialog it is the download's progress
// window, which the user can cancel; the install then reuses it to show
// that the package is being unpacked.
class DownloadManager : public QDialog
{
    Q_OBJECT

public:
    enum State {
        Idle = 0,
        DownloadingDescription = 1,
        DescriptionFailed = 2,
        DownloadingPackage = 4,
        PackageFailed = 5
    };

    enum FailReason {
        DescriptionDownloadFail = -4,
        PackageDownloadFail = -5
    };

    explicit DownloadManager(QWidget *parent = nullptr);
    ~DownloadManager() override;

    // The check for the user or the automatic daily one.
    void checkForUpdate();
    // The check on behalf of the web page: answers sendToWebIsNeedDownload.
    void checkForUpdateFromWeb();
    // 0: started, or nothing queued; -1: the package file cannot be created.
    int startNextDownload();
    QList<UpdateItem> items() const;

    int state() const { return downloadState; }
    // Where the description comes from (the configured default unless
    // setting.ini names another).
    QUrl descriptionUrl() const { return descriptionLocation; }
    // False while the description would come from a host reserved for
    // examples (the build's placeholder) and setting.ini names none.
    bool hasUpdateServer() const;

    // A description is being fetched: a check asked for now joins it.
    bool checkRunning() const;
    // A package is being fetched: no check may take it away.
    bool downloadRunning() const;

    // Ends a running package download without a failure message; nothing
    // is installed, and the part on disk never passes for the package.
    void cancelDownload();
    // The dialog as the window for the unpacking that follows a download.
    void showInstalling();
    void hideProgress();

    // A description larger than this is not one (and is refused).
    static constexpr qint64 maxDescriptionSize = 64 * 1024;
    static constexpr qint64 packageReadBufferSize = 1024 * 1024;

signals:
    void versionUpdate(bool needDownload);
    void ready4Update();
    void prepareUpdateFail(int reason);
    void downloadZip(qint64 bytesReceived, qint64 bytesTotal);
    void sendToWebIsNeedDownload(bool needDownload, QString version);
    // A check's description was read or could not be: every answer of that
    // check came before this.
    void checkFinished();

private slots:
    void netDataReadyRead();
    void netDataReadFinish(QNetworkReply *reply);
    void updateDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void getNetDataError(QNetworkReply::NetworkError error);

private:
    Q_DISABLE_COPY(DownloadManager)

    QNetworkAccessManager *network();
    void startCheck(bool fromWeb);
    void descriptionReceived(QNetworkReply *reply);
    void packageReceived(QNetworkReply *reply);
    void packageFailed(const char *why);
    // Builds downloadQueue for the named components from needDownloadPaths.
    void queueDownloads(const QStringList &names);
    bool writeDescriptionCopy(const QByteArray &body) const;
    // The page's answer from the items at hand (the offer being downloaded).
    void answerWebFromItems();
    void removePackage();
    const UpdateItem *itemForPath(const QString &path) const;
    // Emits from the event loop, never from inside a reply's signal: the
    // receivers show modal boxes, and a reply must not be deleted by their
    // nested event loop while its own signal is still being emitted.
    void reportLater(const std::function<void()> &report);

    Ui::DownloadManager *ui;
    const QString packagePath;
    bool descriptionFromSettings = false;
    const QUrl descriptionLocation;
    int downloadState = Idle;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *currentReply = nullptr;
    QMap<QString, QString> sectionVersions;
    QList<UpdateItem> updateItems;
    QStringList needDownloadPaths;
    QStringList downloadQueue;
    QFile packageFile;
    // Size the description promises for the package being downloaded.
    qint64 expectedSize = 0;
    bool sectionsMode = true;
    // Who the running check answers: the web page, the window, or both when
    // one asked while the other's check was running.
    bool webRequest = false;
    bool localRequest = false;
    bool cancelled = false;
};

#endif // DOWNLOADMANAGER_H
