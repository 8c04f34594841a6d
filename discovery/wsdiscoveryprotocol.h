#ifndef WSDISCOVERYPROTOCOL_H
#define WSDISCOVERYPROTOCOL_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// WS-Discovery as ONVIF cameras speak it (the 2005/04 draft namespace, SOAP
// 1.2 over UDP), written once and shared by the search sockets, camsim and
// the tests. Nothing here touches a socket.
//
// The program multicasts a Probe to 239.255.255.250:3702; a camera answers
// with ProbeMatches by unicast to the probe's source port, announces itself
// with Hello when it joins the network and with Bye when it leaves.
class WsDiscoveryProtocol
{
public:
    static constexpr char MulticastGroup[] = "239.255.255.250";
    static constexpr quint16 Port = 3702;

    // --- size limits ------------------------------------------------------------
    // A UDP datagram cannot be larger; a real ProbeMatches is 1-3 KiB.
    static constexpr int MaxDatagramSize = 64 * 1024;
    // Matches in one message: a camera sends one.
    static constexpr int MaxMatches = 16;
    // Types, scopes and XAddrs of one target; a camera lists a handful.
    static constexpr int MaxListItems = 64;
    // One scope or XAddr URI, and an endpoint address.
    static constexpr int MaxUriChars = 1024;
    // A decoded name, hardware or location as the table shows it.
    static constexpr int MaxScopeTextChars = 256;

    // --- SOAP-over-UDP retransmission ---------------------------------------------
    // A multicast message is sent once and repeated MulticastUdpRepeat times:
    // the first repeat after a random delay in [UdpMinDelayMs, UdpMaxDelayMs],
    // each further one after twice the last delay, capped at UdpUpperDelayMs.
    // The rules' default is one repeat; one more costs two small datagrams an
    // adapter and still finds a camera when two copies are lost.
    static constexpr int UdpMinDelayMs = 50;
    static constexpr int UdpMaxDelayMs = 250;
    static constexpr int UdpUpperDelayMs = 500;
    static constexpr int MulticastUdpRepeat = 2;
    static constexpr int UnicastUdpRepeat = 1;
    // A target waits a random time up to this before it answers a multicast Probe.
    static constexpr int AppMaxDelayMs = 500;

    // Types as "{namespace}LocalName".
    static const QString NetworkVideoTransmitterType;
    static const QString DeviceType;

    // Delays (ms) before each repeat, as above. random(lo, hi) gives a number
    // in [lo, hi]; tests pass a fixed one.
    static QVector<int> repeatDelays(int repeats, const std::function<int(int, int)> &random);

    // "uuid:" and a fresh random UUID: a message's MessageID.
    static QString newMessageId();

    // The Probe for dn:NetworkVideoTransmitter and tds:Device.
    static QByteArray probe(const QString &messageId);

    // One target as a ProbeMatch or Hello describes it.
    struct Target
    {
        QString endpoint;            // "urn:uuid:..." in lower case
        QStringList types;           // "{namespace}LocalName"
        QStringList scopes;
        QStringList xaddrs;
        quint32 metadataVersion = 0;
        // Decoded from the ONVIF scopes (onvif://www.onvif.org/name/...).
        QString name;
        QString hardware;
        QString location;
    };

    struct Message
    {
        enum Kind {
            Refused,       // not usable: see refusal
            Probe,
            ProbeMatches,
            Hello,
            Bye,
            Other          // well-formed SOAP of another action (Resolve, ...)
        };
        Kind kind = Refused;
        QString refusal;
        QString messageId;
        QString relatesTo;
        QStringList probeTypes;      // Probe: "{namespace}LocalName"
        QList<Target> targets;       // ProbeMatches (each match), Hello and Bye (one)
    };

    // Reads a datagram of any of the kinds above. A target without a uuid
    // endpoint address is left out (a message left without targets is
    // Refused); its lists are cut to MaxListItems, long URIs dropped.
    static Message parse(const QByteArray &datagram);

    // The XAddrs worth using: http or https, the host exactly the IPv4
    // address that sent them (anything on the LAN can name any host).
    static QStringList usableXAddrs(const QStringList &xaddrs, const QHostAddress &sender);

    // "urn:uuid:<lower-case uuid>" for "urn:uuid:..." or "uuid:..."; "" for anything else.
    static QString normalizedEndpoint(const QString &address);

    // The text of the first onvif://www.onvif.org/<kind>/ scope (all of them,
    // joined by ", ", for "location"), percent-decoded, controls replaced, cut
    // to MaxScopeTextChars.
    static QString scopeText(const QStringList &scopes, const QString &kind);
    // The scope carrying text under kind, percent-encoded.
    static QString scope(const QString &kind, const QString &text);

    // --- camera side (camsim, tests) -----------------------------------------------

    // Whether a Probe for probeTypes finds a target of targetTypes: every
    // type asked is one the target has; a Probe without types finds all.
    // Cameras differ: strict ones need all, lenient ones any; camsim is strict.
    static bool matches(const QStringList &probeTypes, const QStringList &targetTypes);
    static QByteArray probeMatches(const QString &messageId, const QString &relatesTo, const Target &target);
    static QByteArray hello(const QString &messageId, const Target &target);
    static QByteArray bye(const QString &messageId, const QString &endpoint);
    // A Probe with exactly these types (tests of matching).
    static QByteArray probeFor(const QString &messageId, const QStringList &types);

private:
    WsDiscoveryProtocol() = delete;
};

#endif // WSDISCOVERYPROTOCOL_H
