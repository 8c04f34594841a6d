#include "ssdpprotocol.h"

#include <QHostAddress>
#include <QStringList>

constexpr char SsdpProtocol::VendorDomain[];
constexpr char SsdpProtocol::MulticastGroup[];
constexpr char SsdpProtocol::SupportedModels[];
constexpr char SsdpProtocol::DefaultName[];
constexpr char SsdpProtocol::DefaultSerial[];
constexpr char SsdpProtocol::BoxName[];
constexpr char SsdpProtocol::DefaultBoxType[];

namespace {

const char Crlf[] = "\r\n";
const char DocCamDevice[] = ":device:WirelessDocCam:1";
const char BoxDevice[] = ":device:TolvikPowerManagement";
const char BoxDeviceVersion[] = ":1";
const char BoxUsn[] = "uuid:6e274c04-3d4d-11e3-8e7a-ce3f5508acd9";

// First lines an answer to the M-SEARCH may carry.
const char NotifyLine[] = "NOTIFY * HTTP/1.1";
const char OkLine[] = "HTTP/1.1 200 OK";
const char MSearchLine[] = "M-SEARCH * HTTP/1.1";

// Headers of the answer, found case-insensitively.
const char LocationHeader[] = "LOCATION:";
const char NtsHeader[] = "NTS: ssdp:";
const char CacheControlHeader[] = "CACHE-CONTROL: max-age=";

// Positions inside the description's modelDescription.
namespace Field {
constexpr int Name = 0;
constexpr int Serial = 1;
constexpr int Mac = 2;
constexpr int Model = 3;
constexpr int Number = 4;
constexpr int Address = 5;
constexpr int HexText = 6;
constexpr int Bssid = 7;
constexpr int Text = 8;
constexpr int Required = 9;
} // namespace Field

// Lines of a box message, counted from 0.
namespace BoxLine {
constexpr int Mac = 5;
constexpr int Type = 6;
} // namespace BoxLine

const char MacKey[] = "MAC:";
const char TypeKey[] = "Type:";
const char TypeWord[] = "Type";

// The seven 6-bit values written as lower-case letters, so that the name
// never holds a character that would break the XML or the field list.
struct NameLetter
{
    quint8 value;
    char letter;
};
constexpr NameLetter NameLetters[] = {
    {0, 'g'}, {2, 'c'}, {6, 'd'}, {7, 'b'}, {26, 'a'}, {28, 'e'}, {30, 'f'},
};
constexpr int NameValueBase = 0x20;
constexpr int NameValueCount = 64;

quint8 nameValue(QChar c)
{
    const ushort u = c.unicode();
    for (const NameLetter &l : NameLetters) {
        if (u == ushort(l.letter))
            return l.value;
    }
    if (u < NameValueBase || u >= NameValueBase + NameValueCount)
        return 0;
    const quint8 value = quint8(u - NameValueBase);
    // The characters the letters stand in for carry no value of their own.
    for (const NameLetter &l : NameLetters) {
        if (l.value == value)
            return 0;
    }
    return value;
}

QChar nameChar(quint8 value)
{
    for (const NameLetter &l : NameLetters) {
        if (l.value == value)
            return QLatin1Char(l.letter);
    }
    return QChar(ushort(NameValueBase + value));
}

// The text up to the first NUL byte, as Latin-1.
QString latin1UpToNul(const QByteArray &datagram)
{
    const int nul = datagram.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? datagram : datagram.left(nul));
}

// The value after the first occurrence of header (case-insensitive) up to
// the next CR LF; false when the header is missing.
bool headerValue(const QString &text, const char *header, QString *value)
{
    const QLatin1String key(header);
    const int at = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0)
        return false;
    const int start = at + key.size();
    const int end = text.indexOf(QLatin1String(Crlf), start);
    *value = text.mid(start, end < 0 ? -1 : end - start);
    return true;
}

// The text between the first open tag and the next close tag after it.
bool elementText(const QString &text, const char *open, const char *close, QString *value)
{
    const QLatin1String openTag(open);
    const int at = text.indexOf(openTag);
    if (at < 0)
        return false;
    const int start = at + openTag.size();
    const int end = text.indexOf(QLatin1String(close), start);
    if (end < 0)
        return false;
    *value = text.mid(start, end - start);
    return true;
}

bool isNonZeroDecimal(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    return ok && value != 0;
}

} // namespace

QString SsdpProtocol::docCamUrn()
{
    return QLatin1String("urn:") + QLatin1String(VendorDomain) + QLatin1String(DocCamDevice);
}

QString SsdpProtocol::boxUrn()
{
    return QLatin1String("urn:") + QLatin1String(VendorDomain) + QLatin1String(BoxDevice)
        + QLatin1String(BoxDeviceVersion);
}

