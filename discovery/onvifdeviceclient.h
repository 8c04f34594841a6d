#ifndef ONVIFDEVICECLIENT_H
#define ONVIFDEVICECLIENT_H

#include "onvifdeviceprotocol.h"
#include "onvifsoap.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// Carries device calls to one camera's device service over HTTP (https
// where Qt has TLS): one POST per call, one call at a time, each cut off
// after CallDeadlineMs and past OnvifSoap::MaxAnswerSize bytes. No proxy and
// no redirect: the address is the one the camera answered from.
//
// Logins go as WS-UsernameToken made at the camera's time: the local clock
// plus the offset measured with GetSystemDateAndTime. A camera that asks
// for HTTP authentication instead gets the same credentials once.
class OnvifDeviceClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int CallDeadlineMs = 3000;

    struct Reply
    {
        enum Kind {
            Answered,           // HTTP answered (any status); body holds the answer
            HttpUnauthorized,   // HTTP authentication refused the credentials
            Timeout,
            TooLarge,
            NetworkError
        };
        Kind kind = NetworkError;
        int httpStatus = 0;
        QByteArray body;
        QString detail;
    };
    using Done = std::function<void(const Reply &)>;

    OnvifDeviceClient(const QUrl &serviceUrl, const OnvifSoap::Credentials &credentials, QObject *parent = nullptr);
    ~OnvifDeviceClient() override;

    QUrl serviceUrl() const { return url; }
    void setServiceUrl(const QUrl &serviceUrl) { url = serviceUrl; }

    // Camera UTC minus local UTC.
    void setClockOffsetMs(qint64 offsetMs) { offset = offsetMs; }
    qint64 clockOffsetMs() const { return offset; }
    // A fresh token at the camera's time now.
    OnvifSoap::Token token() const;

    // Posts envelope as call; done runs once, later, from the event loop.
    void post(OnvifDeviceProtocol::Call call, const QByteArray &envelope, Done done);
    // Drops the running call without calling its done.
    void cancel();

private:
    Q_DISABLE_COPY(OnvifDeviceClient)

    void finishReply(Reply::Kind kind, const QString &detail);

    QNetworkAccessManager *manager;
    QUrl url;
    const OnvifSoap::Credentials credentials;
    qint64 offset = 0;
    QPointer<QNetworkReply> running;
    Done pending;
    bool authenticationGiven = false;
};

#endif // ONVIFDEVICECLIENT_H
