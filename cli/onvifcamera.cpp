#include "onvifcamera.h"

#include "clicommand.h"

#include <QEventLoop>

QUrl OnvifCamera::defaultServiceUrl(const QString &ip)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(ip);
    url.setPath(QStringLiteral("/onvif/device_service"));
    return url;
}

QUrl OnvifCamera::serviceUrl(const DeviceRecord &row)
{
    const QUrl given(row.serviceUrl);
    return given.isValid() && !row.serviceUrl.isEmpty() ? given : defaultServiceUrl(row.ip);
}

OnvifInfoJob::Result OnvifCamera::readInfo(const QUrl &url, const OnvifSoap::Credentials &credentials)
{
    OnvifInfoJob job(url, credentials);
    OnvifInfoJob::Result result;
    QEventLoop loop;
    QObject::connect(&job, &OnvifInfoJob::finished, &loop, [&](const OnvifInfoJob::Result &r) {
        result = r;
        loop.quit();
    });
    job.start();
    loop.exec();
    return result;
}

OnvifApplyJob::Result OnvifCamera::apply(const DeviceRecord &row, const OnvifSoap::Credentials &credentials,
                                         const DeviceRecord &desired, const ApplyTimes &times)
{
    OnvifApplyJob job(serviceUrl(row), row.endpoint, credentials, settingsFor(desired));
    job.setSearchBindAddress(times.adapter);
    job.setConfirmWindowMs(times.confirmWindowMs);
    job.setConfirmDeadlineMs(times.confirmDeadlineMs);
    OnvifApplyJob::Result result;
    QEventLoop loop;
    QObject::connect(&job, &OnvifApplyJob::finished, &loop, [&](const OnvifApplyJob::Result &r) {
        result = r;
        loop.quit();
    });
    job.start();
    loop.exec();
    return result;
}

DeviceRecord OnvifCamera::withSettings(const DeviceRecord &row, const OnvifInfoJob::Result &info)
{
    const DeviceRecord read = info.record();
    DeviceRecord known = row;
    known.dhcp = read.dhcp;
    known.mask = read.mask;
    known.gateway = read.gateway;
    known.dns1 = read.dns1;
    known.dns2 = read.dns2;
    if (known.serialNo.isEmpty())
        known.serialNo = read.serialNo;
    if (known.fwVersion.isEmpty())
        known.fwVersion = read.fwVersion;
    return known;
}

OnvifApplyJob::Settings OnvifCamera::settingsFor(const DeviceRecord &desired)
{
    OnvifApplyJob::Settings settings;
    settings.dhcp = desired.dhcp;
    if (!desired.dhcp) {
        settings.ip = desired.ip;
        settings.mask = desired.mask;
        settings.gateway = desired.gateway;
    }
    settings.dns1 = desired.dns1;
    settings.dns2 = desired.dns2;
    return settings;
}

int OnvifCamera::exitCode(OnvifInfoJob::Status status)
{
    switch (status) {
    case OnvifInfoJob::Status::Ok:
        return CliCommand::Ok;
    case OnvifInfoJob::Status::Unauthorized:
        return CliCommand::Refused;
    case OnvifInfoJob::Status::Unreachable:
        return CliCommand::NotFound;
    case OnvifInfoJob::Status::Failed:
        break;
    }
    return CliCommand::Failed;
}

int OnvifCamera::exitCode(OnvifApplyJob::Status status)
{
    switch (status) {
    case OnvifApplyJob::Status::Ok:
        return CliCommand::Ok;
    case OnvifApplyJob::Status::Unauthorized:
        return CliCommand::Refused;
    case OnvifApplyJob::Status::Unreachable:
    case OnvifApplyJob::Status::Failed:
    case OnvifApplyJob::Status::NotConfirmed:
        break;
    }
    return CliCommand::NotConfirmed;
}
