#include "utilityprotocol.h"

#include <QStringList>

#include <cstring>
#include <string.h>

namespace {

// Query A has always been kept as its wire text; query B is built from its
// record. Both differ only in their first six bytes.
const char QueryAText[] =
    "UENFZGl0AgAAAAAAAAAAAAAAAAAAAAAAAAIAAAAAAAACAAAAAAAAAAACAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAAAAAAAAAA";

// Byte positions of the 180-byte record sent by the program.
namespace Rec {
constexpr int Magic = 0;          // 6: "PCEdit" / "AviDcv"
constexpr int Kind = 6;           // 1: 0x01 settings, 0x02 query
constexpr int Mode = 7;           // 4: "dhcp" / "eth0"
constexpr int Ip = 11;
constexpr int Mac = 15;
constexpr int Mask = 21;
constexpr int Mark2 = 25;         // 1: kind byte again
constexpr int Gw = 26;            // 2: "gw"
constexpr int Gateway = 28;
constexpr int Mark3 = 32;
constexpr int Dns1 = 33;
constexpr int Dns2 = 37;
constexpr int Mark4 = 41;
constexpr int Name = 74;
constexpr int NameSize = 32;
constexpr int UserId = 114;
constexpr int PasswordField = 147;
constexpr int LoginSize = 33;
} // namespace Rec

// Byte positions of the camera's reply: the record's fields one byte lower.
namespace Rep {
constexpr int Magic = 0;
constexpr int Mode = 6;
constexpr int Ip = 10;
constexpr int Mac = 14;
constexpr int Mask = 20;
constexpr int Mark2 = 24;
constexpr int Gw = 25;
constexpr int Gateway = 27;
constexpr int Mark3 = 31;
constexpr int Dns1 = 32;
constexpr int Dns2 = 36;
constexpr int Mark4 = 40;
constexpr int Model = 41;
constexpr int Name = 73;
constexpr int FwVersion = 105;
constexpr int Ipv6 = 207;
constexpr int Serial = 258;
constexpr int ModelSize = Name - Model;
constexpr int NameSize = FwVersion - Name;
constexpr int FwVersionSize = Ipv6 - FwVersion;
constexpr int SerialSize = UtilityProtocol::LongReplySize - Serial;
} // namespace Rep

const char InvalidIdText[] = "Invalid ID";

void putBytes(QByteArray &out, int offset, const char *bytes, int size)
{
    std::memcpy(out.data() + offset, bytes, size_t(size));
}

template <size_t N>
void putArray(QByteArray &out, int offset, const std::array<quint8, N> &bytes)
{
    std::memcpy(out.data() + offset, bytes.data(), N);
}

template <size_t N>
std::array<quint8, N> getArray(const char *in, int offset)
{
    std::array<quint8, N> bytes{};
    std::memcpy(bytes.data(), in + offset, N);
    return bytes;
}

template <size_t N>
std::array<quint8, N> getArray(const QByteArray &in, int offset)
{
    return getArray<N>(in.constData(), offset);
}

// Writes at most room bytes of text; the rest of the room stays zero.
void putText(QByteArray &out, int offset, const QByteArray &text, int room)
{
    putBytes(out, offset, text.constData(), qMin(text.size(), room));
}

// Cuts UTF-8 text to at most room bytes without splitting a character.
QByteArray utf8Cut(const QString &text, int room)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= room)
        return bytes;
    int end = room;
    while (end > 0 && (quint8(bytes.at(end)) & 0xC0) == 0x80)
        --end;
    bytes.truncate(end);
    return bytes;
}

// Length of the text from offset up to the first NUL, never past the end of
// the data: a text that fills its room runs on into the next field, as
// cameras expect, but a datagram without any NUL cannot make us read what was
// not received.
int textLength(const char *data, int size, int offset)
{
    if (offset >= size)
        return 0;
    const char *start = data + offset;
    const void *nul = std::memchr(start, 0, size_t(size - offset));
    return nul ? int(static_cast<const char *>(nul) - start) : size - offset;
}

