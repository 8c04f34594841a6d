#ifndef VISCAPROTOCOL_H
#define VISCAPROTOCOL_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The VISCA-over-IP datagram, written once for the program, the camera
// simulator and the tests. No I/O here: bytes in, bytes or values out.
//
// Datagram (header fields big-endian):
//   0  2  payload type   0x0100 command, 0x0110 inquiry, 0x0111 reply
//   2  2  payload length bytes after the header
//   4  4  sequence number
//   8  n  payload        one VISCA message, 0x81 ... 0xFF to the camera,
//                        0x90 ... 0xFF from it, at most 16 bytes
class ViscaProtocol
{
public:
    enum : quint16 {
        Port = 52381
    };

    enum PayloadType : quint16 {
        TypeCommand = 0x0100,
        TypeInquiry = 0x0110,
        TypeReply = 0x0111
    };

    // Kind of the message remembered per camera; 0 means "no entry".
    enum Kind : quint8 {
        KindNone = 0,
        KindCommand = 1,
        KindInquiry = 9
    };

    // Power values carried by the power-state signal.
    // Whatever byte a camera answers is carried as it came (the log shows
    // it), so the type holds every value, not only the two named.
    enum PowerMode : int {
        PowerOn = 2,
        PowerStandby = 3
    };

    static constexpr int HeaderSize = 8;
    static constexpr int MaxPayloadSize = 16;

    // The command text that identifies the power inquiry in the command table.
    static const char *const PowerInquiryText; // "81090400ff"

    struct Datagram {
        quint16 payloadType = 0;
        quint32 sequence = 0;
        QByteArray payload;
    };

    // What a reply means, given the message it answers.
    enum ReplyAction {
        ReplyIgnored,       // acknowledge, unknown code, no matching message, malformed
        ReplyCompleted,     // a command was completed
        ReplyPowerState     // a power inquiry was answered; see powerMode
    };
    struct ReplyOutcome {
        ReplyAction action = ReplyIgnored;
        int powerMode = 0;
    };

    // Messages the program sends.
    static QByteArray powerOnPayload();      // 81 01 04 00 02 FF
    static QByteArray powerStandbyPayload(); // 81 01 04 00 03 FF
    static QByteArray powerInquiryPayload(); // 81 09 04 00 FF

    // Lower-case hex without separators, e.g. "81090400ff".
    static QString commandText(const QByteArray &payload);
    // 1 for a command (second byte 0x01), 9 for an inquiry (0x09), else 0.
    static quint8 kindOf(const QByteArray &payload);
    // Payload type that carries a payload of the given kind (0 for none).
    static quint16 payloadTypeFor(quint8 kind);

    // Empty when the payload is empty or longer than MaxPayloadSize.
    static QByteArray encodeDatagram(quint16 payloadType, quint32 sequence, const QByteArray &payload);

    // Accepts a datagram longer than the header whose length field equals the
    // bytes that follow and whose payload fits the 16-byte message buffer.
    // Everything else is refused (false) and *out is left alone.
    static bool decodeDatagram(const QByteArray &datagram, Datagram *out);

    // Reply classification. kind and command describe the last message sent
    // to the replying camera with the reply's sequence number (0 and "" when
    // there is none). A payload that does not start with 0x90 or end with 0xFF
    // is ignored.
    static ReplyOutcome classifyReply(const QByteArray &payload, quint8 kind, const QString &command);

    // Camera side: replies as a camera at address 1 sends them, socket 1.
    static QByteArray encodeAcknowledge(quint32 sequence);                 // 90 41 FF
    static QByteArray encodeCompletion(quint32 sequence);                  // 90 51 FF
    static QByteArray encodePowerInquiryReply(quint32 sequence, int mode); // 90 50 0m FF
    static QByteArray encodeError(quint32 sequence, quint8 errorCode);     // 90 60 ee FF
    static QByteArray encodeReply(quint32 sequence, const QByteArray &payload);
};

#endif // VISCAPROTOCOL_H
