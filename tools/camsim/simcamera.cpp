#include "simcamera.h"

#include "wsdiscoveryprotocol.h"

#include <QHostAddress>
#include <QRegularExpression>

SimCamera SimCamera::generated(int index, const QString &baseIp, int position)
{
    SimCamera camera;
    // Locally administered unicast MACs, so no real vendor's range is used.
    const quint32 n = static_cast<quint32>(index);
    camera.info.mac = QString::asprintf("02:50:4d:%02x:%02x:%02x", (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff);
    camera.info.model = QStringLiteral("SIM-CAM100");
    camera.info.fwVersion = QStringLiteral("1.0.0");
    camera.info.name = QString::asprintf("CAM-%05d", index);
    camera.info.serialNo = QString::asprintf("SN%08d", index);
    camera.info.ipv6 = QString::asprintf("2001:db8::%x", index);

    // Count up inside the base address's /24, skipping .0 and .255.
    const UtilityProtocol::Ipv4Bytes base = UtilityProtocol::ipv4FromText(baseIp);
    const int first = qBound(1, int(base[3]), 254);
    UtilityProtocol::Ipv4Bytes ip = base;
    ip[3] = static_cast<quint8>(1 + (first - 1 + qMax(position, 1) - 1) % 254);
    camera.info.ip = UtilityProtocol::ipv4ToText(ip);
    camera.info.mask = QStringLiteral("255.255.255.0");
    camera.deriveAddressDefaults();
    camera.info.dns2 = QStringLiteral("0.0.0.0");
    camera.info.dhcp = false;
    return camera;
}

QString SimCamera::firstAddressOfSubnet(const QString &ip, const QString &mask)
{
    const quint32 address = QHostAddress(ip).toIPv4Address();
    const quint32 maskBits = QHostAddress(mask).toIPv4Address();
    int prefix = 0;
    while (prefix < 32 && (maskBits & (0x80000000u >> prefix)))
        ++prefix;
    // A /31 or /32 has no first host and 0.0.0.0 no subnet: take the /24's
    // .1 as the default mask would.
    if (prefix == 0 || prefix > 30)
        prefix = 24;
    const quint32 network = address & (0xffffffffu << (32 - prefix));
    return QHostAddress(network + 1).toString();
}

void SimCamera::deriveAddressDefaults()
{
    const QString first = firstAddressOfSubnet(info.ip, info.mask);
    if (!m_gatewayGiven)
        info.gateway = first;
    if (!m_dns1Given)
        info.dns1 = first;
}

static bool parseBool(const QVariant &value, bool *out)
{
    if (value.type() == QVariant::Bool) {
        *out = value.toBool();
        return true;
    }
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("1") || text == QLatin1String("true") || text == QLatin1String("yes")) {
        *out = true;
        return true;
    }
    if (text == QLatin1String("0") || text == QLatin1String("false") || text == QLatin1String("no")) {
        *out = false;
        return true;
    }
    return false;
}

static bool isDottedIpv4(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol;
}

