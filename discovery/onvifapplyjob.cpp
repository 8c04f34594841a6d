#include "onvifapplyjob.h"

#include "applog.h"
#include "onvifsearch.h"

namespace {

// Between two confirming searches, so a camera on its way back from a
// reboot is not flooded.
constexpr int ConfirmPauseMs = 500;

bool isAddress(const QString &text)
{
    return !text.isEmpty() && text != QLatin1String("0.0.0.0");
}

OnvifApplyJob::Status fromInfoStatus(OnvifInfoJob::Status status)
{
    switch (status) {
    case OnvifInfoJob::Status::Ok:
        return OnvifApplyJob::Status::Ok;
    case OnvifInfoJob::Status::Unauthorized:
        return OnvifApplyJob::Status::Unauthorized;
    case OnvifInfoJob::Status::Unreachable:
        return OnvifApplyJob::Status::Unreachable;
    case OnvifInfoJob::Status::Failed:
        break;
    }
    return OnvifApplyJob::Status::Failed;
}

} // namespace

QString OnvifApplyJob::statusText(Status status)
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("Ok");
    case Status::Unauthorized:
        return QStringLiteral("Unauthorized");
    case Status::Unreachable:
        return QStringLiteral("Unreachable");
    case Status::NotConfirmed:
        return QStringLiteral("NotConfirmed");
    case Status::Failed:
        break;
    }
    return QStringLiteral("Failed");
}

OnvifApplyJob::OnvifApplyJob(const QUrl &serviceUrl, const QString &endpoint, const OnvifSoap::Credentials &credentials,
                             const Settings &settings, QObject *parent)
    : QObject(parent)
    , serviceUrl(serviceUrl)
    , endpoint(endpoint)
    , credentials(credentials)
    , settings(settings)
    , client(serviceUrl, credentials)
{
    confirmDeadline.setSingleShot(true);
    connect(&confirmDeadline, &QTimer::timeout, this, [this]() {
        finish(Status::NotConfirmed,
               lastSeenAt.isEmpty()
                   ? QStringLiteral("the camera did not answer a search after the change")
                   : QStringLiteral("the camera accepted the settings but still answers at %1").arg(lastSeenAt));
    });
}

OnvifApplyJob::~OnvifApplyJob()
{
    delete search;
}

QString OnvifApplyJob::check(const Settings &settings)
{
    auto optional = [](const QString &text, const char *what) {
        return text.isEmpty() || !OnvifDeviceProtocol::ipv4Text(text).isEmpty()
            ? QString() : QStringLiteral("%1 %2 is not an IPv4 address").arg(QLatin1String(what), text);
    };
    if (!settings.dhcp) {
        if (!isAddress(OnvifDeviceProtocol::ipv4Text(settings.ip)))
            return QStringLiteral("the address %1 is not a usable IPv4 address").arg(settings.ip);
        const int prefix = OnvifDeviceProtocol::prefixFromMask(settings.mask);
        if (prefix < 1 || prefix > 32)
            return QStringLiteral("the mask %1 is not a contiguous subnet mask").arg(settings.mask);
        const QString gateway = optional(settings.gateway, "the gateway");
        if (!gateway.isEmpty())
            return gateway;
    }
    const QString dns1 = optional(settings.dns1, "the first DNS server");
    return dns1.isEmpty() ? optional(settings.dns2, "the second DNS server") : dns1;
}

void OnvifApplyJob::start()
{
    const QString problem = check(settings);
    if (!problem.isEmpty()) {
        finish(Status::Failed, problem);
        return;
    }
    info = new OnvifInfoJob(serviceUrl, credentials, this);
    connect(info, &OnvifInfoJob::finished, this, &OnvifApplyJob::infoRead);
    info->start();
}

void OnvifApplyJob::infoRead(const OnvifInfoJob::Result &read)
{
    info->deleteLater();
    if (read.status != OnvifInfoJob::Status::Ok) {
        result.failedCall = read.failedCall;
        finish(fromInfoStatus(read.status), read.error);
        return;
    }
    client.setClockOffsetMs(read.clockOffsetMs);
    interfaceToken = read.networkInterface.token;
    write(Call::SetDNS);
}

void OnvifApplyJob::write(Call call)
{
    const OnvifSoap::Token token = client.token();
    QByteArray request;
    switch (call) {
    case Call::SetDNS: {
        QStringList servers;
        for (const QString &server : {settings.dns1, settings.dns2}) {
            if (isAddress(server))
                servers.append(OnvifDeviceProtocol::ipv4Text(server));
        }
        request = OnvifDeviceProtocol::setDns(token, settings.dhcp, servers);
        break;
    }
    case Call::SetNetworkDefaultGateway:
        request = OnvifDeviceProtocol::setNetworkDefaultGateway(token, OnvifDeviceProtocol::ipv4Text(settings.gateway));
        break;
    case Call::SetNetworkInterfaces: {
        OnvifDeviceProtocol::Ipv4Setting setting;
        setting.dhcp = settings.dhcp;
        setting.address = OnvifDeviceProtocol::ipv4Text(settings.ip);
        setting.prefixLength = OnvifDeviceProtocol::prefixFromMask(settings.mask);
        request = OnvifDeviceProtocol::setNetworkInterfaces(token, interfaceToken, setting);
        break;
    }
    default:
        request = OnvifDeviceProtocol::request(call, &token);
        break;
    }
    appLog(LogSystem::LogMajorMsg, "ONVIF %s to %s.", qPrintable(OnvifDeviceProtocol::callName(call)),
           qPrintable(serviceUrl.host()));
    client.post(call, request, [this, call](const OnvifDeviceClient::Reply &reply) { written(call, reply); });
}