bool isAscii(const char *text, int size)
{
    // Eight bytes at a time: this runs over several fields of every reply.
    quint64 any = 0;
    int i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, text + i, 8);
        any |= word;
    }
    for (; i < size; ++i)
        any |= static_cast<unsigned char>(text[i]);
    return (any & 0x8080808080808080ull) == 0;
}

// The UTF-8 reading of a text field. Cameras send ASCII, whose UTF-8 and
// Latin-1 readings are the same characters; Latin-1 widening is the cheaper
// of the two, and an empty field then shares Qt's empty text instead of
// allocating one (it is still not a null string, as fromUtf8 gives).
QString utf8Text(const char *text, int size)
{
    if (isAscii(text, size))
        return QString::fromLatin1(text, size);
    return QString::fromUtf8(text, size);
}

QString getText(const char *data, int size, int offset)
{
    if (offset >= size)
        return QString();
    return utf8Text(data + offset, textLength(data, size, offset));
}

// Decimal and hex digits written straight into the string: these texts are
// built for every reply of a fleet.
QChar *putDecimal(QChar *out, unsigned value)
{
    if (value >= 100) {
        *out++ = QLatin1Char(char('0' + value / 100));
        value %= 100;
        *out++ = QLatin1Char(char('0' + value / 10));
    } else if (value >= 10) {
        *out++ = QLatin1Char(char('0' + value / 10));
    }
    *out++ = QLatin1Char(char('0' + value % 10));
    return out;
}

QString getLatin1(const QByteArray &in, int offset, int room)
{
    const char *start = in.constData() + offset;
    const void *nul = std::memchr(start, 0, size_t(room));
    const int length = nul ? int(static_cast<const char *>(nul) - start) : room;
    return QString::fromLatin1(start, length);
}

QByteArray queryRecordWithMagic(const char *magic)
{
    QByteArray record(UtilityProtocol::RecordSize, '\0');
    putBytes(record, Rec::Magic, magic, 6);
    for (const int offset : {Rec::Kind, Rec::Mark2, Rec::Mark3, Rec::Mark4})
        record[offset] = 0x02;
    return record;
}

} // namespace

bool UtilityProtocol::Settings::operator==(const Settings &other) const
{
    return dhcp == other.dhcp && ip == other.ip && mac == other.mac && mask == other.mask
        && gateway == other.gateway && dns1 == other.dns1 && dns2 == other.dns2
        && name == other.name && userId == other.userId && password == other.password;
}

QByteArray UtilityProtocol::queryRecord(Query query)
{
    return queryRecordWithMagic(query == Query::A ? "PCEdit" : "AviDcv");
}

QByteArray UtilityProtocol::queryText(Query query)
{
    if (query == Query::A)
        return QByteArray(QueryAText, int(sizeof(QueryAText)) - 1);
    return encodeWireRecord(queryRecord(Query::B));
}

QByteArray UtilityProtocol::buildSettingsRecord(const Settings &settings)
{
    QByteArray record(RecordSize, '\0');
    putBytes(record, Rec::Magic, "PCEdit", 6);
    record[Rec::Kind] = 0x01;
    putBytes(record, Rec::Mode, settings.dhcp ? "dhcp" : "eth0", 4);
    putArray(record, Rec::Ip, settings.ip);
    putArray(record, Rec::Mac, settings.mac);
    putArray(record, Rec::Mask, settings.mask);
    record[Rec::Mark2] = 0x01;
    putBytes(record, Rec::Gw, "gw", 2);
    putArray(record, Rec::Gateway, settings.gateway);
    record[Rec::Mark3] = 0x01;
    putArray(record, Rec::Dns1, settings.dns1);
    putArray(record, Rec::Dns2, settings.dns2);
    record[Rec::Mark4] = 0x01;
    putText(record, Rec::Name, settings.name.toLatin1(), Rec::NameSize);
    putText(record, Rec::UserId, settings.userId.toLatin1(), Rec::LoginSize);
    putText(record, Rec::PasswordField, settings.password.toLatin1(), Rec::LoginSize);
    return record;
}

QByteArray UtilityProtocol::encodeWireRecord(const QByteArray &record)
{
    return record.toBase64();
}

