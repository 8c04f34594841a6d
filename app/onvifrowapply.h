#ifndef ONVIFROWAPPLY_H
#define ONVIFROWAPPLY_H

#include "camerasettings.h"
#include "credentials.h"
#include "devicerecord.h"
#include "onvifapplyjob.h"

#include <QObject>
#include <QPointer>
#include <QString>

// Apply on a row of another maker's camera: the form's settings go through
// an OnvifApplyJob (login at the camera's time, write, reboot when asked,
// a confirming search for the same endpoint), with no utility settings
// record. The row's status says how it goes; the window searches again once
// the camera was found at its new address.
class DeviceTable;

class OnvifRowApply : public QObject
{
    Q_OBJECT

public:
    // table: where the row's status is shown (not owned).
    explicit OnvifRowApply(DeviceTable *table, QObject *parent = nullptr);
    ~OnvifRowApply() override;

    // Starts the write for an ONVIF row and returns true; any other row is
    // not this class's (false, nothing done). A write still running is
    // dropped first.
    bool start(const DeviceRecord &row, const CameraSettings &settings, const Credentials &credentials,
               const QString &adapter, int tableRow);
    bool isRunning() const { return !job.isNull(); }
    void cancel();

    // The form's settings as an ONVIF write takes them.
    static OnvifApplyJob::Settings settingsFor(const CameraSettings &settings);
    // The row's status text for an outcome ("Unauthorized" as for the maker's cameras).
    static QString statusText(OnvifApplyJob::Status status);

    // Confirming times (tests shorten them).
    void setConfirmTimes(int windowMs, int deadlineMs);

signals:
    void finished(bool confirmed);

private:
    Q_DISABLE_COPY(OnvifRowApply)

    DeviceTable *const table;
    QPointer<OnvifApplyJob> job;
    int confirmWindowMs = OnvifApplyJob::ConfirmWindowMs;
    int confirmDeadlineMs = OnvifApplyJob::ConfirmDeadlineMs;
};

#endif // ONVIFROWAPPLY_H