bool SimCamera::apply(const QVariantMap &settings, QString *error)
{
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        const QString key = it.key().trimmed().toLower();
        const QString text = it.value().toString();
        const QString lower = text.trimmed().toLower();
        auto fail = [&](const QString &why) {
            *error = QStringLiteral("%1=%2: %3").arg(key, text, why);
            return false;
        };
        if (key == QLatin1String("mac")) {
            UtilityProtocol::MacBytes bytes{};
            if (text.split(QLatin1Char(':')).size() != 6 || !UtilityProtocol::macFromText(text, &bytes))
                return fail(QStringLiteral("six hex bytes separated by ':' expected"));
            info.mac = UtilityProtocol::macToText(bytes);
        } else if (key == QLatin1String("model")) {
            info.model = text;
        } else if (key == QLatin1String("name")) {
            info.name = text;
        } else if (key == QLatin1String("fw") || key == QLatin1String("firmware")) {
            info.fwVersion = text;
        } else if (key == QLatin1String("ipv6")) {
            info.ipv6 = text;
        } else if (key == QLatin1String("serial")) {
            info.serialNo = text;
        } else if (key == QLatin1String("ip") || key == QLatin1String("mask") || key == QLatin1String("gateway")
                   || key == QLatin1String("dns1") || key == QLatin1String("dns2")) {
            if (!isDottedIpv4(text))
                return fail(QStringLiteral("dotted IPv4 address expected"));
            QString *field = key == QLatin1String("ip") ? &info.ip
                : key == QLatin1String("mask") ? &info.mask
                : key == QLatin1String("gateway") ? &info.gateway
                : key == QLatin1String("dns1") ? &info.dns1 : &info.dns2;
            *field = QHostAddress(text).toString();
            if (key == QLatin1String("gateway"))
                m_gatewayGiven = true;
            else if (key == QLatin1String("dns1"))
                m_dns1Given = true;
        } else if (key == QLatin1String("dhcp")) {
            if (!parseBool(it.value(), &info.dhcp))
                return fail(QStringLiteral("0 or 1 expected"));
        } else if (key == QLatin1String("user")) {
            userId = text;
        } else if (key == QLatin1String("password")) {
            password = text;
        } else if (key == QLatin1String("reply")) {
            if (lower == QLatin1String("short"))
                replyForms = ReplyForms::Short;
            else if (lower == QLatin1String("long"))
                replyForms = ReplyForms::Long;
            else if (lower == QLatin1String("both"))
                replyForms = ReplyForms::Both;
            else
                return fail(QStringLiteral("short, long or both expected"));
        } else if (key == QLatin1String("send")) {
            if (lower == QLatin1String("unicast"))
                sendMode = SendMode::Unicast;
            else if (lower == QLatin1String("broadcast"))
                sendMode = SendMode::Broadcast;
            else
                return fail(QStringLiteral("unicast or broadcast expected"));
        } else if (key == QLatin1String("power")) {
            if (lower == QLatin1String("on"))
                power = Power::On;
            else if (lower == QLatin1String("standby"))
                power = Power::Standby;
            else if (lower == QLatin1String("silent"))
                power = Power::Silent;
            else
                return fail(QStringLiteral("on, standby or silent expected"));
        } else if (key == QLatin1String("queries")) {
            if (lower.isEmpty() || lower.count(QLatin1Char('a')) + lower.count(QLatin1Char('b')) != lower.size())
                return fail(QStringLiteral("a, b or ab expected"));
            answersQueryA = lower.contains(QLatin1Char('a'));
            answersQueryB = lower.contains(QLatin1Char('b'));
        } else if (key == QLatin1String("kind")) {
            if (lower == QLatin1String("utility"))
                kind = Kind::Utility;
            else if (lower == QLatin1String("doccam"))
                kind = Kind::DocCam;
            else if (lower == QLatin1String("box"))
                kind = Kind::Box;
            else if (lower == QLatin1String("onvif"))
                kind = Kind::Onvif;
            else
                return fail(QStringLiteral("utility, doccam, box or onvif expected"));
        } else if (key == QLatin1String("encodedname")) {
            encodedName = text;
        } else if (key == QLatin1String("macfield")) {
            macField = text;
        } else if (key == QLatin1String("number")) {
            numberField = text;
        } else if (key == QLatin1String("address")) {
            addressField = text;
        } else if (key == QLatin1String("hextext")) {
            hexTextField = text;
        } else if (key == QLatin1String("bssid")) {
            bssidField = text;
        } else if (key == QLatin1String("text")) {
            textField = text;
        } else if (key == QLatin1String("udn")) {
            udn = text;
        } else if (key == QLatin1String("passcode")) {
            passcode = text.isNull() ? QStringLiteral("") : text;
        } else if (key == QLatin1String("major")) {
            major = text.isNull() ? QStringLiteral("") : text;
        } else if (key == QLatin1String("minor")) {
            minor = text.isNull() ? QStringLiteral("") : text;
        } else if (key == QLatin1String("isp")) {
            ispState = text.isNull() ? QStringLiteral("") : text;
        } else if (key == QLatin1String("location")) {
            location = text;
        } else if (key == QLatin1String("httpport") || key == QLatin1String("boxport")) {
            bool ok = false;
            const uint port = text.toUInt(&ok);
            if (!ok || port == 0 || port > 65535)
                return fail(QStringLiteral("a port from 1 to 65535 expected"));
            if (key == QLatin1String("httpport"))
                httpPort = quint16(port);
            else if (port == SsdpProtocol::BoxPort || port == SsdpProtocol::BoxAltPort)
                boxPort = quint16(port);
            else
                return fail(QStringLiteral("1988 or 1688 expected"));
        } else if (key == QLatin1String("http")) {
            if (lower == QLatin1String("ok"))
                http = Http::Ok;
            else if (lower == QLatin1String("stall"))
                http = Http::Stall;
            else if (lower == QLatin1String("huge"))
                http = Http::Huge;
            else
                return fail(QStringLiteral("ok, stall or huge expected"));
        } else if (key == QLatin1String("nts")) {
            nts = text;
        } else if (key == QLatin1String("maxage")) {
            bool ok = false;
            maxAge = text.toInt(&ok);
            if (!ok)
                return fail(QStringLiteral("a number expected (negative: no CACHE-CONTROL)"));
        } else if (key == QLatin1String("boxmac")) {
            boxMac = text;
        } else if (key == QLatin1String("boxtype")) {
            boxType = text.isNull() ? QStringLiteral("") : text;
        } else if (key == QLatin1String("onvif-clock")) {
            if (!parseClockOffset(text, &onvifClockSeconds))
                return fail(QStringLiteral("an offset such as +5h, -30m, 90s or -3600 expected"));
        } else if (key == QLatin1String("onvif-port")) {
            bool ok = false;
            const uint port = text.toUInt(&ok);
            if (!ok || port == 0 || port > 65535)
                return fail(QStringLiteral("a port from 1 to 65535 expected"));
            onvifPort = quint16(port);
        } else if (key == QLatin1String("onvif-uuid")) {
            if (WsDiscoveryProtocol::normalizedEndpoint(QStringLiteral("uuid:") + text).isEmpty())
                return fail(QStringLiteral("a UUID (8-4-4-4-12 hex digits) expected"));
            onvifUuid = text.toLower();
        } else if (key == QLatin1String("onvif-apply")) {
            if (lower == QLatin1String("take"))
                onvifApply = OnvifApply::Take;
            else if (lower == QLatin1String("ignore"))
                onvifApply = OnvifApply::Ignore;
            else
                return fail(QStringLiteral("take or ignore expected"));
        } else if (key == QLatin1String("onvif-reboot")) {
            if (!parseBool(it.value(), &onvifReboot))
                return fail(QStringLiteral("0 or 1 expected"));
        } else if (key == QLatin1String("onvif-skip")) {
            bool ok = false;
            onvifSkipProbes = text.toInt(&ok);
            if (!ok || onvifSkipProbes < 0 || onvifSkipProbes > 1000000)
                return fail(QStringLiteral("a count from 0 expected"));
        } else if (key == QLatin1String("onvif-location")) {
            onvifLocation = text;
        } else if (key == QLatin1String("onvif-xaddr")) {
            onvifXAddr = text;
        } else if (key == QLatin1String("lose")) {
            bool ok = false;
            queriesToLose = text.toInt(&ok);
            if (!ok || queriesToLose < 0)
                return fail(QStringLiteral("a count of queries from 0 expected"));
        } else if (key == QLatin1String("own")) {
            if (!parseBool(it.value(), &ownsAddress))
                return fail(QStringLiteral("0 or 1 expected"));
        } else {
            *error = QStringLiteral("unknown camera key \"%1\"").arg(key);
            return false;
        }
    }
    deriveAddressDefaults();
    refreshReplies();
    return true;
}

