#ifndef ONVIFAPPLYJOB_H
#define ONVIFAPPLYJOB_H

#include "devicerecord.h"
#include "onvifdeviceclient.h"
#include "onvifinfojob.h"

#include <QHostAddress>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class OnvifSearch;

// Writes IPv4 settings to an ONVIF camera and confirms them, as `set` does
// for the maker's cameras: reads the camera first (clock, interface token),
// writes DNS, the default gateway and then the interface (the last write,
// since the camera may move at once), reboots it when it says a reboot is
// needed, and then searches until the same endpoint answers at the new
// address. A camera that accepted the write but still answers at its old
// address when the time is up is NotConfirmed.
class OnvifApplyJob : public QObject
{
    Q_OBJECT

public:
    // How long the confirming searches may take in all, and one search's window.
    static constexpr int ConfirmDeadlineMs = 20000;
    static constexpr int RebootConfirmDeadlineMs = 120000;
    static constexpr int ConfirmWindowMs = 3000;

    enum class Status {
        Ok,
        Unauthorized,
        Unreachable,
        Failed,
        NotConfirmed    // accepted, but the camera does not show the new settings
    };
    static QString statusText(Status status);

    struct Settings
    {
        bool dhcp = false;
        QString ip;
        QString mask;
        QString gateway;   // "" or 0.0.0.0: none
        QString dns1;
        QString dns2;
    };

    struct Result
    {
        Status status = Status::Failed;
        QString error;
        OnvifDeviceProtocol::Call failedCall = OnvifDeviceProtocol::Call::Unknown;
        bool rebooted = false;
        QString confirmedIp;      // where the endpoint answered afterwards
    };

    // endpoint: the camera's WS-Discovery endpoint address, which the
    // confirming search looks for.
    OnvifApplyJob(const QUrl &serviceUrl, const QString &endpoint, const OnvifSoap::Credentials &credentials,
                  const Settings &settings, QObject *parent = nullptr);
    ~OnvifApplyJob() override;

    // The confirming searches' adapter ("" all) and times (tests shorten them).
    void setSearchBindAddress(const QString &adapterIp) { bindAddress = adapterIp; }
    void setConfirmDeadlineMs(int ms) { confirmDeadlineMs = ms; }
    void setRebootConfirmDeadlineMs(int ms) { rebootDeadlineMs = ms; }
    void setConfirmWindowMs(int ms) { confirmWindowMs = ms; }

    // A settings text that cannot be written (no address, a mask with holes)
    // is refused here, before anything is sent: "" when usable.
    static QString check(const Settings &settings);

    void start();

signals:
    void finished(const OnvifApplyJob::Result &result);

private:
    Q_DISABLE_COPY(OnvifApplyJob)

    using Call = OnvifDeviceProtocol::Call;
    void infoRead(const OnvifInfoJob::Result &info);
    void write(Call call);
    void written(Call call, const OnvifDeviceClient::Reply &reply);
    void startConfirm();
    void confirmRound();
    void confirmSearchDone();
    void confirmDhcp(const QUrl &serviceUrl);
    void finish(Status status, const QString &error = QString());

    const QUrl serviceUrl;
    const QString endpoint;
    const OnvifSoap::Credentials credentials;
    const Settings settings;
    OnvifDeviceClient client;
    QPointer<OnvifInfoJob> info;
    QPointer<OnvifSearch> search;
    QString interfaceToken;
    QString bindAddress;
    int confirmDeadlineMs = ConfirmDeadlineMs;
    int rebootDeadlineMs = RebootConfirmDeadlineMs;
    int confirmWindowMs = ConfirmWindowMs;
    QTimer confirmDeadline;
    QString lastSeenAt;
    Result result;
    bool done = false;
};

Q_DECLARE_METATYPE(OnvifApplyJob::Result)

#endif // ONVIFAPPLYJOB_H
