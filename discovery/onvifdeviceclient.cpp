#include "onvifdeviceclient.h"

#include <QAuthenticator>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

OnvifDeviceClient::OnvifDeviceClient(const QUrl &serviceUrl, const OnvifSoap::Credentials &credentials, QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , url(serviceUrl)
    , credentials(credentials)
{
    // The camera is asked where it answered from: a proxy from the
    // environment would carry the call (and the login) to another host.
    manager->setProxy(QNetworkProxy::NoProxy);
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(manager, &QNetworkAccessManager::authenticationRequired, this,
            [this](QNetworkReply *reply, QAuthenticator *authenticator) {
                // Once per call: asked again means the credentials were refused.
                if (reply != running || authenticationGiven)
                    return;
                authenticationGiven = true;
                authenticator->setUser(this->credentials.user);
                authenticator->setPassword(this->credentials.password);
            });
}

OnvifDeviceClient::~OnvifDeviceClient()
{
    cancel();
}

OnvifSoap::Token OnvifDeviceClient::token() const
{
    const QDateTime cameraNow = QDateTime::currentDateTimeUtc().addMSecs(offset);
    return OnvifSoap::makeToken(credentials, cameraNow, OnvifSoap::randomNonce());
}

void OnvifDeviceClient::post(OnvifDeviceProtocol::Call call, const QByteArray &envelope, Done done)
{
    cancel();
    pending = std::move(done);
    authenticationGiven = false;

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/soap+xml; charset=utf-8; action=\"%1\"")
                          .arg(OnvifDeviceProtocol::action(call)));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *const reply = manager->post(request, envelope);
    running = reply;
    // The transfer pauses once one byte past the cap waits unread.
    reply->setReadBufferSize(OnvifSoap::MaxAnswerSize + 1);

    auto checkSize = [this, reply](qint64 received, qint64 total) {
        if (reply != running)
            return;
        if (received > OnvifSoap::MaxAnswerSize || total > OnvifSoap::MaxAnswerSize
            || reply->bytesAvailable() > OnvifSoap::MaxAnswerSize)
            finishReply(Reply::TooLarge, QStringLiteral("the answer is larger than %1 bytes").arg(OnvifSoap::MaxAnswerSize));
    };
    connect(reply, &QNetworkReply::downloadProgress, this, checkSize);
    connect(reply, &QNetworkReply::readyRead, this, [checkSize]() { checkSize(0, 0); });
    connect(reply, &QNetworkReply::finished, this, [this, reply]() {
        if (reply != running)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 401 || reply->error() == QNetworkReply::AuthenticationRequiredError) {
            finishReply(Reply::HttpUnauthorized, QStringLiteral("HTTP authentication refused"));
            return;
        }
        // A SOAP fault comes with HTTP 400 or 500: its body is the answer.
        if (status == 0) {
            finishReply(Reply::NetworkError, reply->errorString());
            return;
        }
        finishReply(Reply::Answered, QString());
    });
    // One deadline for the whole call: a camera that sends a byte now and
    // then would never trip a time-out that counts silence only.
    // A coarse timer may fire 5 % early; a camera gets its whole deadline.
    QTimer::singleShot(CallDeadlineMs, Qt::PreciseTimer, reply, [this, reply]() {
        if (reply == running && !reply->isFinished())
            finishReply(Reply::Timeout, QStringLiteral("no answer within %1 ms").arg(CallDeadlineMs));
    });
}

void OnvifDeviceClient::finishReply(Reply::Kind kind, const QString &detail)
{
    QNetworkReply *const reply = running;
    if (!reply)
        return;
    Reply result;
    result.kind = kind;
    result.detail = detail;
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (kind == Reply::Answered) {
        result.body = reply->read(OnvifSoap::MaxAnswerSize + 1);
        if (result.body.size() > OnvifSoap::MaxAnswerSize) {
            result.kind = Reply::TooLarge;
            result.body.clear();
            result.detail = QStringLiteral("the answer is larger than %1 bytes").arg(OnvifSoap::MaxAnswerSize);
        }
    }
    running = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    if (!reply->isFinished())
        reply->abort();
    reply->deleteLater();
    Done done = std::move(pending);
    pending = nullptr;
    // Later, from the event loop: done may start the next call or end the job.
    QMetaObject::invokeMethod(this, [done, result]() {
        if (done)
            done(result);
    }, Qt::QueuedConnection);
}

void OnvifDeviceClient::cancel()
{
    QNetworkReply *const reply = running;
    pending = nullptr;
    if (!reply)
        return;
    running = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}
