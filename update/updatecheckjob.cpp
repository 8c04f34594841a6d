#include "updatecheckjob.h"

#include "downloadmanager.h"

UpdateCheckJob::UpdateCheckJob(DownloadManager *manager, QObject *parent)
    : QObject(parent)
    , manager(manager)
{
    qRegisterMetaType<UpdateCheckJob::Result>();
    connect(manager, &DownloadManager::versionUpdate, this, [this](bool needDownload) {
        if (!running)
            return;
        local = needDownload;
        finishOnceAnswered();
    });
    connect(manager, &DownloadManager::sendToWebIsNeedDownload, this, [this](bool needUpdate, const QString &version) {
        if (!running)
            return;
        web = WebAnswer{needUpdate, version};
        finishOnceAnswered();
    });
    connect(manager, &DownloadManager::prepareUpdateFail, this, [this](int reason) {
        if (!running || reason != DownloadManager::DescriptionDownloadFail)
            return;
        failed = true;
        finish();
    });
    // A description that answers nobody (a page that is no description)
    // still ends the check.
    connect(manager, &DownloadManager::checkFinished, this, [this] {
        if (running)
            finish();
    });
}

UpdateCheckJob::~UpdateCheckJob() = default;

void UpdateCheckJob::start(bool forWeb)
{
    running = true;
    (forWeb ? wantWeb : wantLocal) = true;
    if (forWeb)
        manager->checkForUpdateFromWeb();
    else
        manager->checkForUpdate();
}

// Ends with the answer that completes the check, not a turn of the event loop
// later: what the asker is told comes with the manager's answer, as it always
// did.
void UpdateCheckJob::finishOnceAnswered()
{
    if ((!wantLocal || local) && (!wantWeb || web))
        finish();
}

void UpdateCheckJob::finish()
{
    running = false;
    emit finished(failed ? DescriptionFailed : (local || web) ? Answered : NoAnswer);
}
