#ifndef SSDPPROTOCOL_H
#define SSDPPROTOCOL_H

#include "doccamupnpdata.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// Wire formats of the two SSDP sources, written once and shared by their
// sockets, the camera simulator and the tests. Nothing here touches a socket.
//
// Document cameras: the program multicasts an M-SEARCH to port 1900, a camera
// answers with an SSDP answer naming its description document (LOCATION),
// and the document's modelDescription carries the camera's identity.
// Control boxes: the exchange runs the other way round. The program
// multicasts an announcement to port 1988 and the boxes answer with an
// M-SEARCH-style message carrying "MAC:" and "Type:" lines.
class SsdpProtocol
{
public:
    // The vendor domain inside both device-type URNs. The devices and the
    // program must agree on it; it is a reserved documentation domain
    // (RFC 2606) so that it can never name a real vendor, and changing the
    // product's domain is a change of this one value.
    static constexpr char VendorDomain[] = "schemas.example.com";

    static constexpr char MulticastGroup[] = "239.255.255.250";
    static constexpr quint16 SsdpPort = 1900;
    static constexpr quint16 BoxPort = 1988;       // announcement, and answers
    static constexpr quint16 BoxAltPort = 1688;    // answers only

    // --- size limits ------------------------------------------------------------
    // An SSDP message is a few hundred bytes; anything past this is not one.
    static constexpr int MaxDatagramSize = 4096;
    // A description is about 1 KiB; a peer must not make us hold more.
    static constexpr int MaxDescriptionSize = 64 * 1024;
    // A camera writes nine fields; a few more are tolerated, thousands are not.
    static constexpr int MaxDescriptionFields = 64;
    // The encoded name of a camera is short; the cap bounds the decode work.
    static constexpr int MaxEncodedNameChars = 1024;
    // A MAC text or box type is under 32 characters; longer is not a box's.
    static constexpr int MaxBoxFieldChars = 64;

    // Models this program lists, as a ", "-separated text.
    static constexpr char SupportedModels[] = "Q42D, Q86D";
    static constexpr char DefaultName[] = "Plumet";
    static constexpr char DefaultSerial[] = "Unknown";
    static constexpr char BoxName[] = "Box";
    static constexpr char DefaultBoxType[] = "Control Box";

    static QString docCamUrn();      // urn:<domain>:device:WirelessDocCam:1
    static QString boxUrn();         // urn:<domain>:device:TolvikPowerManagement:1

    // --- document cameras: program side ---------------------------------------

    // The M-SEARCH datagram (no terminating NUL).
    static QByteArray mSearch();

    enum class CacheControl { Valid, Zero, Missing };

    struct Answer
    {
        enum Kind {
            Ignored,       // not an answer for document cameras: dropped silently
            NoLocation,    // "SSDP data but no field LOCATION!"
            BadLocation,   // location has no host
            BadNts,        // notify sub type other than alive, update, byebye
            ByeBye,        // nothing to do
            Fetch          // alive or update: fetch the description at url
        };
        Kind kind = Ignored;
        QString location;   // the LOCATION text
        QUrl url;
        QString nts;        // "alive" when the header is missing
        CacheControl cacheControl = CacheControl::Missing;
    };

    // Checks an SSDP answer or notification (text up to its first NUL).
    static Answer parseAnswer(const QByteArray &datagram);

    struct Description
    {
        enum Outcome {
            Ok,
            NoUdn,                // also a UDN element without "uuid:"
            NoModelDescription,
            TooFewFields,         // fewer than nine
            TooManyFields,        // more than MaxDescriptionFields
            NameTooLong,          // more than MaxEncodedNameChars
            UnsupportedModel      // decoded name names no supported model
        };
        Outcome outcome = NoUdn;
        bool macError = false;
        bool bssidError = false;
        DocCamUpnpData data;
    };

    // Parses a description document (UTF-8 up to its first NUL, by plain text
    // search) fetched from ip.
    static Description parseDescription(const QByteArray &body, const QString &ip);

    // The camera name's 6-bit text -> UTF-16 text; "" when it decodes to nothing.
    static QString decodeName(const QString &encoded);
    // The reverse (UTF-16 little-endian, no byte-order mark).
    static QString encodeName(const QString &name);

    // Field 6: hex pairs become UTF-8 text; anything else is kept as it is.
    static QString decodeHexText(const QString &field);

    // "aa-bb-..." -> bytes when there are exactly six parts (false otherwise,
    // bytes left 0); *text gets the parts joined by ":" in upper case.
    static bool parseMacField(const QString &field, DocCamUpnpData::MacBytes *bytes, QString *text);

    // --- document cameras: camera side (simulator, tests) ------------------------

    static bool isMSearch(const QByteArray &datagram);
    // An answer to the M-SEARCH; maxAge < 0 leaves CACHE-CONTROL out, an
    // empty nts leaves NTS out.
    static QByteArray buildAnswer(const QString &location, const QString &uuid, int maxAge = 1800,
                                  const QString &nts = QString());

    // A description document. A null optional text leaves its element out.
    struct DescriptionText
    {
        QString udn;                 // the whole element text, e.g. "uuid:..."
        QString modelDescription;    // the colon-separated fields
        QString usePasscode;
        QString major;
        QString minor;
        QString fwVersion;
        QString ispState;
    };
    static QByteArray buildDescription(const DescriptionText &text);

    // --- control boxes --------------------------------------------------------

    // The announcement the program multicasts (no terminating NUL).
    static QByteArray boxAnnouncement();
    static bool isBoxAnnouncement(const QByteArray &datagram);

    struct BoxMessage
    {
        enum Outcome { NotBox, Unusable, Ok };
        Outcome outcome = NotBox;
        QString macText;   // exactly as sent
        QString type;      // "Control Box" when the message has none
    };
    static BoxMessage parseBoxMessage(const QByteArray &datagram);
    // A box's message; a null type leaves the "Type:" line out.
    static QByteArray buildBoxMessage(const QString &macText, const QString &type);

private:
    SsdpProtocol() = delete;
};

#endif // SSDPPROTOCOL_H