UtilityProtocol::DatagramKind UtilityProtocol::classifyDatagram(const QByteArray &datagram)
{
    return classifyDatagram(datagram.constData(), datagram.size());
}

UtilityProtocol::DatagramKind UtilityProtocol::classifyDatagram(const char *data, int size)
{
    switch (size) {
    case ShortReplySize:
        return DatagramKind::ShortReply;
    case LongReplySize:
        return DatagramKind::LongReply;
    case WireRecordSize:
        return DatagramKind::WireRecord;
    default: {
        const size_t textSize = sizeof(InvalidIdText) - 1;
        const bool refused = size > 0 && ::memmem(data, size_t(size), InvalidIdText, textSize) != nullptr;
        return refused ? DatagramKind::InvalidId : DatagramKind::Other;
    }
    }
}

void UtilityProtocol::RecurringTexts::clear()
{
    *this = RecurringTexts();
}

QString UtilityProtocol::RecurringTexts::address(Field field, const Ipv4Bytes &bytes)
{
    QString &last = addressTexts[size_t(field)];
    if (last.isNull() || addressBytes[size_t(field)] != bytes) {
        addressBytes[size_t(field)] = bytes;
        last = ipv4ToText(bytes);
    }
    return last;
}

QString UtilityProtocol::RecurringTexts::text(Text field, const char *utf8, int size)
{
    // Only ASCII is compared as it stands: there its Latin-1 and UTF-8
    // readings are the same characters.
    QString &last = texts[size_t(field)];
    if (!last.isNull() && last.size() == size && isAscii(utf8, size) && last == QLatin1String(utf8, size))
        return last;
    last = utf8Text(utf8, size);
    return last;
}

bool UtilityProtocol::parseReply(const QByteArray &datagram, UtilitySearchCamInfo *info)
{
    return parseReply(datagram.constData(), datagram.size(), info);
}

bool UtilityProtocol::parseReply(const char *data, int size, UtilitySearchCamInfo *info,
                                 RecurringTexts *recurring)
{
    if (size != ShortReplySize && size != LongReplySize)
        return false;

    using Texts = RecurringTexts;
    const Ipv4Bytes mask = getArray<4>(data, Rep::Mask);
    const Ipv4Bytes gateway = getArray<4>(data, Rep::Gateway);
    const Ipv4Bytes dns1 = getArray<4>(data, Rep::Dns1);
    const Ipv4Bytes dns2 = getArray<4>(data, Rep::Dns2);
    const int modelLength = textLength(data, size, Rep::Model);
    const int fwLength = textLength(data, size, Rep::FwVersion);
    const int ipv6Length = textLength(data, size, Rep::Ipv6);

    UtilitySearchCamInfo parsed;
    parsed.dhcp = std::memcmp(data + Rep::Mode, "dhcp", 4) == 0;
    parsed.ip = ipv4ToText(getArray<4>(data, Rep::Ip));
    parsed.mac = macToText(getArray<6>(data, Rep::Mac));
    if (recurring) {
        parsed.mask = recurring->address(Texts::Mask, mask);
        parsed.gateway = recurring->address(Texts::Gateway, gateway);
        parsed.dns1 = recurring->address(Texts::Dns1, dns1);
        parsed.dns2 = recurring->address(Texts::Dns2, dns2);
        parsed.model = recurring->text(Texts::Model, data + Rep::Model, modelLength);
        parsed.fwVersion = recurring->text(Texts::FwVersion, data + Rep::FwVersion, fwLength);
        // A fleet's cameras mostly report no IPv6 address, or the same one.
        parsed.ipv6 = recurring->text(Texts::Ipv6, data + Rep::Ipv6, ipv6Length);
    } else {
        parsed.mask = ipv4ToText(mask);
        parsed.gateway = ipv4ToText(gateway);
        parsed.dns1 = ipv4ToText(dns1);
        parsed.dns2 = ipv4ToText(dns2);
        parsed.model = getText(data, size, Rep::Model);
        parsed.fwVersion = getText(data, size, Rep::FwVersion);
        parsed.ipv6 = getText(data, size, Rep::Ipv6);
    }
    parsed.name = getText(data, size, Rep::Name);
    if (size == LongReplySize)
        parsed.serialNo = getText(data, size, Rep::Serial);
    *info = std::move(parsed);
    return true;
}