void OnvifApplyJob::written(Call call, const OnvifDeviceClient::Reply &reply)
{
    const bool lost = reply.kind == OnvifDeviceClient::Reply::Timeout
        || reply.kind == OnvifDeviceClient::Reply::NetworkError;
    // A camera may take its new address, or go down for its reboot, before
    // its answer is out: whether the change took is for the search to say.
    if (lost && (call == Call::SetNetworkInterfaces || call == Call::SystemReboot)) {
        appLog(LogSystem::LogMajorMsg, "ONVIF %s: no answer (%s); confirming by search.",
               qPrintable(OnvifDeviceProtocol::callName(call)), qPrintable(reply.detail));
        result.rebooted = call == Call::SystemReboot;
        startConfirm();
        return;
    }
    const OnvifDeviceProtocol::SetAnswer answer = OnvifDeviceProtocol::parseSetAnswer(call, reply.body);
    QString error;
    const OnvifInfoJob::Status status = OnvifInfoJob::classify(call, reply, answer.outcome, &error);
    if (status != OnvifInfoJob::Status::Ok) {
        result.failedCall = call;
        finish(fromInfoStatus(status), error);
        return;
    }
    switch (call) {
    case Call::SetDNS:
        write(!settings.dhcp && isAddress(settings.gateway) ? Call::SetNetworkDefaultGateway : Call::SetNetworkInterfaces);
        return;
    case Call::SetNetworkDefaultGateway:
        write(Call::SetNetworkInterfaces);
        return;
    case Call::SetNetworkInterfaces:
        if (answer.rebootNeeded) {
            write(Call::SystemReboot);
            return;
        }
        startConfirm();
        return;
    case Call::SystemReboot:
        result.rebooted = true;
        startConfirm();
        return;
    default:
        return;
    }
}

void OnvifApplyJob::startConfirm()
{
    confirmDeadline.start(result.rebooted ? rebootDeadlineMs : confirmDeadlineMs);
    confirmRound();
}

void OnvifApplyJob::confirmRound()
{
    if (done)
        return;
    delete search;
    search = new OnvifSearch(this);
    search->setBindAddress(bindAddress);
    search->setWindowMs(confirmWindowMs);
    connect(search, &OnvifSearch::deviceFound, this, [this]() {
        const QList<OnvifSearch::Device> devices = search->devices();
        if (devices.isEmpty() || devices.last().endpoint != endpoint)
            return;
        const OnvifSearch::Device &found = devices.last();
        lastSeenAt = found.address.toString();
        if (settings.dhcp) {
            if (found.serviceUrl.isEmpty())
                return;
            // The URL first: the search's end then starts no further round.
            confirmDhcp(QUrl(found.serviceUrl));
            search->stop();
        } else if (found.address == QHostAddress(settings.ip)) {
            result.confirmedIp = lastSeenAt;
            finish(Status::Ok);
        }
    });
    connect(search, &OnvifSearch::finished, this, &OnvifApplyJob::confirmSearchDone);
    search->start();
}

void OnvifApplyJob::confirmSearchDone()
{
    // A DHCP confirmation reads the interface; the deadline still runs.
    if (done || client.serviceUrl() != serviceUrl)
        return;
    QTimer::singleShot(ConfirmPauseMs, this, &OnvifApplyJob::confirmRound);
}

void OnvifApplyJob::confirmDhcp(const QUrl &foundUrl)
{
    client.setServiceUrl(foundUrl);
    const OnvifSoap::Token token = client.token();
    client.post(Call::GetNetworkInterfaces, OnvifDeviceProtocol::request(Call::GetNetworkInterfaces, &token),
                [this, foundUrl](const OnvifDeviceClient::Reply &reply) {
                    const auto answer = OnvifDeviceProtocol::parseNetworkInterfaces(reply.body);
                    QString error;
                    const OnvifInfoJob::Status status =
                        OnvifInfoJob::classify(Call::GetNetworkInterfaces, reply, answer.outcome, &error);
                    const int index = answer.indexFor(foundUrl.host());
                    if (status == OnvifInfoJob::Status::Ok && index >= 0 && answer.interfaces.at(index).dhcp) {
                        result.confirmedIp = foundUrl.host();
                        finish(Status::Ok);
                        return;
                    }
                    finish(status == OnvifInfoJob::Status::Ok ? Status::NotConfirmed : fromInfoStatus(status),
                           status == OnvifInfoJob::Status::Ok
                               ? QStringLiteral("the camera accepted DHCP but still reports a static address")
                               : error);
                });
}

void OnvifApplyJob::finish(Status status, const QString &error)
{
    if (done)
        return;
    done = true;
    confirmDeadline.stop();
    client.cancel();
    if (search) {
        disconnect(search, nullptr, this, nullptr);
        search->stop();
        search->deleteLater();
        search = nullptr;
    }
    result.status = status;
    result.error = error;
    appLog(LogSystem::LogMajorMsg, "ONVIF settings for %s: %s%s%s", qPrintable(serviceUrl.host()),
           qPrintable(statusText(status)), error.isEmpty() ? "" : ", ", qPrintable(error));
    emit finished(result);
}
