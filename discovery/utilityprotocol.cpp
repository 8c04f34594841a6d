#include "utilityprotocol.h"

#include <QStringList>

#include <cstring>

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
std::array<quint8, N> getArray(const QByteArray &in, int offset)
{
    std::array<quint8, N> bytes{};
    std::memcpy(bytes.data(), in.constData() + offset, N);
    return bytes;
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

// Text from offset up to the first NUL, never past the end of the data: a
// text that fills its room runs on into the next field, as cameras expect,
// but a datagram without any NUL cannot make us read what was not received.
QString getText(const QByteArray &in, int offset)
{
    if (offset >= in.size())
        return QString();
    const char *start = in.constData() + offset;
    const void *nul = std::memchr(start, 0, size_t(in.size() - offset));
    const int length = nul ? int(static_cast<const char *>(nul) - start) : in.size() - offset;
    return QString::fromUtf8(start, length);
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
    switch (datagram.size()) {
    case ShortReplySize:
        return DatagramKind::ShortReply;
    case LongReplySize:
        return DatagramKind::LongReply;
    case WireRecordSize:
        return DatagramKind::WireRecord;
    default:
        return datagram.contains(InvalidIdText) ? DatagramKind::InvalidId : DatagramKind::Other;
    }
}

bool UtilityProtocol::parseReply(const QByteArray &datagram, UtilitySearchCamInfo *info)
{
    const int size = datagram.size();
    if (size != ShortReplySize && size != LongReplySize)
        return false;

    UtilitySearchCamInfo parsed;
    parsed.dhcp = std::memcmp(datagram.constData() + Rep::Mode, "dhcp", 4) == 0;
    parsed.ip = ipv4ToText(getArray<4>(datagram, Rep::Ip));
    parsed.mac = macToText(getArray<6>(datagram, Rep::Mac));
    parsed.mask = ipv4ToText(getArray<4>(datagram, Rep::Mask));
    parsed.gateway = ipv4ToText(getArray<4>(datagram, Rep::Gateway));
    parsed.dns1 = ipv4ToText(getArray<4>(datagram, Rep::Dns1));
    parsed.dns2 = ipv4ToText(getArray<4>(datagram, Rep::Dns2));
    parsed.model = getText(datagram, Rep::Model);
    parsed.name = getText(datagram, Rep::Name);
    parsed.fwVersion = getText(datagram, Rep::FwVersion);
    parsed.ipv6 = getText(datagram, Rep::Ipv6);
    if (size == LongReplySize)
        parsed.serialNo = getText(datagram, Rep::Serial);
    *info = parsed;
    return true;
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
    return QString::asprintf("%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
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
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x",
                             mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}