bool UtilityProtocol::isCleanText(const char *text, int size)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    int i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7f)
                return false;
            ++i;
            continue;
        }
        int length = 0;
        quint32 code = 0;
        quint32 least = 0;
        if ((lead & 0xe0) == 0xc0) {
            length = 2;
            code = lead & 0x1f;
            least = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3;
            code = lead & 0x0f;
            least = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4;
            code = lead & 0x07;
            least = 0x10000;
        } else {
            return false;
        }
        if (i + length > size)
            return false;
        for (int k = 1; k < length; ++k) {
            const unsigned char next = bytes[i + k];
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        // C1 controls are two-byte characters.
        if (code >= 0x80 && code <= 0x9f)
            return false;
        i += length;
    }
    return true;
}

UtilityProtocol::ReplyFault UtilityProtocol::replyFault(const char *data, int size)
{
    if (size != ShortReplySize && size != LongReplySize)
        return ReplyFault::None;
    const auto *mac = reinterpret_cast<const unsigned char *>(data + Rep::Mac);
    bool allZero = true;
    for (int i = 0; i < 6; ++i)
        allZero = allZero && mac[i] == 0;
    // The group bit of the first byte marks multicast; broadcast has it too.
    if (allZero || (mac[0] & 0x01) != 0)
        return ReplyFault::Mac;
    struct Field {
        int offset;
        ReplyFault fault;
    };
    static const Field fields[] = {
        {Rep::Model, ReplyFault::ModelText},
        {Rep::Name, ReplyFault::NameText},
        {Rep::FwVersion, ReplyFault::FirmwareText},
    };
    for (const Field &field : fields) {
        const int length = textLength(data, size, field.offset);
        if (!isCleanText(data + field.offset, length))
            return field.fault;
    }
    return ReplyFault::None;
}

const char *UtilityProtocol::replyFaultName(ReplyFault fault)
{
    switch (fault) {
    case ReplyFault::ModelText:
        return "model is not clean UTF-8 text";
    case ReplyFault::NameText:
        return "name is not clean UTF-8 text";
    case ReplyFault::FirmwareText:
        return "firmware is not clean UTF-8 text";
    case ReplyFault::Mac:
        return "MAC is all zeros or a group address";
    case ReplyFault::None:
        break;
    }
    return "";
}

bool UtilityProtocol::isInvalidIdReply(const QByteArray &datagram)
{
    return classifyDatagram(datagram) == DatagramKind::InvalidId;
}

bool UtilityProtocol::decodeWireRecord(const QByteArray &datagram, QByteArray *record)
{
    if (datagram.size() != WireRecordSize)
        return false;
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(datagram, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != RecordSize)
        return false;
    *record = decoded.decoded;
    return true;
}

UtilityProtocol::RecordKind UtilityProtocol::classifyRecord(const QByteArray &record)
{
    if (record.size() != RecordSize)
        return RecordKind::Unknown;
    const char kind = record.at(Rec::Kind);
    if (record.startsWith("PCEdit"))
        return kind == 0x02 ? RecordKind::QueryA : kind == 0x01 ? RecordKind::Settings : RecordKind::Unknown;
    if (record.startsWith("AviDcv") && kind == 0x02)
        return RecordKind::QueryB;
    return RecordKind::Unknown;
}

bool UtilityProtocol::parseSettingsRecord(const QByteArray &record, Settings *settings)
{
    if (classifyRecord(record) != RecordKind::Settings)
        return false;
    Settings parsed;
    parsed.dhcp = std::memcmp(record.constData() + Rec::Mode, "dhcp", 4) == 0;
    parsed.ip = getArray<4>(record, Rec::Ip);
    parsed.mac = getArray<6>(record, Rec::Mac);
    parsed.mask = getArray<4>(record, Rec::Mask);
    parsed.gateway = getArray<4>(record, Rec::Gateway);
    parsed.dns1 = getArray<4>(record, Rec::Dns1);
    parsed.dns2 = getArray<4>(record, Rec::Dns2);
    parsed.name = getLatin1(record, Rec::Name, Rec::NameSize);
    parsed.userId = getLatin1(record, Rec::UserId, Rec::LoginSize);
    parsed.password = getLatin1(record, Rec::PasswordField, Rec::LoginSize);
    *settings = parsed;
    return true;
}

