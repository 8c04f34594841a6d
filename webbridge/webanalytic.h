#ifndef WEBANALYTIC_H
#define WEBANALYTIC_H

#include "devicerecord.h"

#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>

// The program's end of the JSON commands of the local web page. A command
// text becomes one signal; the main window answers through the four reply
// builders, each of which emits one finished text through sendText.
class WebAnalytic : public QObject
{
    Q_OBJECT

public:
    // The integers the main window passes to sendErrorMessage and
    // sendStatusMessage.
    enum WebMessageCode {
        UdpSocketBindFail = 1,
        NotSupportPowerOff = 2,
        WolPowerAlreadyOn = 3,
        ViscaBindSuccess = 4,
        ViscaSendCmdCompleted = 5,
        DownloadCfgFail = 6,
        DownloadZipFail = 7,
        // Statuses of a power-on that fell back to Wake-on-LAN; a page that
        // knows neither word may ignore them.
        ViscaControlTimeout = 8,
        WolSendCompleted = 9
    };

    // One of the four commands, as read from a text of the page.
    struct Command
    {
        enum Kind { None, UpdateDeviceList, SetPower, CheckVersion, Status };
        Kind kind = None;
        QString ip;       // SetPower only
        QString mac;
        int status = 0;
    };

    explicit WebAnalytic(QObject *parent = nullptr);

    // A text the page sent through "core". Anything that is not one of the
    // four commands is dropped without a word.
    void parseWebCommand(const QString &text);
    // What parseWebCommand() makes of text, without emitting anything.
    static Command readCommand(const QString &text);

    void replyDeviceList(const QList<DeviceRecord> &deviceList);
    void replyCheckVersion(bool needUpdate, const QString &version);
    void sendErrorMessage(int code);
    void sendStatusMessage(int code);

    // The word a code stands for in an "ErrorMsg" or a "Status" message;
    // empty when that kind of message has no word for the code.
    static QString errorWord(int code);
    static QString statusWord(int code);
    // One message as the page receives it: compact JSON text.
    static QString messageText(const QString &cmdType, const QString &name, const QJsonValue &params);

signals:
    void sendText(const QString &text);
    void UpdateDeviceList();
    void setDevicePowerStatus(const QString &ip, const QString &mac, int status);
    void checkViscaStatus();
    void checkVersion();

private:
    Q_DISABLE_COPY(WebAnalytic)
};

#endif // WEBANALYTIC_H
