#ifndef ONVIFCAMERA_H
#define ONVIFCAMERA_H

#include "devicerecord.h"
#include "onvifapplyjob.h"
#include "onvifinfojob.h"

#include <QString>
#include <QUrl>

// The command line's side of an ONVIF camera: its device service address,
// the info and apply jobs run to their end, and what their outcomes mean
// as exit codes, so info, set and assign treat such a camera alike.
class OnvifCamera
{
public:
    // Where a camera's device service is when its XAddrs are unknown (info
    // by address): the path nearly every camera uses.
    static QUrl defaultServiceUrl(const QString &ip);
    // The XAddr the search kept for row, else the default at its address.
    static QUrl serviceUrl(const DeviceRecord &row);

    static OnvifInfoJob::Result readInfo(const QUrl &url, const OnvifSoap::Credentials &credentials);

    struct ApplyTimes
    {
        QString adapter;           // of the confirming searches ("" every one)
        int confirmWindowMs = OnvifApplyJob::ConfirmWindowMs;
        int confirmDeadlineMs = OnvifApplyJob::ConfirmDeadlineMs;
    };
    static OnvifApplyJob::Result apply(const DeviceRecord &row, const OnvifSoap::Credentials &credentials,
                                       const DeviceRecord &desired, const ApplyTimes &times);

    // The search's row with the settings the camera reported (the search
    // alone knows none of them), as the checks before a write need it.
    static DeviceRecord withSettings(const DeviceRecord &row, const OnvifInfoJob::Result &info);
    static OnvifApplyJob::Settings settingsFor(const DeviceRecord &desired);

    // 0, or the pathmere-cli exit code of a job that did not succeed.
    static int exitCode(OnvifInfoJob::Status status);
    static int exitCode(OnvifApplyJob::Status status);

private:
    OnvifCamera() = delete;
};

#endif // ONVIFCAMERA_H