void SimCamera::refreshReplies()
{
    m_shortReply = UtilityProtocol::encodeReply(info, UtilityProtocol::ReplyForm::Short);
    m_longReply = UtilityProtocol::encodeReply(info, UtilityProtocol::ReplyForm::Long);
}

QByteArray SimCamera::replyTo(UtilityProtocol::RecordKind query) const
{
    if (query == UtilityProtocol::RecordKind::QueryA) {
        if (!answersQueryA)
            return QByteArray();
        return replyForms == ReplyForms::Long ? m_longReply : m_shortReply;
    }
    if (query == UtilityProtocol::RecordKind::QueryB) {
        if (!answersQueryB)
            return QByteArray();
        return replyForms == ReplyForms::Short ? m_shortReply : m_longReply;
    }
    return QByteArray();
}

QByteArray SimCamera::settingsAnswer() const
{
    return replyForms == ReplyForms::Short ? m_shortReply : m_longReply;
}

QString SimCamera::powerText(Power power)
{
    switch (power) {
    case Power::On:
        return QStringLiteral("on");
    case Power::Standby:
        return QStringLiteral("standby");
    case Power::Silent:
        break;
    }
    return QStringLiteral("silent");
}

QString SimCamera::replyFormsText() const
{
    switch (replyForms) {
    case ReplyForms::Short:
        return QStringLiteral("short");
    case ReplyForms::Long:
        return QStringLiteral("long");
    case ReplyForms::Both:
        break;
    }
    return QStringLiteral("both");
}

QString SimCamera::sendModeText() const
{
    return sendMode == SendMode::Unicast ? QStringLiteral("unicast") : QStringLiteral("broadcast");
}

QString SimCamera::queriesText() const
{
    return QString(answersQueryA ? QStringLiteral("a") : QString()) + (answersQueryB ? QStringLiteral("b") : QString());
}

