#include "webanalytic.h"

#include "jsonkeyguard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString keyCmdType = QStringLiteral("cmd_type");
const QString keyPayload = QStringLiteral("payload");
const QString keyName = QStringLiteral("name");
const QString keyParams = QStringLiteral("params");
const QString keyResult = QStringLiteral("result");
const QString typeControl = QStringLiteral("Control");
const QString typeMessage = QStringLiteral("Message");

} // namespace

WebAnalytic::WebAnalytic(QObject *parent)
    : QObject(parent)
{
}

void WebAnalytic::parseWebCommand(const QString &text)
{
    // The page's texts are plain ASCII; a zero byte ends a command, as it
    // would in the C string the page's text once was.
    QByteArray bytes = text.toLocal8Bit();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (JsonKeyGuard::check(bytes) != JsonKeyGuard::Verdict::Accepted)
        return;
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();

    const QString cmdType = root.value(keyCmdType).toString();
    const QJsonObject payload = root.value(keyPayload).toObject();
    const QString name = payload.value(keyName).toString();

    if (cmdType == typeControl) {
        if (name == QLatin1String("UpdateDeviceList")) {
            emit UpdateDeviceList();
        } else if (name == QLatin1String("SetPower")) {
            const QJsonObject params = payload.value(keyParams).toObject();
            const QString ip = params.value(QStringLiteral("Ip")).toString();
            const QString mac = params.value(QStringLiteral("Mac")).toString();
            // Only a string holds the status: a JSON number, a missing key or
            // text that is no number all mean 0.
            bool ok = false;
            int status = params.value(QStringLiteral("Status")).toString().toInt(&ok, 10);
            if (!ok)
                status = 0;
            emit setDevicePowerStatus(ip, mac, status);
        } else if (name == QLatin1String("CheckVersion")) {
            emit checkVersion();
        }
    } else if (cmdType == typeMessage) {
        if (name == QLatin1String("Status"))
            emit checkViscaStatus();
    }
}

void WebAnalytic::replyDeviceList(const QList<DeviceRecord> &deviceList)
{
    QJsonArray devices;
    for (const DeviceRecord &device : deviceList) {
        QJsonObject entry;
        entry.insert(QStringLiteral("SearchType"), QString::number(device.searchType));
        entry.insert(QStringLiteral("Name"), device.name);
        entry.insert(QStringLiteral("Model"), device.model);
        entry.insert(QStringLiteral("SerialNo"), device.serialNo);
        entry.insert(QStringLiteral("ipAddress"), device.ip);
        entry.insert(QStringLiteral("macAddress"), device.mac);
        entry.insert(QStringLiteral("fwVersion"), device.fwVersion);
        devices.append(entry);
    }
    emit sendText(messageText(typeControl, QStringLiteral("UpdateDeviceList"), devices));
}

void WebAnalytic::replyCheckVersion(bool needUpdate, const QString &version)
{
    QJsonObject params;
    if (needUpdate) {
        params.insert(QStringLiteral("Status"), QStringLiteral("Is_need_update"));
        params.insert(QStringLiteral("Version"), version);
    } else {
        params.insert(QStringLiteral("Status"), QStringLiteral("Is_not_need_update"));
        params.insert(QStringLiteral("Version"), QString(QLatin1String("")));
    }
    emit sendText(messageText(typeControl, QStringLiteral("CheckVersion"), params));
}

void WebAnalytic::sendErrorMessage(int code)
{
    QJsonObject params;
    const QString word = errorWord(code);
    if (!word.isEmpty())
        params.insert(QStringLiteral("Msg"), word);
    emit sendText(messageText(typeMessage, QStringLiteral("ErrorMsg"), params));
}

void WebAnalytic::sendStatusMessage(int code)
{
    QJsonObject params;
    const QString word = statusWord(code);
    if (!word.isEmpty())
        params.insert(QStringLiteral("Status"), word);
    emit sendText(messageText(typeMessage, QStringLiteral("Status"), params));
}

QString WebAnalytic::errorWord(int code)
{
    switch (code) {
    case UdpSocketBindFail: return QStringLiteral("UdpScoket_Bind_Fail");
    case NotSupportPowerOff: return QStringLiteral("Not_Support_Power_Off");
    case WolPowerAlreadyOn: return QStringLiteral("WOL_Power_Already_On");
    case DownloadCfgFail: return QStringLiteral("Download_cfg_Fail");
    case DownloadZipFail: return QStringLiteral("Download_zip_Fail");
    default: return QString();
    }
}

QString WebAnalytic::statusWord(int code)
{
    switch (code) {
    case ViscaBindSuccess: return QStringLiteral("Visca_Bind_Success");
    case ViscaSendCmdCompleted: return QStringLiteral("Visca_Send_Cmd_Completed");
    default: return QString();
    }
}

QString WebAnalytic::messageText(const QString &cmdType, const QString &name, const QJsonValue &params)
{
    QJsonObject payload;
    payload.insert(keyName, name);
    payload.insert(keyResult, QStringLiteral("Success"));
    payload.insert(keyParams, params);
    QJsonObject root;
    root.insert(keyCmdType, cmdType);
    root.insert(keyPayload, payload);
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}
