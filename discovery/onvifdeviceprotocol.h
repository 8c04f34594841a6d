#ifndef ONVIFDEVICEPROTOCOL_H
#define ONVIFDEVICEPROTOCOL_H

#include "onvifsoap.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The device service calls this program makes, each as one pure encoder of
// its request and one pure parser of its answer, and camsim's side of them
// (request parser, answer encoders). Nothing here touches a socket.
class OnvifDeviceProtocol
{
public:
    enum class Call {
        Unknown,
        GetSystemDateAndTime,
        GetDeviceInformation,
        GetNetworkInterfaces,
        GetNetworkDefaultGateway,
        GetDNS,
        SetNetworkInterfaces,
        SetNetworkDefaultGateway,
        SetDNS,
        SystemReboot
    };
    static QString callName(Call call);
    // The SOAP action, for the Content-Type's action parameter.
    static QString action(Call call);

    // Addresses a list in an answer may carry that are kept.
    static constexpr int MaxInterfaces = 16;
    static constexpr int MaxAddresses = 8;

    // --- requests (program side) ------------------------------------------------------

    // GetSystemDateAndTime goes without a token; every other call with one.
    static QByteArray request(Call call, const OnvifSoap::Token *token);

    struct Ipv4Setting
    {
        bool dhcp = false;
        QString address;     // dotted, static only
        int prefixLength = 24;
    };
    static QByteArray setNetworkInterfaces(const OnvifSoap::Token &token, const QString &interfaceToken,
                                           const Ipv4Setting &setting);
    static QByteArray setNetworkDefaultGateway(const OnvifSoap::Token &token, const QString &gateway);
    static QByteArray setDns(const OnvifSoap::Token &token, bool fromDhcp, const QStringList &servers);

    // --- answers (program side) ---------------------------------------------------------

    struct DateTimeAnswer
    {
        OnvifSoap::Outcome outcome;
        QDateTime utc;           // the camera's clock
        bool fromLocalTime = false;   // no UTCDateTime: LocalDateTime taken as UTC
    };
    static DateTimeAnswer parseSystemDateAndTime(const QByteArray &answer);

    struct DeviceInformation
    {
        OnvifSoap::Outcome outcome;
        QString manufacturer;
        QString model;
        QString firmwareVersion;
        QString serialNumber;
        QString hardwareId;
    };
    static DeviceInformation parseDeviceInformation(const QByteArray &answer);

    struct NetworkInterface
    {
        QString token;
        bool enabled = false;
        QString name;
        QString hwAddress;       // as the camera wrote it
        bool ipv4Enabled = false;
        bool dhcp = false;
        QString manualAddress;
        int manualPrefix = 0;
        QString dhcpAddress;
        int dhcpPrefix = 0;

        // The address in use: from DHCP when on, else the first manual one.
        QString address() const { return dhcp && !dhcpAddress.isEmpty() ? dhcpAddress : manualAddress; }
        int prefixLength() const { return dhcp && !dhcpAddress.isEmpty() ? dhcpPrefix : manualPrefix; }
    };
    struct NetworkInterfaces
    {
        OnvifSoap::Outcome outcome;
        QList<NetworkInterface> interfaces;
        // The interface that carries address (dotted), else the first
        // enabled one with IPv4, else the first; -1 when there is none.
        int indexFor(const QString &address) const;
    };
    static NetworkInterfaces parseNetworkInterfaces(const QByteArray &answer);

    struct Gateway
    {
        OnvifSoap::Outcome outcome;
        QStringList ipv4;
    };
    static Gateway parseNetworkDefaultGateway(const QByteArray &answer);

    struct Dns
    {
        OnvifSoap::Outcome outcome;
        bool fromDhcp = false;
        QStringList manual;      // IPv4 only
        QStringList fromDhcpServers;
        QStringList inUse() const { return fromDhcp && !fromDhcpServers.isEmpty() ? fromDhcpServers : manual; }
    };
    static Dns parseDns(const QByteArray &answer);

    struct SetAnswer
    {
        OnvifSoap::Outcome outcome;
        bool rebootNeeded = false;
    };
    // SetNetworkInterfaces, SetNetworkDefaultGateway, SetDNS and SystemReboot.
    static SetAnswer parseSetAnswer(Call call, const QByteArray &answer);

    // "a.b.c.d" when text is a dotted IPv4 address, else "".
    static QString ipv4Text(const QString &text);
    static int prefixFromMask(const QString &mask);   // -1 when not contiguous
    static QString maskFromPrefix(int prefixLength);

    // --- camera side (camsim) -------------------------------------------------------------

    struct Request
    {
        Call call = Call::Unknown;
        QString refusal;           // why the request is not usable
        bool hasToken = false;
        OnvifSoap::Token token;
        // SetNetworkInterfaces
        QString interfaceToken;
        Ipv4Setting ipv4;
        bool ipv4Given = false;
        // SetNetworkDefaultGateway
        QStringList gateways;
        // SetDNS
        bool dnsFromDhcp = false;
        QStringList dnsServers;
    };
    static Request parseRequest(const QByteArray &body);

    static QByteArray systemDateAndTimeAnswer(const QDateTime &utc);
    static QByteArray deviceInformationAnswer(const DeviceInformation &information);
    static QByteArray networkInterfacesAnswer(const QList<NetworkInterface> &interfaces);
    static QByteArray networkDefaultGatewayAnswer(const QStringList &ipv4);
    static QByteArray dnsAnswer(const Dns &dns);
    // SetNetworkInterfaces answers RebootNeeded; the other writes answer empty.
    static QByteArray setAnswer(Call call, bool rebootNeeded);

private:
    OnvifDeviceProtocol() = delete;
};

#endif // ONVIFDEVICEPROTOCOL_H