QByteArray SsdpProtocol::mSearch()
{
    QByteArray out;
    out += MSearchLine; out += Crlf;
    out += "Host: "; out += MulticastGroup; out += ':'; out += QByteArray::number(SsdpPort); out += Crlf;
    out += "ST: "; out += docCamUrn().toLatin1(); out += Crlf;
    out += "Man: \"ssdp:discover\""; out += Crlf;
    out += "MX: 3"; out += Crlf;
    out += Crlf;
    return out;
}

SsdpProtocol::Answer SsdpProtocol::parseAnswer(const QByteArray &datagram)
{
    Answer answer;
    const QString text = latin1UpToNul(datagram);
    const int firstEnd = text.indexOf(QLatin1String(Crlf));
    const QString firstLine = text.left(firstEnd);
    if (firstLine != QLatin1String(NotifyLine) && firstLine != QLatin1String(OkLine))
        return answer;
    if (!text.contains(docCamUrn()))
        return answer;

    if (!headerValue(text, LocationHeader, &answer.location)
        || answer.location.trimmed().isEmpty()) {
        answer.kind = Answer::NoLocation;
        return answer;
    }
    answer.url = QUrl(answer.location.trimmed(), QUrl::TolerantMode);
    if (answer.url.host().isEmpty()) {
        answer.kind = Answer::BadLocation;
        return answer;
    }

    answer.nts = QStringLiteral("alive");
    QString nts;
    if (headerValue(text, NtsHeader, &nts))
        answer.nts = nts.trimmed();
    if (answer.nts != QLatin1String("alive") && answer.nts != QLatin1String("update")
        && answer.nts != QLatin1String("byebye")) {
        answer.kind = Answer::BadNts;
        return answer;
    }

    QString maxAge;
    if (!headerValue(text, CacheControlHeader, &maxAge))
        answer.cacheControl = CacheControl::Missing;
    else
        answer.cacheControl = isNonZeroDecimal(maxAge.trimmed()) ? CacheControl::Valid : CacheControl::Zero;

    answer.kind = answer.nts == QLatin1String("byebye") ? Answer::ByeBye : Answer::Fetch;
    return answer;
}

SsdpProtocol::Description SsdpProtocol::parseDescription(const QByteArray &body, const QString &ip)
{
    Description result;
    const int nul = body.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? body : body.left(nul));

    QString udn;
    const QLatin1String uuidPrefix("uuid:");
    const int uuidAt = elementText(text, "<UDN>", "</UDN>", &udn) ? udn.indexOf(uuidPrefix) : -1;
    if (uuidAt < 0) {
        result.outcome = Description::NoUdn;
        return result;
    }
    const QString uuid = udn.mid(uuidAt + uuidPrefix.size());

    QString modelDescription;
    if (!elementText(text, "<modelDescription>", "</modelDescription>", &modelDescription)) {
        result.outcome = Description::NoModelDescription;
        return result;
    }
    const int fieldCount = modelDescription.count(QLatin1Char(':')) + 1;
    if (fieldCount < Field::Required) {
        result.outcome = Description::TooFewFields;
        return result;
    }
    if (fieldCount > MaxDescriptionFields) {
        result.outcome = Description::TooManyFields;
        return result;
    }
    const QStringList fields = modelDescription.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (fields.at(Field::Name).size() > MaxEncodedNameChars) {
        result.outcome = Description::NameTooLong;
        return result;
    }

    DocCamUpnpData &data = result.data;
    data.device.name = decodeName(fields.at(Field::Name));
    if (data.device.name.isEmpty())
        data.device.name = QLatin1String(DefaultName);
    bool supported = false;
    const QStringList models = QString::fromLatin1(SupportedModels).split(QStringLiteral(", "));
    for (const QString &code : models)
        supported = supported || data.device.name.contains(code);
    if (!supported) {
        result.outcome = Description::UnsupportedModel;
        return result;
    }

    data.device.serialNo = fields.at(Field::Serial);
    if (data.device.serialNo.isEmpty())
        data.device.serialNo = QLatin1String(DefaultSerial);
    data.device.model = fields.at(Field::Model);
    bool ok = false;
    data.numberField = fields.at(Field::Number).toUInt(&ok, 10);
    if (!ok)
        data.numberField = 0;
    QHostAddress address;
    if (address.setAddress(fields.at(Field::Address)) && address.protocol() == QAbstractSocket::IPv4Protocol)
        data.addressField = address.toIPv4Address();
    data.hexTextField = decodeHexText(fields.at(Field::HexText));
    data.textField = fields.at(Field::Text);

    result.macError = !parseMacField(fields.at(Field::Mac), &data.macBytes, &data.device.mac);
    QString bssidText;
    result.bssidError = !parseMacField(fields.at(Field::Bssid), &data.bssid, &bssidText);

    data.device.ip = ip;
    data.responderAddress = QHostAddress(ip).toIPv4Address();
    data.udnKey = uuid + ip;

    QString value;
    if (elementText(text, "<usePasscode>", "</usePasscode>", &value))
        data.usePasscode = value;
    if (elementText(text, "<major>", "</major>", &value))
        data.major = value.toUInt();
    if (elementText(text, "<minor>", "</minor>", &value))
        data.minor = value.toUInt();
    if (elementText(text, "<fwversion>", "</fwversion>", &value))
        data.device.fwVersion = value;
    if (elementText(text, "<ispState>", "</ispState>", &value)) {
        const qlonglong state = value.toLongLong(&ok);
        data.ispState = ok && state != 0;
    }

    result.outcome = Description::Ok;
    return result;
}

