#include "onvifinfojob.h"

#include <QDateTime>
#include <QJsonArray>

QString OnvifInfoJob::statusText(Status status)
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("Ok");
    case Status::Unauthorized:
        return QStringLiteral("Unauthorized");
    case Status::Unreachable:
        return QStringLiteral("Unreachable");
    case Status::Failed:
        break;
    }
    return QStringLiteral("Failed");
}

OnvifInfoJob::Status OnvifInfoJob::classify(OnvifDeviceProtocol::Call call, const OnvifDeviceClient::Reply &reply,
                                            const OnvifSoap::Outcome &outcome, QString *error)
{
    const QString name = OnvifDeviceProtocol::callName(call);
    switch (reply.kind) {
    case OnvifDeviceClient::Reply::HttpUnauthorized:
        *error = QStringLiteral("%1: the camera refused the user ID or password").arg(name);
        return Status::Unauthorized;
    case OnvifDeviceClient::Reply::Timeout:
    case OnvifDeviceClient::Reply::NetworkError:
        *error = QStringLiteral("%1: %2").arg(name, reply.detail);
        return Status::Unreachable;
    case OnvifDeviceClient::Reply::TooLarge:
        *error = QStringLiteral("%1: %2").arg(name, reply.detail);
        return Status::Failed;
    case OnvifDeviceClient::Reply::Answered:
        break;
    }
    switch (outcome.kind) {
    case OnvifSoap::Outcome::Ok:
        return Status::Ok;
    case OnvifSoap::Outcome::Unauthorized:
        *error = QStringLiteral("%1: the camera refused the user ID or password (%2)").arg(name, outcome.detail);
        return Status::Unauthorized;
    case OnvifSoap::Outcome::Fault:
        *error = QStringLiteral("%1: the camera answered with a fault: %2").arg(name, outcome.detail);
        return Status::Failed;
    case OnvifSoap::Outcome::Malformed:
        break;
    }
    *error = QStringLiteral("%1: %2 (HTTP %3)").arg(name, outcome.detail).arg(reply.httpStatus);
    return Status::Failed;
}

OnvifInfoJob::OnvifInfoJob(const QUrl &serviceUrl, const OnvifSoap::Credentials &credentials, QObject *parent)
    : QObject(parent)
    , client(serviceUrl, credentials)
{
}

void OnvifInfoJob::start()
{
    result = Result();
    done = false;
    next(Call::GetSystemDateAndTime);
}

void OnvifInfoJob::next(Call call)
{
    const OnvifSoap::Token token = client.token();
    const QByteArray request = OnvifDeviceProtocol::request(call, &token);
    client.post(call, request, [this, call](const OnvifDeviceClient::Reply &reply) {
        switch (call) {
        case Call::GetSystemDateAndTime: {
            const auto answer = OnvifDeviceProtocol::parseSystemDateAndTime(reply.body);
            if (!accept(call, reply, answer.outcome))
                return;
            result.clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(answer.utc);
            result.clockFromLocalTime = answer.fromLocalTime;
            client.setClockOffsetMs(result.clockOffsetMs);
            next(Call::GetDeviceInformation);
            return;
        }
        case Call::GetDeviceInformation:
            result.information = OnvifDeviceProtocol::parseDeviceInformation(reply.body);
            if (accept(call, reply, result.information.outcome))
                next(Call::GetNetworkInterfaces);
            return;
        case Call::GetNetworkInterfaces: {
            const auto answer = OnvifDeviceProtocol::parseNetworkInterfaces(reply.body);
            if (!accept(call, reply, answer.outcome))
                return;
            result.networkInterface = answer.interfaces.at(answer.indexFor(client.serviceUrl().host()));
            next(Call::GetNetworkDefaultGateway);
            return;
        }
        case Call::GetNetworkDefaultGateway: {
            const auto answer = OnvifDeviceProtocol::parseNetworkDefaultGateway(reply.body);
            if (!accept(call, reply, answer.outcome))
                return;
            result.gateways = answer.ipv4;
            next(Call::GetDNS);
            return;
        }
        case Call::GetDNS:
            result.dns = OnvifDeviceProtocol::parseDns(reply.body);
            if (accept(call, reply, result.dns.outcome))
                finish(Status::Ok);
            return;
        default:
            return;
        }
    });
}

bool OnvifInfoJob::accept(Call call, const OnvifDeviceClient::Reply &reply, const OnvifSoap::Outcome &outcome)
{
    QString error;
    const Status status = classify(call, reply, outcome, &error);
    if (status == Status::Ok)
        return true;
    result.failedCall = call;
    finish(status, error);
    return false;
}

void OnvifInfoJob::finish(Status status, const QString &error)
{
    if (done)
        return;
    done = true;
    result.status = status;
    result.error = error;
    emit finished(result);
}

DeviceRecord OnvifInfoJob::Result::record() const
{
    DeviceRecord record;
    record.searchType = DeviceRecord::Onvif;
    record.model = information.model;
    record.name = information.model;
    record.serialNo = information.serialNumber;
    record.fwVersion = information.firmwareVersion;
    record.ip = networkInterface.address();
    record.mac = networkInterface.hwAddress.toLower().replace(QLatin1Char('-'), QLatin1Char(':'));
    record.dhcp = networkInterface.dhcp;
    record.mask = OnvifDeviceProtocol::maskFromPrefix(networkInterface.prefixLength());
    record.gateway = gateways.value(0);
    const QStringList servers = dns.inUse();
    record.dns1 = servers.value(0);
    record.dns2 = servers.value(1);
    return record;
}

QJsonObject OnvifInfoJob::Result::toJson() const
{
    const DeviceRecord row = record();
    return {{QStringLiteral("result"), statusText(status)},
            {QStringLiteral("error"), error},
            {QStringLiteral("manufacturer"), information.manufacturer},
            {QStringLiteral("model"), information.model},
            {QStringLiteral("firmware"), information.firmwareVersion},
            {QStringLiteral("serial"), information.serialNumber},
            {QStringLiteral("hardwareId"), information.hardwareId},
            {QStringLiteral("mac"), row.mac},
            {QStringLiteral("interface"), networkInterface.token},
            {QStringLiteral("dhcp"), row.dhcp},
            {QStringLiteral("ip"), row.ip},
            {QStringLiteral("prefixLength"), networkInterface.prefixLength()},
            {QStringLiteral("mask"), row.mask},
            {QStringLiteral("gateway"), row.gateway},
            {QStringLiteral("dnsFromDhcp"), dns.fromDhcp},
            {QStringLiteral("dns1"), row.dns1},
            {QStringLiteral("dns2"), row.dns2},
            {QStringLiteral("clockOffsetSeconds"), double(clockOffsetMs / 1000)}};
}
