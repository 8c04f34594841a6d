#ifndef UTILITYPROTOCOL_H
#define UTILITYPROTOCOL_H

#include "utilitysearchcaminfo.h"

#include <QByteArray>
#include <QString>

#include <array>

// Wire formats of the utility search on UDP port 8000, written once and shared
// by the search sockets, the camera simulator and the tests. Nothing here
// touches a socket.
//
// Program -> camera: a 180-byte record (query A, query B or a settings record)
// sent as its 240-character Base64 text, nothing else in the datagram.
// Camera -> program: a binary reply of 253 bytes (short form) or 282 bytes
// (long form, adds the serial number), or a refusal containing "Invalid ID".
class UtilityProtocol
{
public:
    static constexpr quint16 Port = 8000;
    static constexpr int RecordSize = 180;
    static constexpr int WireRecordSize = 240;   // Base64 of RecordSize bytes
    static constexpr int ShortReplySize = 253;
    static constexpr int LongReplySize = 282;

    using Ipv4Bytes = std::array<quint8, 4>;     // network order: first dotted number first
    using MacBytes = std::array<quint8, 6>;

    enum class Query { A, B };
    enum class ReplyForm { Short, Long };

    // What a 180-byte record from the program is, as a camera sees it.
    enum class RecordKind { Unknown, QueryA, QueryB, Settings };

    // How the program treats a datagram that arrived on port 8000.
    enum class DatagramKind {
        ShortReply,   // 253 bytes
        LongReply,    // 282 bytes
        WireRecord,   // 240 bytes: a query or settings record (ours or another tool's), ignored
        InvalidId,    // any other length containing "Invalid ID": settings refused
        Other         // ignored
    };

    // Content of a settings record. Texts are cut to their field and written
    // as Latin-1: name 32 bytes (no terminator when it fills the field), user
    // ID and password 33 bytes each.
    struct Settings
    {
        bool dhcp = false;       // mode word "dhcp", otherwise "eth0"
        Ipv4Bytes ip{};
        MacBytes mac{};
        Ipv4Bytes mask{};
        Ipv4Bytes gateway{};
        Ipv4Bytes dns1{};
        Ipv4Bytes dns2{};
        QString name;
        QString userId;
        QString password;

        bool operator==(const Settings &other) const;
    };

    // --- program side -------------------------------------------------------

    // The 180-byte query record and its 240-character wire text.
    static QByteArray queryRecord(Query query);
    static QByteArray queryText(Query query);

    // The 180-byte settings record. The address bytes are written whatever the
    // mode, exactly as given.
    static QByteArray buildSettingsRecord(const Settings &settings);

    // Base64 text of a record as it goes on the wire.
    static QByteArray encodeWireRecord(const QByteArray &record);

    static DatagramKind classifyDatagram(const QByteArray &datagram);
    static DatagramKind classifyDatagram(const char *data, int size);

    // Texts that recur from reply to reply (a fleet's mask, gateway, DNS
    // servers, model, firmware): a parse handed one of these reuses the last
    // equal text instead of building another copy. Values are unchanged.
    class RecurringTexts
    {
    public:
        void clear();

    private:
        friend class UtilityProtocol;
        enum Field { Mask, Gateway, Dns1, Dns2, AddressFields };
        enum Text { Model, FwVersion, Ipv6, TextFields };
        QString address(Field field, const Ipv4Bytes &bytes);
        QString text(Text field, const char *utf8, int size);

        std::array<Ipv4Bytes, AddressFields> addressBytes{};
        std::array<QString, AddressFields> addressTexts;
        std::array<QString, TextFields> texts;
    };

    // Parses a 253- or 282-byte reply. Text fields end at their first NUL or
    // at the end of the datagram, whichever comes first. False (and *info
    // untouched) for any other length.
    static bool parseReply(const QByteArray &datagram, UtilitySearchCamInfo *info);
    static bool parseReply(const char *data, int size, UtilitySearchCamInfo *info,
                           RecurringTexts *recurring = nullptr);

    // Why a datagram of a reply's length cannot be a camera's reply: its
    // model, name or firmware text (read as parseReply() reads it) is not
    // valid UTF-8 or holds a control character, or its MAC is all zeros or a
    // group (multicast or broadcast) address. Checked on the bytes, before
    // anything is built from them.
    enum class ReplyFault { None, ModelText, NameText, FirmwareText, Mac };
    static ReplyFault replyFault(const char *data, int size);
    static const char *replyFaultName(ReplyFault fault);
    // Valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF)
    // without C0 or C1 control characters or DEL.
    static bool isCleanText(const char *text, int size);

    // True when a datagram that is neither a reply nor a wire record carries
    // the refusal text "Invalid ID" (case-sensitive) anywhere in its bytes.
    static bool isInvalidIdReply(const QByteArray &datagram);

    // --- camera side (simulator, tests) ---------------------------------------

    // Decodes a 240-byte wire text into its 180-byte record; false when the
    // datagram is not exactly that.
    static bool decodeWireRecord(const QByteArray &datagram, QByteArray *record);

    static RecordKind classifyRecord(const QByteArray &record);

    // Reads a 180-byte settings record back; false when it is not one.
    static bool parseSettingsRecord(const QByteArray &record, Settings *settings);

    // Builds the binary reply a camera sends. Addresses and the MAC are taken
    // from the texts of info (a malformed text gives zero bytes); texts are
    // written as UTF-8 cut to their room (a text that fills its room has no
    // terminator, as a camera may send it). serialNo goes only into the long form.
    static QByteArray encodeReply(const UtilitySearchCamInfo &info, ReplyForm form);

    // A refusal datagram of a length the program never takes for a reply.
    static QByteArray encodeInvalidIdReply();

    // --- text helpers shared with the window and the simulator ---------------

    // "a.b.c.d" -> bytes: split at ".", each part base 10 (not a number gives
    // 0), kept modulo 256; missing parts are 0, parts past the fourth ignored.
    static Ipv4Bytes ipv4FromText(const QString &text);
    static QString ipv4ToText(const Ipv4Bytes &bytes);

    // "xx:xx:..." -> bytes: split at ":" (empty parts kept), each part base 16
    // (not a number gives 0), kept modulo 256; missing parts are 0. False when
    // there are more than six parts (*mac untouched then).
    static bool macFromText(const QString &text, MacBytes *mac);
    static QString macToText(const MacBytes &mac);   // lower-case hex

private:
    UtilityProtocol() = delete;
};

#endif // UTILITYPROTOCOL_H
