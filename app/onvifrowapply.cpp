#include "onvifrowapply.h"

#include "applog.h"
#include "devicetable.h"
#include "utilityprotocol.h"

#include <QUrl>

namespace {

// An address field left blank reads 0.0.0.0: none.
QString addressText(const UtilityProtocol::Ipv4Bytes &bytes)
{
    const QString text = UtilityProtocol::ipv4ToText(bytes);
    return text == QLatin1String("0.0.0.0") ? QString() : text;
}

} // namespace

OnvifRowApply::OnvifRowApply(DeviceTable *table, QObject *parent)
    : QObject(parent)
    , table(table)
{
}

OnvifRowApply::~OnvifRowApply()
{
    cancel();
}

void OnvifRowApply::setConfirmTimes(int windowMs, int deadlineMs)
{
    confirmWindowMs = windowMs;
    confirmDeadlineMs = deadlineMs;
}

OnvifApplyJob::Settings OnvifRowApply::settingsFor(const CameraSettings &settings)
{
    OnvifApplyJob::Settings onvif;
    onvif.dhcp = settings.dhcp;
    if (!settings.dhcp) {
        onvif.ip = addressText(settings.ip);
        onvif.mask = addressText(settings.mask);
        onvif.gateway = addressText(settings.gateway);
    }
    onvif.dns1 = addressText(settings.dns1);
    onvif.dns2 = addressText(settings.dns2);
    return onvif;
}

QString OnvifRowApply::statusText(OnvifApplyJob::Status status)
{
    switch (status) {
    case OnvifApplyJob::Status::Ok:
        return tr("Confirmed");
    case OnvifApplyJob::Status::Unauthorized:
        return tr("Unauthorized");
    case OnvifApplyJob::Status::Unreachable:
        return tr("No answer");
    case OnvifApplyJob::Status::NotConfirmed:
        return tr("Not confirmed");
    case OnvifApplyJob::Status::Failed:
        break;
    }
    return tr("Setting failed");
}

bool OnvifRowApply::start(const DeviceRecord &row, const CameraSettings &settings, const Credentials &credentials,
                          const QString &adapter, int tableRow)
{
    if (row.searchType != DeviceRecord::Onvif)
        return false;
    cancel();
    const QUrl url = !row.serviceUrl.isEmpty() ? QUrl(row.serviceUrl)
                                               : QUrl(QStringLiteral("http://%1/onvif/device_service").arg(row.ip));
    job = new OnvifApplyJob(url, row.endpoint, {credentials.userId, credentials.password}, settingsFor(settings), this);
    job->setSearchBindAddress(adapter);
    job->setConfirmWindowMs(confirmWindowMs);
    job->setConfirmDeadlineMs(confirmDeadlineMs);
    connect(job, &OnvifApplyJob::finished, this, [this, tableRow](const OnvifApplyJob::Result &result) {
        appLog(LogSystem::LogMajorMsg, "ONVIF setting: %s%s%s", qPrintable(OnvifApplyJob::statusText(result.status)),
               result.error.isEmpty() ? "" : ", ", qPrintable(result.error));
        job->deleteLater();
        job = nullptr;
        table->setStatus(tableRow, statusText(result.status));
        emit finished(result.status == OnvifApplyJob::Status::Ok);
    });
    table->setStatus(tableRow, tr("Setting and checking"));
    job->start();
    return true;
}

void OnvifRowApply::cancel()
{
    if (!job)
        return;
    disconnect(job, nullptr, this, nullptr);
    delete job;
}
