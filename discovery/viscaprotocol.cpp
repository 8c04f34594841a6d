#include "viscaprotocol.h"

#include <QtEndian>

const char *const ViscaProtocol::PowerInquiryText = "81090400ff";

namespace {

const char powerOn[] = { '\x81', '\x01', '\x04', '\x00', '\x02', '\xff' };
const char powerStandby[] = { '\x81', '\x01', '\x04', '\x00', '\x03', '\xff' };
const char powerInquiry[] = { '\x81', '\x09', '\x04', '\x00', '\xff' };

// Byte i of the payload as the 16-byte zeroed receive buffer holds it.
quint8 bufferByte(const QByteArray &payload, int i)
{
    return i < payload.size() ? static_cast<quint8>(payload.at(i)) : 0;
}

} // namespace

QByteArray ViscaProtocol::powerOnPayload()
{
    return QByteArray(powerOn, sizeof(powerOn));
}

QByteArray ViscaProtocol::powerStandbyPayload()
{
    return QByteArray(powerStandby, sizeof(powerStandby));
}

QByteArray ViscaProtocol::powerInquiryPayload()
{
    return QByteArray(powerInquiry, sizeof(powerInquiry));
}

QString ViscaProtocol::commandText(const QByteArray &payload)
{
    return QString::fromLatin1(payload.toHex());
}

quint8 ViscaProtocol::kindOf(const QByteArray &payload)
{
    if (payload.size() < 2)
        return KindNone;
    switch (static_cast<quint8>(payload.at(1))) {
    case 0x01:
        return KindCommand;
    case 0x09:
        return KindInquiry;
    default:
        return KindNone;
    }
}

quint16 ViscaProtocol::payloadTypeFor(quint8 kind)
{
    switch (kind) {
    case KindCommand:
        return TypeCommand;
    case KindInquiry:
        return TypeInquiry;
    default:
        return 0;
    }
}

QByteArray ViscaProtocol::encodeDatagram(quint16 payloadType, quint32 sequence, const QByteArray &payload)
{
    if (payload.isEmpty() || payload.size() > MaxPayloadSize)
        return QByteArray();
    QByteArray datagram(HeaderSize, '\0');
    uchar *header = reinterpret_cast<uchar *>(datagram.data());
    qToBigEndian<quint16>(payloadType, header);
    qToBigEndian<quint16>(static_cast<quint16>(payload.size()), header + 2);
    qToBigEndian<quint32>(sequence, header + 4);
    datagram.append(payload);
    return datagram;
}

bool ViscaProtocol::decodeDatagram(const QByteArray &datagram, Datagram *out)
{
    if (datagram.size() <= HeaderSize)
        return false;
    const uchar *header = reinterpret_cast<const uchar *>(datagram.constData());
    const int length = qFromBigEndian<quint16>(header + 2);
    if (length != datagram.size() - HeaderSize)
        return false;
    // The message buffer holds 16 bytes; a longer payload is no VISCA
    // message and must not be copied anywhere.
    if (length > MaxPayloadSize)
        return false;
    if (out) {
        out->payloadType = qFromBigEndian<quint16>(header);
        out->sequence = qFromBigEndian<quint32>(header + 4);
        out->payload = datagram.mid(HeaderSize, length);
    }
    return true;
}

ViscaProtocol::ReplyOutcome ViscaProtocol::classifyReply(const QByteArray &payload, quint8 kind, const QString &command)
{
    ReplyOutcome outcome;
    if (payload.isEmpty() || payload.size() > MaxPayloadSize)
        return outcome;
    if (static_cast<quint8>(payload.front()) != 0x90 || static_cast<quint8>(payload.back()) != 0xff)
        return outcome;

    const quint8 code = bufferByte(payload, 1) >> 4;
    const quint8 value = bufferByte(payload, 2);
    const bool powerInquiry = kind == KindInquiry && command == QLatin1String(PowerInquiryText);

    if (code == 0x5 && kind == KindCommand) {
        outcome.action = ReplyCompleted;
    } else if ((code == 0x5 || code == 0x6) && powerInquiry) {
        // An error answer to the inquiry also counts as a power state.
        outcome.action = ReplyPowerState;
        outcome.powerMode = value == 3 ? PowerStandby : PowerOn;
    }
    return outcome;
}

QByteArray ViscaProtocol::encodeReply(quint32 sequence, const QByteArray &payload)
{
    return encodeDatagram(TypeReply, sequence, payload);
}

QByteArray ViscaProtocol::encodeAcknowledge(quint32 sequence)
{
    return encodeReply(sequence, QByteArray::fromHex("9041ff"));
}

QByteArray ViscaProtocol::encodeCompletion(quint32 sequence)
{
    return encodeReply(sequence, QByteArray::fromHex("9051ff"));
}

QByteArray ViscaProtocol::encodePowerInquiryReply(quint32 sequence, int mode)
{
    QByteArray payload = QByteArray::fromHex("9050");
    payload.append(static_cast<char>(mode & 0xff));
    payload.append('\xff');
    return encodeReply(sequence, payload);
}

QByteArray ViscaProtocol::encodeError(quint32 sequence, quint8 errorCode)
{
    QByteArray payload = QByteArray::fromHex("9060");
    payload.append(static_cast<char>(errorCode));
    payload.append('\xff');
    return encodeReply(sequence, payload);
}