QByteArray UtilityProtocol::encodeReply(const UtilitySearchCamInfo &info, ReplyForm form)
{
    const bool isLong = form == ReplyForm::Long;
    QByteArray reply(isLong ? LongReplySize : ShortReplySize, '\0');
    // The bytes the program does not examine mirror the settings record.
    putBytes(reply, Rep::Magic, "PCEdit", 6);
    putBytes(reply, Rep::Mode, info.dhcp ? "dhcp" : "eth0", 4);
    putArray(reply, Rep::Ip, ipv4FromText(info.ip));
    MacBytes mac{};
    macFromText(info.mac, &mac);
    putArray(reply, Rep::Mac, mac);
    putArray(reply, Rep::Mask, ipv4FromText(info.mask));
    reply[Rep::Mark2] = 0x01;
    putBytes(reply, Rep::Gw, "gw", 2);
    putArray(reply, Rep::Gateway, ipv4FromText(info.gateway));
    reply[Rep::Mark3] = 0x01;
    putArray(reply, Rep::Dns1, ipv4FromText(info.dns1));
    putArray(reply, Rep::Dns2, ipv4FromText(info.dns2));
    reply[Rep::Mark4] = 0x01;
    putText(reply, Rep::Model, utf8Cut(info.model, Rep::ModelSize), Rep::ModelSize);
    putText(reply, Rep::Name, utf8Cut(info.name, Rep::NameSize), Rep::NameSize);
    putText(reply, Rep::FwVersion, utf8Cut(info.fwVersion, Rep::FwVersionSize), Rep::FwVersionSize);
    const int ipv6Room = (isLong ? Rep::Serial : ShortReplySize) - Rep::Ipv6;
    putText(reply, Rep::Ipv6, utf8Cut(info.ipv6, ipv6Room), ipv6Room);
    if (isLong)
        putText(reply, Rep::Serial, utf8Cut(info.serialNo, Rep::SerialSize), Rep::SerialSize);
    return reply;
}

QByteArray UtilityProtocol::encodeInvalidIdReply()
{
    QByteArray reply("PCEdit");
    reply.append(InvalidIdText);
    reply.append('\0');
    return reply;
}

UtilityProtocol::Ipv4Bytes UtilityProtocol::ipv4FromText(const QString &text)
{
    Ipv4Bytes bytes{};
    if (text.isEmpty())
        return bytes;
    const QStringList parts = text.split(QLatin1Char('.'));
    for (int i = 0; i < parts.size() && i < 4; ++i)
        bytes[size_t(i)] = quint8(parts.at(i).toUInt(nullptr, 10) % 256);
    return bytes;
}

QString UtilityProtocol::ipv4ToText(const Ipv4Bytes &bytes)
{
    QChar text[15];
    QChar *end = text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            *end++ = QLatin1Char('.');
        end = putDecimal(end, bytes[i]);
    }
    return QString(text, int(end - text));
}

bool UtilityProtocol::macFromText(const QString &text, MacBytes *mac)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() > 6)
        return false;
    MacBytes bytes{};
    for (int i = 0; i < parts.size(); ++i)
        bytes[size_t(i)] = quint8(parts.at(i).toUInt(nullptr, 16) % 256);
    *mac = bytes;
    return true;
}

QString UtilityProtocol::macToText(const MacBytes &mac)
{
    static const char hex[] = "0123456789abcdef";
    QChar text[17];
    QChar *out = text;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i)
            *out++ = QLatin1Char(':');
        *out++ = QLatin1Char(hex[mac[i] >> 4]);
        *out++ = QLatin1Char(hex[mac[i] & 0x0f]);
    }
    return QString(text, int(out - text));
}
