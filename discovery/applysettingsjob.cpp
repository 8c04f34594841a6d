#include "applysettingsjob.h"

#include "searchmanager.h"

ApplySettingsJob::ApplySettingsJob(SearchManager *coordinator, const QList<Change> &changes,
                                   const Credentials &credentials, const Options &options, QObject *parent)
    : QObject(parent)
    , coordinator(coordinator)
    , changes(changes)
    , credentials(credentials)
    , options(options)
{
    qRegisterMetaType<ApplySettingsJob::Result>();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &ApplySettingsJob::timerDone);
    connect(coordinator, &SearchManager::emitUtilitySettingFail, this, &ApplySettingsJob::failCaseReceived);
}

ApplySettingsJob::~ApplySettingsJob() = default;

const DeviceRecord *ApplySettingsJob::findCamera(const QList<DeviceRecord> &list, const QString &mac,
                                                 const QString &model)
{
    for (const DeviceRecord &record : list) {
        if (record.searchType == DeviceRecord::BroadcastSearch && record.mac == mac
            && (model.isEmpty() || record.model == model))
            return &record;
    }
    return nullptr;
}

const DeviceRecord *ApplySettingsJob::foundTarget(int change) const
{
    if (change < 0 || change >= changes.size())
        return nullptr;
    const DeviceRecord &target = changes.at(change).target;
    return findCamera(after, target.mac, target.model);
}

void ApplySettingsJob::start()
{
    if (phase != Phase::Idle)
        return;
    phase = Phase::Sending;
    sendNext();
}

void ApplySettingsJob::sendNext()
{
    if (phase != Phase::Sending)
        return;
    const Change &change = changes.at(sent);
    coordinator->writeSettings(change.target, change.settings, credentials);
    ++sent;
    if (sent < changes.size()) {
        // A camera's answer must not drown in a burst of records.
        QTimer::singleShot(options.sendSpacingMs, Qt::PreciseTimer, this, &ApplySettingsJob::sendNext);
        return;
    }
    phase = Phase::Waiting;
    if (options.refusalWaitMs >= 0)
        timer.start(options.refusalWaitMs);
}

void ApplySettingsJob::failCaseReceived(UtilitySearch::SettingFailCase failCase)
{
    if (phase == Phase::Idle || phase == Phase::Done)
        return;
    emit settingFailed(failCase);
    if (failCase != UtilitySearch::SettingUnauthorized)
        return;
    refused = true;
    if (options.endsOnRefusal)
        finish(Refused);
}

void ApplySettingsJob::timerDone()
{
    if (phase == Phase::Waiting)
        confirm();
    else if (phase == Phase::Searching)
        conclude();
}

void ApplySettingsJob::confirm()
{
    if (phase != Phase::Waiting)
        return;
    timer.stop();
    phase = Phase::Searching;
    if (options.unicastTargets)
        coordinator->setUnicastTargets(*options.unicastTargets);
    if (options.refreshAddresses)
        coordinator->refreshAddresses();
    coordinator->startSearch(options.adapter);
    emit confirmingSearchStarted();
    if (phase == Phase::Searching && options.searchMs >= 0)
        timer.start(options.searchMs);
}

void ApplySettingsJob::conclude()
{
    if (phase != Phase::Searching)
        return;
    timer.stop();
    after = coordinator->getDeviceList();
    bool allShown = true;
    statuses.clear();
    for (int i = 0; i < changes.size(); ++i) {
        const DeviceRecord *now = foundTarget(i);
        const ChangeStatus status = !now                                    ? Silent
            : changes.at(i).settings.shownBy(*now) ? Shown
                                                                            : ShowsOther;
        statuses.append(status);
        allShown = allShown && status == Shown;
    }
    if (refused && options.endsOnRefusal)
        finish(Refused);
    else
        finish(allShown ? Confirmed : NotConfirmed);
}

void ApplySettingsJob::kill()
{
    phase = Phase::Done;
    timer.stop();
}

void ApplySettingsJob::finish(Result result)
{
    if (phase == Phase::Done)
        return;
    phase = Phase::Done;
    timer.stop();
    emit finished(result);
}
