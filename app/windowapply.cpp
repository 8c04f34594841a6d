#include "windowapply.h"

#include "applysettingsjob.h"
#include "loginmemory.h"
#include "onvifrowapply.h"

WindowApply::WindowApply(SearchManager *searchManager, DeviceTable *table, LoginMemory *logins, QObject *parent)
    : QObject(parent)
    , searchManager(searchManager)
    , logins(logins)
    , onvif(new OnvifRowApply(table, this))
{
    connect(onvif, &OnvifRowApply::finished, this, &WindowApply::onvifFinished);
}

WindowApply::~WindowApply()
{
    end();
}

WindowApply::Started WindowApply::start(const DeviceRecord &device, const CameraSettings &settings,
                                        const Credentials &credentials, const QString &adapter, int tableRow)
{
    end();
    if (onvif->start(device, settings, credentials, adapter, tableRow))
        return Started::Onvif;
    ApplySettingsJob::Options paced;
    paced.refusalWaitMs = -1;
    paced.searchMs = -1;
    paced.adapter = adapter;
    job = new ApplySettingsJob(searchManager, {{device, settings}}, credentials, paced, this);
    connect(job, &ApplySettingsJob::settingFailed, this, &WindowApply::settingFailed);
    logins->watchApply(job, device, credentials);
    job->start();
    return Started::Paced;
}

bool WindowApply::confirm()
{
    if (!job || !job->isRunning())
        return false;
    job->confirm();
    return true;
}

bool WindowApply::conclude(QList<DeviceRecord> *found)
{
    const bool confirming = job && job->isRunning();
    if (confirming) {
        job->conclude();
        *found = job->foundAfter();
    }
    end();
    return confirming;
}

void WindowApply::end()
{
    if (!job)
        return;
    job->kill();
    job->deleteLater();
    job = nullptr;
}
