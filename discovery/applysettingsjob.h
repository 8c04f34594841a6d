#ifndef APPLYSETTINGSJOB_H
#define APPLYSETTINGSJOB_H

#include "camerasettings.h"
#include "credentials.h"
#include "devicerecord.h"
#include "utilitysearch.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <optional>

class SearchManager;

// New network settings for one or more cameras, from the settings records
// to the confirming search, for every front end alike: the records go out,
// a refusal ("Invalid ID") has refusalWaitMs to come back, then a new search
// shows whether each camera took its settings. Ends with one finished(),
// unless killed.
//
// A front end that shows the waiting itself (the window's progress bars)
// paces the job: with a wait below 0 the job moves on when told
// (confirm(), conclude()), so the list it shows is the one of its own ticks.
class ApplySettingsJob : public QObject
{
    Q_OBJECT

public:
    enum Result {
        Confirmed,      // every camera shows its settings
        Refused,        // a camera answered "Invalid ID" (and the job ended there)
        NotConfirmed    // some camera did not show its settings, or refused them
    };
    Q_ENUM(Result)

    // What the confirming search found of one change.
    enum ChangeStatus {
        Pending,        // the confirming search has not ended
        Shown,          // the camera shows the settings
        ShowsOther,     // it answered with other settings
        Silent          // it did not answer
    };
    Q_ENUM(ChangeStatus)

    struct Change
    {
        DeviceRecord target;      // the camera as a search found it
        CameraSettings settings;
    };

    struct Options
    {
        int refusalWaitMs = 3000;   // below 0: paced by confirm()
        int searchMs = 5000;        // below 0: paced by conclude()
        // A refusal ends the job at once (one camera); otherwise it is noted
        // and the confirming search still runs (a batch).
        bool endsOnRefusal = true;
        QString adapter;            // of the confirming search ("" for every one)
        std::optional<QList<QHostAddress>> unicastTargets;
        bool refreshAddresses = false;
        // Between two records of a batch.
        int sendSpacingMs = 20;
    };

    ApplySettingsJob(SearchManager *coordinator, const QList<Change> &changes, const Credentials &credentials,
                     const Options &options, QObject *parent = nullptr);
    ~ApplySettingsJob() override;

    // Sends the first record.
    void start();
    // Paced: the confirming search starts now / ends now.
    void confirm();
    void conclude();
    // Ends the job without finished().
    void kill();

    bool isRunning() const { return phase != Phase::Idle && phase != Phase::Done; }
    bool wasRefused() const { return refused; }
    // What the confirming search found, and of each change.
    const QList<DeviceRecord> &foundAfter() const { return after; }
    ChangeStatus status(int change) const { return statuses.value(change, Pending); }
    // The camera of a change as the confirming search found it, or null.
    const DeviceRecord *foundTarget(int change) const;

    // The camera of a list that target names: same MAC, the same model
    // when model is given. Only the utility search's cameras are written.
    static const DeviceRecord *findCamera(const QList<DeviceRecord> &list, const QString &mac,
                                          const QString &model = QString());

signals:
    // A camera answered a record with a fail case (any case).
    void settingFailed(UtilitySearch::SettingFailCase failCase);
    void confirmingSearchStarted();
    void finished(ApplySettingsJob::Result result);

private:
    Q_DISABLE_COPY(ApplySettingsJob)

    enum class Phase { Idle, Sending, Waiting, Searching, Done };

    void sendNext();
    void failCaseReceived(UtilitySearch::SettingFailCase failCase);
    void timerDone();
    void finish(Result result);

    SearchManager *const coordinator;
    const QList<Change> changes;
    const Credentials credentials;
    const Options options;
    QTimer timer;
    Phase phase = Phase::Idle;
    int sent = 0;
    bool refused = false;
    QList<DeviceRecord> after;
    QList<ChangeStatus> statuses;
};

#endif // APPLYSETTINGSJOB_H
