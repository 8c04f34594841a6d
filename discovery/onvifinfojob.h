#ifndef ONVIFINFOJOB_H
#define ONVIFINFOJOB_H

#include "devicerecord.h"
#include "onvifdeviceclient.h"
#include "onvifdeviceprotocol.h"

#include <QJsonObject>
#include <QMetaType>
#include <QObject>
#include <QUrl>

// Reads an ONVIF camera with the user's credentials: its clock first
// (GetSystemDateAndTime needs no login, and every token after it is made at
// the camera's time), then GetDeviceInformation, GetNetworkInterfaces,
// GetNetworkDefaultGateway and GetDNS. Ends with one finished(result).
class OnvifInfoJob : public QObject
{
    Q_OBJECT

public:
    enum class Status {
        Ok,
        Unauthorized,   // the camera refused the login
        Unreachable,    // no answer, or no connection
        Failed          // an answer that is a fault or not usable
    };
    static QString statusText(Status status);   // "Ok", "Unauthorized", ...

    struct Result
    {
        Status status = Status::Failed;
        QString error;                   // what went wrong, for a person
        OnvifDeviceProtocol::Call failedCall = OnvifDeviceProtocol::Call::Unknown;
        qint64 clockOffsetMs = 0;        // camera UTC - local UTC
        bool clockFromLocalTime = false;
        OnvifDeviceProtocol::DeviceInformation information;
        OnvifDeviceProtocol::NetworkInterface networkInterface;   // the one that carries the address
        QStringList gateways;
        OnvifDeviceProtocol::Dns dns;

        // The camera as a table row (searchType Onvif); name is the model's
        // as the device calls have none.
        DeviceRecord record() const;
        QJsonObject toJson() const;
    };

    // How one call went: Ok to go on, else why not (in *error). outcome is
    // the parsed answer's, when the reply was answered at all.
    static Status classify(OnvifDeviceProtocol::Call call, const OnvifDeviceClient::Reply &reply,
                           const OnvifSoap::Outcome &outcome, QString *error);

    OnvifInfoJob(const QUrl &serviceUrl, const OnvifSoap::Credentials &credentials, QObject *parent = nullptr);

    // Starts the calls; finished() comes later, once.
    void start();

signals:
    void finished(const OnvifInfoJob::Result &result);

private:
    Q_DISABLE_COPY(OnvifInfoJob)

    using Call = OnvifDeviceProtocol::Call;
    void next(Call call);
    // Fails the job unless the call went well; true to go on.
    bool accept(Call call, const OnvifDeviceClient::Reply &reply, const OnvifSoap::Outcome &outcome);
    void finish(Status status, const QString &error = QString());

    OnvifDeviceClient client;
    Result result;
    bool done = false;
};

Q_DECLARE_METATYPE(OnvifInfoJob::Result)

#endif // ONVIFINFOJOB_H