QJsonObject SimCamera::toJson() const
{
    return {{QStringLiteral("mac"), info.mac},
            {QStringLiteral("model"), info.model},
            {QStringLiteral("name"), info.name},
            {QStringLiteral("fw"), info.fwVersion},
            {QStringLiteral("ipv6"), info.ipv6},
            {QStringLiteral("serial"), info.serialNo},
            {QStringLiteral("ip"), info.ip},
            {QStringLiteral("mask"), info.mask},
            {QStringLiteral("gateway"), info.gateway},
            {QStringLiteral("dns1"), info.dns1},
            {QStringLiteral("dns2"), info.dns2},
            {QStringLiteral("dhcp"), info.dhcp},
            {QStringLiteral("user"), userId},
            {QStringLiteral("password"), password},
            {QStringLiteral("reply"), replyFormsText()},
            {QStringLiteral("queries"), queriesText()},
            {QStringLiteral("send"), sendModeText()},
            {QStringLiteral("power"), powerText(power)},
            {QStringLiteral("own"), ownsAddress},
            {QStringLiteral("lose"), queriesToLose},
            {QStringLiteral("kind"), kindText(kind)},
            {QStringLiteral("onvif-clock"), double(onvifClockSeconds)},
            {QStringLiteral("onvif-port"), int(onvifPort)},
            {QStringLiteral("onvif-endpoint"), onvifEndpoint()},
            {QStringLiteral("onvif-apply"), onvifApply == OnvifApply::Take ? QStringLiteral("take") : QStringLiteral("ignore")},
            {QStringLiteral("onvif-reboot"), onvifReboot},
            {QStringLiteral("onvif-skip"), onvifSkipProbes}};
}

QString SimCamera::kindText(Kind kind)
{
    switch (kind) {
    case Kind::Utility:
        return QStringLiteral("utility");
    case Kind::DocCam:
        return QStringLiteral("doccam");
    case Kind::Box:
        return QStringLiteral("box");
    case Kind::Onvif:
        break;
    }
    return QStringLiteral("onvif");
}

QString SimCamera::onvifEndpoint() const
{
    const QString uuid = onvifUuid.isEmpty()
        ? QStringLiteral("6f6e7669-6600-4000-8000-") + QString(info.mac).remove(QLatin1Char(':'))
        : onvifUuid;
    return QStringLiteral("urn:uuid:") + uuid;
}

bool SimCamera::parseClockOffset(const QString &text, qint64 *seconds)
{
    static const QRegularExpression form(QStringLiteral("^([+-]?)(\\d{1,9})([hms]?)$"));
    const QRegularExpressionMatch match = form.match(text.trimmed().toLower());
    if (!match.hasMatch())
        return false;
    const QString unit = match.captured(3);
    const qint64 scale = unit == QLatin1String("h") ? 3600 : unit == QLatin1String("m") ? 60 : 1;
    *seconds = match.captured(2).toLongLong() * scale * (match.captured(1) == QLatin1String("-") ? -1 : 1);
    return true;
}

QString SimCamera::httpText(Http http)
{
    switch (http) {
    case Http::Ok:
        return QStringLiteral("ok");
    case Http::Stall:
        return QStringLiteral("stall");
    case Http::Huge:
        break;
    }
    return QStringLiteral("huge");
}

QString SimCamera::ssdpLocation() const
{
    if (!location.isEmpty())
        return location;
    return QStringLiteral("http://%1:%2/description.xml").arg(info.ip).arg(httpPort);
}

QByteArray SimCamera::ssdpAnswer(const QString &location) const
{
    const QString uuid = udn.isEmpty() ? QStringLiteral("00000000-0000-1000-8000-") + QString(info.mac).remove(QLatin1Char(':'))
                                       : QString(udn).remove(QStringLiteral("uuid:"));
    return SsdpProtocol::buildAnswer(location, uuid, maxAge, nts);
}

QByteArray SimCamera::description() const
{
    SsdpProtocol::DescriptionText text;
    text.udn = udn.isEmpty() ? QStringLiteral("uuid:00000000-0000-1000-8000-") + QString(info.mac).remove(QLatin1Char(':'))
                             : udn;
    const QStringList fields{
        encodedName.isEmpty() ? SsdpProtocol::encodeName(info.name) : encodedName,
        info.serialNo,
        macField.isEmpty() ? info.mac.toUpper().replace(QLatin1Char(':'), QLatin1Char('-')) : macField,
        info.model,
        numberField,
        addressField.isEmpty() ? info.ip : addressField,
        hexTextField,
        bssidField,
        textField};
    text.modelDescription = fields.join(QLatin1Char(':'));
    text.usePasscode = passcode;
    text.major = major;
    text.minor = minor;
    text.fwVersion = info.fwVersion;
    text.ispState = ispState;
    return SsdpProtocol::buildDescription(text);
}

QByteArray SimCamera::boxMessage() const
{
    return SsdpProtocol::buildBoxMessage(boxMac.isEmpty() ? info.mac.toUpper() : boxMac, boxType);
}
