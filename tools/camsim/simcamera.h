#ifndef SIMCAMERA_H
#define SIMCAMERA_H

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

private:
    void deriveAddressDefaults();

    bool m_gatewayGiven = false;
    bool m_dns1Given = false;
    QByteArray m_shortReply;
    QByteArray m_longReply;
};

#endif // SIMCAMERA_H
