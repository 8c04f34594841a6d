#include "webanalytic.h"

#include "jsonkeyguard.h"
#include "jsontextwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString keyCmdType = QStringLiteral("cmd_type");
const QString keyPayload = QStringLiteral("payload");
const QString keyName = QStringLiteral("name");
const QString keyParams = QStringLiteral("params");
const QString typeControl = QStringLiteral("Control");
const QString typeMessage = QStringLiteral("Message");

} // namespace

WebAnalytic::WebAnalytic(QObject *parent)
    : QObject(parent)
{
}

void WebAnalytic::parseWebCommand(const QString &text)
{
    const Command command = readCommand(text);
    switch (command.kind) {
    case Command::UpdateDeviceList:
        emit UpdateDeviceList();
        break;
    case Command::SetPower:
        emit setDevicePowerStatus(command.ip, command.mac, command.status);
        break;
    case Command::CheckVersion:
        emit checkVersion();
        break;
    case Command::Status:
        emit checkViscaStatus();
        break;
    case Command::None:
        break;
    }
}

WebAnalytic::Command WebAnalytic::readCommand(const QString &text)
{
    // The page writes its commands without parameters with JSON.stringify,
    // so each always arrives as the same text. Known by sight, they skip the
    // parse below, which gives them the same meaning; any other text,
    // spaced or reordered ones included, takes the full way.
    struct FixedCommand {
        QLatin1String text;
        Command::Kind kind;
    };
    static const FixedCommand fixedCommands[] = {
        {QLatin1String(R"({"cmd_type":"Message","payload":{"name":"Status"}})"), Command::Status},
        {QLatin1String(R"({"cmd_type":"Control","payload":{"name":"UpdateDeviceList"}})"), Command::UpdateDeviceList},
        {QLatin1String(R"({"cmd_type":"Control","payload":{"name":"CheckVersion"}})"), Command::CheckVersion},
    };
    Command command;
    for (const FixedCommand &fixed : fixedCommands) {
        if (text == fixed.text) {
            command.kind = fixed.kind;
            return command;
        }
    }

    // The page's texts are plain ASCII; a zero byte ends a command, as it
    // would in the C string the page's text once was.
    QByteArray bytes = text.toLocal8Bit();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (JsonKeyGuard::check(bytes) != JsonKeyGuard::Verdict::Accepted)
        return command;
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();

    const QString cmdType = root.value(keyCmdType).toString();
    const QJsonObject payload = root.value(keyPayload).toObject();
    const QString name = payload.value(keyName).toString();

    if (cmdType == typeControl) {
        if (name == QLatin1String("UpdateDeviceList")) {
            command.kind = Command::UpdateDeviceList;
        } else if (name == QLatin1String("SetPower")) {
            const QJsonObject params = payload.value(keyParams).toObject();
            command.kind = Command::SetPower;
            command.ip = params.value(QStringLiteral("Ip")).toString();
            command.mac = params.value(QStringLiteral("Mac")).toString();
            // Only a string holds the status: a JSON number, a missing key or
            // text that is no number all mean 0.
            bool ok = false;
            command.status = params.value(QStringLiteral("Status")).toString().toInt(&ok, 10);
            if (!ok)
                command.status = 0;
        } else if (name == QLatin1String("CheckVersion")) {
            command.kind = Command::CheckVersion;
        }
    } else if (cmdType == typeMessage) {
        if (name == QLatin1String("Status"))
            command.kind = Command::Status;
    }
    return command;
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
    case ViscaControlTimeout: return QStringLiteral("Visca_Control_Timeout");
    case WolSendCompleted: return QStringLiteral("WOL_Send_Completed");
    default: return QString();
    }
}

QString WebAnalytic::messageText(const QString &cmdType, const QString &name, const QJsonValue &params)
{
    // {"cmd_type":..,"payload":{"name":..,"params":..,"result":"Success"}}, the
    // keys in the order a JSON object keeps them, written without building
    // the objects first.
    QString text;
    text.reserve(128);
    text += QLatin1String("{\"cmd_type\":");
    JsonTextWriter::appendString(text, cmdType);
    text += QLatin1String(",\"payload\":{\"name\":");
    JsonTextWriter::appendString(text, name);
    // An undefined value is no member at all, as an insert into an object
    // would have it.
    if (!params.isUndefined()) {
        text += QLatin1String(",\"params\":");
        JsonTextWriter::appendValue(text, params);
    }
    text += QLatin1String(",\"result\":\"Success\"}}");
    return text;
}
