#ifndef SIMCAMERA_H
#define SIMCAMERA_H

#include "ssdpprotocol.h"
#include "utilityprotocol.h"
#include "utilitysearchcaminfo.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVariantMap>

// One simulated camera: what it reports, how it answers and its power state.
class SimCamera
{
public:
    enum class ReplyForms { Short, Long, Both };   // Both: short to query A, long to query B
    enum class SendMode { Unicast, Broadcast };
    enum class Power { On, Standby, Silent };
    // What the camera is: a utility-search camera, a wireless document
    // camera (SSDP answer and HTTP description), a control box or another
    // maker's camera (WS-Discovery and the ONVIF device service).
    enum class Kind { Utility, DocCam, Box, Onvif };
    // How a document camera serves its description: normally, never
    // answering, or with a body far past any sane size.
    enum class Http { Ok, Stall, Huge };

    UtilitySearchCamInfo info;
    QString userId = QStringLiteral("admin");
    QString password = QStringLiteral("admin");
    ReplyForms replyForms = ReplyForms::Short;
    SendMode sendMode = SendMode::Unicast;
    Power power = Power::Standby;
    bool answersQueryA = true;
    bool answersQueryB = true;
    // Fleet cameras share the namespace's own address instead of owning theirs.
    bool ownsAddress = true;
    // Queries still to be ignored, as if lost on the way (lose=).
    int queriesToLose = 0;

    Kind kind = Kind::Utility;
    // Document camera: the description's modelDescription fields as sent
    // (empty: derived from name, mac, ip) and its optional elements (null:
    // left out).
    QString encodedName;
    QString macField;
    QString numberField = QStringLiteral("1");
    QString addressField;
    QString hexTextField;
    QString bssidField = QStringLiteral("02-00-00-00-00-01");
    QString textField;
    QString udn;
    QString passcode;
    QString major;
    QString minor;
    QString ispState;
    QString location;       // empty: http://<ip>:<httpport>/description.xml
    quint16 httpPort = 49152;
    Http http = Http::Ok;
    QString nts;            // empty: no NTS header
    int maxAge = 1800;      // < 0: no CACHE-CONTROL header
    // Control box: the "MAC:" text as sent (empty: mac in upper case), the
    // "Type:" text (null: no Type line) and the port it answers to.
    QString boxMac;
    QString boxType;
    quint16 boxPort = SsdpProtocol::BoxPort;

    // ONVIF camera: its clock's offset from the namespace's, its device
    // service port, its endpoint UUID (empty: from the MAC), what it does
    // with a new address (take it, or report success and keep the old one),
    // whether it needs a reboot to take it, how many Probes it misses before
    // it answers, its location scope and an XAddr to announce instead of
    // its own.
    enum class OnvifApply { Take, Ignore };
    qint64 onvifClockSeconds = 0;
    quint16 onvifPort = 80;
    QString onvifUuid;
    OnvifApply onvifApply = OnvifApply::Take;
    bool onvifReboot = false;
    int onvifSkipProbes = 0;
    QString onvifLocation;
    QString onvifXAddr;
    // "urn:uuid:..." of this camera.
    QString onvifEndpoint() const;
    // "+5h", "-30m", "90s", "-3600": seconds, or false.
    static bool parseClockOffset(const QString &text, qint64 *seconds);

    // A camera with generated identity number index (1-based): distinct MAC,
    // name and serial number, and the position-th address counted up from
    // baseIp (1: baseIp itself).
    static SimCamera generated(int index, const QString &baseIp, int position);

    // Applies "key=value" settings (keys as in --help); false with *error on
    // an unknown key or a bad value. A gateway or first DNS server never
    // given follows the camera's address: the first address of its subnet.
    bool apply(const QVariantMap &settings, QString *error);

    // The first host address of ip's subnet under mask (A.B.C.1 for a /24).
    // The prefix is the mask's leading one bits, as on the interface; /31,
    // /32 and 0.0.0.0 have no first host and fall back to the /24.
    static QString firstAddressOfSubnet(const QString &ip, const QString &mask);

    // The reply this camera sends to a query; empty when it ignores the query.
    QByteArray replyTo(UtilityProtocol::RecordKind query) const;
    QByteArray settingsAnswer() const;   // after a change: the reply of its usual form

    void refreshReplies();   // after info changed

    static QString powerText(Power power);
    QString replyFormsText() const;
    QString sendModeText() const;
    QString queriesText() const;
    QJsonObject toJson() const;   // every camera key with its value

    // What a document camera or a control box sends.
    QString ssdpLocation() const;
    QByteArray ssdpAnswer(const QString &location) const;
    QByteArray description() const;
    QByteArray boxMessage() const;
    static QString kindText(Kind kind);
    static QString httpText(Http http);

private:
    void deriveAddressDefaults();

    bool m_gatewayGiven = false;
    bool m_dns1Given = false;
    QByteArray m_shortReply;
    QByteArray m_longReply;
};

#endif // SIMCAMERA_H