QString SsdpProtocol::decodeName(const QString &encoded)
{
    const int size = encoded.size();
    if (size % 4 == 1)
        return QString();

    QByteArray bytes;
    bytes.reserve(size / 4 * 3 + 2);
    for (int i = 0; i < size; i += 4) {
        const int left = size - i;
        const quint8 a = nameValue(encoded.at(i));
        const quint8 b = nameValue(encoded.at(i + 1));
        bytes.append(char((a << 2) | (b >> 4)));
        if (left < 3)
            break;
        const quint8 c = nameValue(encoded.at(i + 2));
        bytes.append(char(((b & 0x0F) << 4) | (c >> 2)));
        if (left < 4)
            break;
        const quint8 d = nameValue(encoded.at(i + 3));
        bytes.append(char(((c & 0x03) << 6) | d));
    }

    bool bigEndian = false;
    int start = 0;
    if (bytes.size() >= 2) {
        const quint8 b0 = quint8(bytes.at(0));
        const quint8 b1 = quint8(bytes.at(1));
        if (b0 == 0xFF && b1 == 0xFE) {
            start = 2;
        } else if (b0 == 0xFE && b1 == 0xFF) {
            start = 2;
            bigEndian = true;
        }
    }
    QString name;
    name.reserve((bytes.size() - start) / 2);
    for (int i = start; i + 1 < bytes.size(); i += 2) {
        const quint8 lo = quint8(bytes.at(bigEndian ? i + 1 : i));
        const quint8 hi = quint8(bytes.at(bigEndian ? i : i + 1));
        name.append(QChar(ushort((hi << 8) | lo)));
    }
    return name;
}

QString SsdpProtocol::encodeName(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size() * 2);
    for (const QChar c : name) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    QString out;
    for (int i = 0; i < bytes.size(); i += 3) {
        const int left = bytes.size() - i;
        const quint8 b0 = quint8(bytes.at(i));
        const quint8 b1 = left > 1 ? quint8(bytes.at(i + 1)) : 0;
        const quint8 b2 = left > 2 ? quint8(bytes.at(i + 2)) : 0;
        out.append(nameChar(b0 >> 2));
        out.append(nameChar(quint8(((b0 & 0x03) << 4) | (b1 >> 4))));
        if (left > 1)
            out.append(nameChar(quint8(((b1 & 0x0F) << 2) | (b2 >> 6))));
        if (left > 2)
            out.append(nameChar(b2 & 0x3F));
    }
    return out;
}

QString SsdpProtocol::decodeHexText(const QString &field)
{
    if (field.size() % 2 != 0)
        return field;
    for (const QChar c : field) {
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!hex)
            return field;
    }
    return QString::fromUtf8(QByteArray::fromHex(field.toLatin1()));
}

bool SsdpProtocol::parseMacField(const QString &field, DocCamUpnpData::MacBytes *bytes, QString *text)
{
    const QStringList parts = field.split(QLatin1Char('-'), Qt::KeepEmptyParts);
    *text = parts.join(QLatin1Char(':')).toUpper();
    bytes->fill(0);
    if (parts.size() != int(bytes->size()))
        return false;
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const qulonglong value = parts.at(i).toULongLong(&ok, 16);
        (*bytes)[size_t(i)] = ok ? quint8(value & 0xFF) : 0;
    }
    return true;
}

bool SsdpProtocol::isMSearch(const QByteArray &datagram)
{
    const QString text = latin1UpToNul(datagram);
    return text.startsWith(QLatin1String(MSearchLine) + QLatin1String(Crlf))
        && text.contains(QLatin1String("ST: ") + docCamUrn() + QLatin1String(Crlf));
}

