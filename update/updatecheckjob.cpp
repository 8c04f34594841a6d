#include "updatecheckjob.h"

#include "downloadmanager.h"

UpdateCheckJob::UpdateCheckJob(DownloadManager *manager, QObject *parent)
    : QObject(parent)
    , manager(manager)
{
    qRegisterMetaType<UpdateCheckJob::Result>();
    connect(manager, &DownloadManager::versionUpdate, this, [this](bool needDownload) {
        if (running)
            local = needDownload;
    });
    connect(manager, &DownloadManager::sendToWebIsNeedDownload, this, [this](bool needUpdate, const QString &version) {
        if (running)
            web = WebAnswer{needUpdate, version};
    });
    connect(manager, &DownloadManager::prepareUpdateFail, this, [this](int reason) {
        if (running && reason == DownloadManager::DescriptionDownloadFail)
            failed = true;
    });
    connect(manager, &DownloadManager::checkFinished, this, &UpdateCheckJob::checkFinished);
}

UpdateCheckJob::~UpdateCheckJob() = default;

void UpdateCheckJob::start(bool forWeb)
{
    running = true;
    if (forWeb)
        manager->checkForUpdateFromWeb();
    else
        manager->checkForUpdate();
}

void UpdateCheckJob::checkFinished()
{
    if (!running)
        return;
    running = false;
    emit finished(failed ? DescriptionFailed : (local || web) ? Answered : NoAnswer);
}