QByteArray SsdpProtocol::buildAnswer(const QString &location, const QString &uuid, int maxAge,
                                     const QString &nts)
{
    QByteArray out;
    out += OkLine; out += Crlf;
    if (maxAge >= 0) {
        out += "CACHE-CONTROL: max-age="; out += QByteArray::number(maxAge); out += Crlf;
    }
    out += "EXT:"; out += Crlf;
    out += "LOCATION: "; out += location.toLatin1(); out += Crlf;
    if (!nts.isEmpty()) {
        out += NtsHeader; out += nts.toLatin1(); out += Crlf;
    }
    out += "SERVER: Linux UPnP/1.0 DocCam/1.0"; out += Crlf;
    out += "ST: "; out += docCamUrn().toLatin1(); out += Crlf;
    out += "USN: uuid:"; out += uuid.toLatin1(); out += "::"; out += docCamUrn().toLatin1(); out += Crlf;
    out += Crlf;
    return out;
}

QByteArray SsdpProtocol::buildDescription(const DescriptionText &text)
{
    auto element = [](const char *name, const QString &value) {
        if (value.isNull())
            return QByteArray();
        return QByteArray("<") + name + '>' + value.toUtf8() + "</" + name + ">\n";
    };
    QByteArray out = "<?xml version=\"1.0\"?>\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n";
    if (!text.major.isNull() || !text.minor.isNull())
        out += "<specVersion>\n" + element("major", text.major) + element("minor", text.minor) + "</specVersion>\n";
    out += "<device>\n<deviceType>" + docCamUrn().toLatin1() + "</deviceType>\n";
    out += element("UDN", text.udn);
    out += element("modelDescription", text.modelDescription);
    out += element("usePasscode", text.usePasscode);
    out += element("fwversion", text.fwVersion);
    out += element("ispState", text.ispState);
    out += "</device>\n</root>\n";
    return out;
}

QByteArray SsdpProtocol::boxAnnouncement()
{
    QByteArray out;
    out += OkLine; out += Crlf;
    out += "CACHE-CONTROL: max-age=30"; out += Crlf;
    out += "ST: "; out += boxUrn().toLatin1(); out += Crlf;
    out += "USN: "; out += BoxUsn; out += Crlf;
    out += "TolvikClass."; out += VendorDomain; out += ':'; out += Crlf;
    out += Crlf;
    return out;
}

bool SsdpProtocol::isBoxAnnouncement(const QByteArray &datagram)
{
    const QString text = latin1UpToNul(datagram);
    return text.startsWith(QLatin1String(OkLine) + QLatin1String(Crlf))
        && text.contains(QLatin1String("ST: ") + boxUrn() + QLatin1String(Crlf));
}

SsdpProtocol::BoxMessage SsdpProtocol::parseBoxMessage(const QByteArray &datagram)
{
    BoxMessage message;
    const QString text = latin1UpToNul(datagram);
    const QString urn = QLatin1String("urn:") + QLatin1String(VendorDomain) + QLatin1String(BoxDevice);
    if (!text.contains(QLatin1String("M-SEARCH")) || !text.contains(urn))
        return message;

    message.outcome = BoxMessage::Unusable;
    const QStringList lines = text.split(QLatin1String(Crlf), Qt::KeepEmptyParts);
    if (lines.size() <= BoxLine::Mac)
        return message;
    const QString &macLine = lines.at(BoxLine::Mac);
    const int macAt = macLine.indexOf(QLatin1String(MacKey));
    if (macAt < 0)
        return message;
    QString mac = macLine.mid(macAt + int(qstrlen(MacKey)));
    const int again = mac.indexOf(QLatin1String(MacKey));
    if (again >= 0)
        mac.truncate(again);

    QString type;
    if (text.contains(QLatin1String(TypeWord))) {
        if (lines.size() <= BoxLine::Type)
            return message;
        const QString &typeLine = lines.at(BoxLine::Type);
        const int typeAt = typeLine.indexOf(QLatin1String(TypeKey));
        if (typeAt < 0)
            return message;
        type = typeLine.mid(typeAt + int(qstrlen(TypeKey)));
    }
    if (mac.trimmed().isEmpty() || mac.size() > MaxBoxFieldChars || type.size() > MaxBoxFieldChars)
        return message;

    message.outcome = BoxMessage::Ok;
    message.macText = mac;
    message.type = type.isEmpty() ? QString::fromLatin1(DefaultBoxType) : type;
    return message;
}

QByteArray SsdpProtocol::buildBoxMessage(const QString &macText, const QString &type)
{
    QByteArray out;
    out += MSearchLine; out += Crlf;
    out += "HOST: "; out += MulticastGroup; out += ':'; out += QByteArray::number(BoxPort); out += Crlf;
    out += "MAN: \"ssdp:discover\""; out += Crlf;
    out += "MX: 1"; out += Crlf;
    out += "ST: "; out += boxUrn().toLatin1(); out += Crlf;
    out += MacKey; out += macText.toLatin1(); out += Crlf;
    if (!type.isNull()) {
        out += TypeKey; out += type.toLatin1(); out += Crlf;
    }
    out += Crlf;
    return out;
}
