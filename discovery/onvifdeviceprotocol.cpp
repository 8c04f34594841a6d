#include "onvifdeviceprotocol.h"

#include <QHostAddress>

#include <functional>

namespace {

const QString &tds()
{
    return OnvifSoap::DeviceNamespace;
}

const QString &tt()
{
    return OnvifSoap::SchemaNamespace;
}

using BodyWriter = std::function<void(SoapWriter &)>;

// One message: the optional token, then the element named element with what
// writeContent puts in it.
QByteArray message(const OnvifSoap::Token *token, const QString &element, const BodyWriter &writeContent = nullptr)
{
    SoapWriter writer(OnvifSoap::namespaces());
    if (token)
        OnvifSoap::writeSecurityHeader(writer, *token);
    writer.beginBody();
    writer.xml().writeStartElement(tds(), element);
    if (writeContent)
        writeContent(writer);
    return writer.finish();
}

bool xsdBool(const QString &text)
{
    return text == QLatin1String("true") || text == QLatin1String("1");
}

// An answer parsed as far as its outcome; content is the answer element.
struct Read
{
    SoapDocument doc;
    int content = -1;
    OnvifSoap::Outcome outcome;

    Read(const QByteArray &answer, const QString &element)
        : doc(answer, OnvifSoap::answerLimits())
    {
        outcome = OnvifSoap::readAnswer(doc, element, &content);
    }
};

QStringList ipv4List(const SoapDocument &doc, const QVector<int> &elements)
{
    QStringList list;
    for (const int at : elements) {
        const QString address = OnvifDeviceProtocol::ipv4Text(doc.element(at).text);
        if (!address.isEmpty() && list.size() < OnvifDeviceProtocol::MaxAddresses)
            list.append(address);
    }
    return list;
}

// The IPv4Address children of every element of elements that is IPv4 (DNS
// entries carry a Type).
QStringList dnsEntries(const SoapDocument &doc, const QVector<int> &elements)
{
    QStringList list;
    for (const int at : elements) {
        const QString type = doc.text(at, {QStringLiteral("Type")});
        if (!type.isNull() && type != QLatin1String("IPv4"))
            continue;
        list += ipv4List(doc, doc.children(at, QStringLiteral("IPv4Address")));
    }
    return list.mid(0, OnvifDeviceProtocol::MaxAddresses);
}

int prefixText(const QString &text)
{
    bool ok = false;
    const int prefix = text.toInt(&ok);
    return ok && prefix >= 0 && prefix <= 32 ? prefix : 0;
}

QDateTime readDateTime(const SoapDocument &doc, int element)
{
    if (element < 0)
        return QDateTime();
    auto number = [&](const QString &group, const QString &name) {
        bool ok = false;
        const int value = doc.text(element, {group, name}).toInt(&ok);
        return ok ? value : -1;
    };
    const QDate date(number(QStringLiteral("Date"), QStringLiteral("Year")), number(QStringLiteral("Date"), QStringLiteral("Month")),
                     number(QStringLiteral("Date"), QStringLiteral("Day")));
    const QTime time(number(QStringLiteral("Time"), QStringLiteral("Hour")), number(QStringLiteral("Time"), QStringLiteral("Minute")),
                     number(QStringLiteral("Time"), QStringLiteral("Second")));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

void writeDateTime(SoapWriter &writer, const QString &element, const QDateTime &utc)
{
    QXmlStreamWriter &xml = writer.xml();
    xml.writeStartElement(tt(), element);
    xml.writeStartElement(tt(), QStringLiteral("Time"));
    writer.textElement(tt(), QStringLiteral("Hour"), QString::number(utc.time().hour()));
    writer.textElement(tt(), QStringLiteral("Minute"), QString::number(utc.time().minute()));
    writer.textElement(tt(), QStringLiteral("Second"), QString::number(utc.time().second()));
    xml.writeEndElement();
    xml.writeStartElement(tt(), QStringLiteral("Date"));
    writer.textElement(tt(), QStringLiteral("Year"), QString::number(utc.date().year()));
    writer.textElement(tt(), QStringLiteral("Month"), QString::number(utc.date().month()));
    writer.textElement(tt(), QStringLiteral("Day"), QString::number(utc.date().day()));
    xml.writeEndElement();
    xml.writeEndElement();
}

// DNS entries: one element per address, each with its Type.
void writeDnsEntries(SoapWriter &writer, const QString &ns, const QString &element, const QStringList &addresses)
{
    for (const QString &address : addresses) {
        writer.xml().writeStartElement(ns, element);
        writer.textElement(tt(), QStringLiteral("Type"), QStringLiteral("IPv4"));
        writer.textElement(tt(), QStringLiteral("IPv4Address"), address);
        writer.xml().writeEndElement();
    }
}

const QString &responseSuffix()
{
    static const QString suffix = QStringLiteral("Response");
    return suffix;
}

} // namespace

QString OnvifDeviceProtocol::callName(Call call)
{
    switch (call) {
    case Call::GetSystemDateAndTime:
        return QStringLiteral("GetSystemDateAndTime");
    case Call::GetDeviceInformation:
        return QStringLiteral("GetDeviceInformation");
    case Call::GetNetworkInterfaces:
        return QStringLiteral("GetNetworkInterfaces");
    case Call::GetNetworkDefaultGateway:
        return QStringLiteral("GetNetworkDefaultGateway");
    case Call::GetDNS:
        return QStringLiteral("GetDNS");
    case Call::SetNetworkInterfaces:
        return QStringLiteral("SetNetworkInterfaces");
    case Call::SetNetworkDefaultGateway:
        return QStringLiteral("SetNetworkDefaultGateway");
    case Call::SetDNS:
        return QStringLiteral("SetDNS");
    case Call::SystemReboot:
        return QStringLiteral("SystemReboot");
    case Call::Unknown:
        break;
    }
    return QString();
}

QString OnvifDeviceProtocol::action(Call call)
{
    return OnvifSoap::DeviceNamespace + QLatin1Char('/') + callName(call);
}

QByteArray OnvifDeviceProtocol::request(Call call, const OnvifSoap::Token *token)
{
    return message(call == Call::GetSystemDateAndTime ? nullptr : token, callName(call));
}

QByteArray OnvifDeviceProtocol::setNetworkInterfaces(const OnvifSoap::Token &token, const QString &interfaceToken,
                                                     const Ipv4Setting &setting)
{
    return message(&token, callName(Call::SetNetworkInterfaces), [&](SoapWriter &writer) {
        QXmlStreamWriter &xml = writer.xml();
        writer.textElement(tds(), QStringLiteral("InterfaceToken"), interfaceToken);
        xml.writeStartElement(tds(), QStringLiteral("NetworkInterface"));
        writer.boolElement(tt(), QStringLiteral("Enabled"), true);
        xml.writeStartElement(tt(), QStringLiteral("IPv4"));
        writer.boolElement(tt(), QStringLiteral("Enabled"), true);
        if (!setting.dhcp) {
            xml.writeStartElement(tt(), QStringLiteral("Manual"));
            writer.textElement(tt(), QStringLiteral("Address"), setting.address);
            writer.textElement(tt(), QStringLiteral("PrefixLength"), QString::number(setting.prefixLength));
            xml.writeEndElement();
        }
        writer.boolElement(tt(), QStringLiteral("DHCP"), setting.dhcp);
        xml.writeEndElement();
        xml.writeEndElement();
    });
}

QByteArray OnvifDeviceProtocol::setNetworkDefaultGateway(const OnvifSoap::Token &token, const QString &gateway)
{
    return message(&token, callName(Call::SetNetworkDefaultGateway), [&](SoapWriter &writer) {
        if (!gateway.isEmpty())
            writer.textElement(tds(), QStringLiteral("IPv4Address"), gateway);
    });
}

QByteArray OnvifDeviceProtocol::setDns(const OnvifSoap::Token &token, bool fromDhcp, const QStringList &servers)
{
    return message(&token, callName(Call::SetDNS), [&](SoapWriter &writer) {
        writer.boolElement(tds(), QStringLiteral("FromDHCP"), fromDhcp);
        if (!fromDhcp)
            writeDnsEntries(writer, tds(), QStringLiteral("DNSManual"), servers);
    });
}

OnvifDeviceProtocol::DateTimeAnswer OnvifDeviceProtocol::parseSystemDateAndTime(const QByteArray &answer)
{
    DateTimeAnswer result;
    const Read read(answer, callName(Call::GetSystemDateAndTime) + responseSuffix());
    result.outcome = read.outcome;
    if (read.outcome.kind != OnvifSoap::Outcome::Ok)
        return result;
    const int time = read.doc.child(read.content, QStringLiteral("SystemDateAndTime"));
    result.utc = readDateTime(read.doc, read.doc.child(time, QStringLiteral("UTCDateTime")));
    if (!result.utc.isValid()) {
        result.utc = readDateTime(read.doc, read.doc.child(time, QStringLiteral("LocalDateTime")));
        result.fromLocalTime = result.utc.isValid();
    }
    if (!result.utc.isValid()) {
        result.outcome.kind = OnvifSoap::Outcome::Malformed;
        result.outcome.detail = QStringLiteral("the answer holds no valid date and time");
    }
    return result;
}

OnvifDeviceProtocol::DeviceInformation OnvifDeviceProtocol::parseDeviceInformation(const QByteArray &answer)
{
    DeviceInformation result;
    const Read read(answer, callName(Call::GetDeviceInformation) + responseSuffix());
    result.outcome = read.outcome;
    if (read.outcome.kind != OnvifSoap::Outcome::Ok)
        return result;
    auto field = [&](const char *name) { return read.doc.text(read.content, {QString::fromLatin1(name)}).left(256); };
    result.manufacturer = field("Manufacturer");
    result.model = field("Model");
    result.firmwareVersion = field("FirmwareVersion");
    result.serialNumber = field("SerialNumber");
    result.hardwareId = field("HardwareId");
    return result;
}

int OnvifDeviceProtocol::NetworkInterfaces::indexFor(const QString &address) const
{
    for (int i = 0; i < interfaces.size(); ++i) {
        if (!address.isEmpty() && interfaces.at(i).address() == address)
            return i;
    }
    for (int i = 0; i < interfaces.size(); ++i) {
        if (interfaces.at(i).enabled && interfaces.at(i).ipv4Enabled)
            return i;
    }
    return interfaces.isEmpty() ? -1 : 0;
}

OnvifDeviceProtocol::NetworkInterfaces OnvifDeviceProtocol::parseNetworkInterfaces(const QByteArray &answer)
{
    NetworkInterfaces result;
    const Read read(answer, callName(Call::GetNetworkInterfaces) + responseSuffix());
    result.outcome = read.outcome;
    if (read.outcome.kind != OnvifSoap::Outcome::Ok)
        return result;
    const SoapDocument &doc = read.doc;
    const QVector<int> elements = doc.children(read.content, QStringLiteral("NetworkInterfaces"));
    for (const int at : elements) {
        if (result.interfaces.size() >= MaxInterfaces)
            break;
        NetworkInterface entry;
        entry.token = doc.attribute(at, QStringLiteral("token")).left(64);
        entry.enabled = xsdBool(doc.text(at, {QStringLiteral("Enabled")}));
        entry.name = doc.text(at, {QStringLiteral("Info"), QStringLiteral("Name")}).left(64);
        entry.hwAddress = doc.text(at, {QStringLiteral("Info"), QStringLiteral("HwAddress")}).left(64);
        const int ipv4 = doc.child(at, QStringLiteral("IPv4"));
        entry.ipv4Enabled = xsdBool(doc.text(ipv4, {QStringLiteral("Enabled")}));
        const int config = doc.child(ipv4, QStringLiteral("Config"));
        entry.dhcp = xsdBool(doc.text(config, {QStringLiteral("DHCP")}));
        const int manual = doc.child(config, QStringLiteral("Manual"));
        entry.manualAddress = ipv4Text(doc.text(manual, {QStringLiteral("Address")}));
        entry.manualPrefix = prefixText(doc.text(manual, {QStringLiteral("PrefixLength")}));
        const int fromDhcp = doc.child(config, QStringLiteral("FromDHCP"));
        entry.dhcpAddress = ipv4Text(doc.text(fromDhcp, {QStringLiteral("Address")}));
        entry.dhcpPrefix = prefixText(doc.text(fromDhcp, {QStringLiteral("PrefixLength")}));
        result.interfaces.append(entry);
    }
    if (result.interfaces.isEmpty()) {
        result.outcome.kind = OnvifSoap::Outcome::Malformed;
        result.outcome.detail = QStringLiteral("the answer lists no network interface");
    }
    return result;
}

OnvifDeviceProtocol::Gateway OnvifDeviceProtocol::parseNetworkDefaultGateway(const QByteArray &answer)
{
    Gateway result;
    const Read read(answer, callName(Call::GetNetworkDefaultGateway) + responseSuffix());
    result.outcome = read.outcome;
    if (read.outcome.kind != OnvifSoap::Outcome::Ok)
        return result;
    const int gateway = read.doc.child(read.content, QStringLiteral("NetworkGateway"));
    result.ipv4 = ipv4List(read.doc, read.doc.children(gateway, QStringLiteral("IPv4Address")));
    return result;
}

OnvifDeviceProtocol::Dns OnvifDeviceProtocol::parseDns(const QByteArray &answer)
{
    Dns result;
    const Read read(answer, callName(Call::GetDNS) + responseSuffix());
    result.outcome = read.outcome;
    if (read.outcome.kind != OnvifSoap::Outcome::Ok)
        return result;
    const int information = read.doc.child(read.content, QStringLiteral("DNSInformation"));
    result.fromDhcp = xsdBool(read.doc.text(information, {QStringLiteral("FromDHCP")}));
    result.manual = dnsEntries(read.doc, read.doc.children(information, QStringLiteral("DNSManual")));
    result.fromDhcpServers = dnsEntries(read.doc, read.doc.children(information, QStringLiteral("DNSFromDHCP")));
    return result;
}

OnvifDeviceProtocol::SetAnswer OnvifDeviceProtocol::parseSetAnswer(Call call, const QByteArray &answer)
{
    SetAnswer result;
    const Read read(answer, callName(call) + responseSuffix());
    result.outcome = read.outcome;
    if (read.outcome.kind == OnvifSoap::Outcome::Ok && call == Call::SetNetworkInterfaces)
        result.rebootNeeded = xsdBool(read.doc.text(read.content, {QStringLiteral("RebootNeeded")}));
    return result;
}

QString OnvifDeviceProtocol::ipv4Text(const QString &text)
{
    QHostAddress address;
    if (text.size() > 15 || !address.setAddress(text.trimmed()) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return QString();
    return address.toString();
}

int OnvifDeviceProtocol::prefixFromMask(const QString &mask)
{
    const QString text = ipv4Text(mask);
    if (text.isEmpty())
        return -1;
    const quint32 bits = QHostAddress(text).toIPv4Address();
    int prefix = 0;
    while (prefix < 32 && (bits & (0x80000000u >> prefix)))
        ++prefix;
    const quint32 expected = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    return bits == expected ? prefix : -1;
}

QString OnvifDeviceProtocol::maskFromPrefix(int prefixLength)
{
    const int prefix = qBound(0, prefixLength, 32);
    return QHostAddress(prefix == 0 ? 0u : ~quint32(0) << (32 - prefix)).toString();
}

OnvifDeviceProtocol::Request OnvifDeviceProtocol::parseRequest(const QByteArray &body)
{
    Request request;
    const SoapDocument doc(body, OnvifSoap::requestLimits());
    if (!doc.isValid()) {
        request.refusal = QStringLiteral("the request is %1").arg(QString::fromLatin1(SoapDocument::outcomeName(doc.outcome())));
        return request;
    }
    const int soapBody = doc.body();
    if (soapBody < 0 || doc.element(soapBody).children.isEmpty()) {
        request.refusal = QStringLiteral("the request is not a SOAP envelope with a body");
        return request;
    }
    request.hasToken = OnvifSoap::readToken(doc, &request.token);
    const int content = doc.element(soapBody).children.first();
    const SoapDocument::Element &element = doc.element(content);
    for (int i = int(Call::GetSystemDateAndTime); i <= int(Call::SystemReboot); ++i) {
        if (element.ns == OnvifSoap::DeviceNamespace && element.name == callName(Call(i)))
            request.call = Call(i);
    }
    switch (request.call) {
    case Call::SetNetworkInterfaces: {
        request.interfaceToken = doc.text(content, {QStringLiteral("InterfaceToken")});
        const int ipv4 = doc.path(content, {QStringLiteral("NetworkInterface"), QStringLiteral("IPv4")});
        request.ipv4Given = ipv4 >= 0;
        request.ipv4.dhcp = xsdBool(doc.text(ipv4, {QStringLiteral("DHCP")}));
        request.ipv4.address = ipv4Text(doc.text(ipv4, {QStringLiteral("Manual"), QStringLiteral("Address")}));
        request.ipv4.prefixLength = prefixText(doc.text(ipv4, {QStringLiteral("Manual"), QStringLiteral("PrefixLength")}));
        break;
    }
    case Call::SetNetworkDefaultGateway:
        request.gateways = ipv4List(doc, doc.children(content, QStringLiteral("IPv4Address")));
        break;
    case Call::SetDNS:
        request.dnsFromDhcp = xsdBool(doc.text(content, {QStringLiteral("FromDHCP")}));
        request.dnsServers = dnsEntries(doc, doc.children(content, QStringLiteral("DNSManual")));
        break;
    case Call::Unknown:
        request.refusal = QStringLiteral("%1 is not a device call this service knows").arg(element.name.left(64));
        break;
    default:
        break;
    }
    return request;
}

QByteArray OnvifDeviceProtocol::systemDateAndTimeAnswer(const QDateTime &utc)
{
    return message(nullptr, callName(Call::GetSystemDateAndTime) + responseSuffix(), [&](SoapWriter &writer) {
        QXmlStreamWriter &xml = writer.xml();
        xml.writeStartElement(tds(), QStringLiteral("SystemDateAndTime"));
        writer.textElement(tt(), QStringLiteral("DateTimeType"), QStringLiteral("Manual"));
        writer.boolElement(tt(), QStringLiteral("DaylightSavings"), false);
        xml.writeStartElement(tt(), QStringLiteral("TimeZone"));
        writer.textElement(tt(), QStringLiteral("TZ"), QStringLiteral("UTC0"));
        xml.writeEndElement();
        writeDateTime(writer, QStringLiteral("UTCDateTime"), utc.toUTC());
        xml.writeEndElement();
    });
}

QByteArray OnvifDeviceProtocol::deviceInformationAnswer(const DeviceInformation &information)
{
    return message(nullptr, callName(Call::GetDeviceInformation) + responseSuffix(), [&](SoapWriter &writer) {
        writer.textElement(tds(), QStringLiteral("Manufacturer"), information.manufacturer);
        writer.textElement(tds(), QStringLiteral("Model"), information.model);
        writer.textElement(tds(), QStringLiteral("FirmwareVersion"), information.firmwareVersion);
        writer.textElement(tds(), QStringLiteral("SerialNumber"), information.serialNumber);
        writer.textElement(tds(), QStringLiteral("HardwareId"), information.hardwareId);
    });
}

QByteArray OnvifDeviceProtocol::networkInterfacesAnswer(const QList<NetworkInterface> &interfaces)
{
    return message(nullptr, callName(Call::GetNetworkInterfaces) + responseSuffix(), [&](SoapWriter &writer) {
        QXmlStreamWriter &xml = writer.xml();
        for (const NetworkInterface &entry : interfaces) {
            xml.writeStartElement(tds(), QStringLiteral("NetworkInterfaces"));
            xml.writeAttribute(QStringLiteral("token"), entry.token);
            writer.boolElement(tt(), QStringLiteral("Enabled"), entry.enabled);
            xml.writeStartElement(tt(), QStringLiteral("Info"));
            writer.textElement(tt(), QStringLiteral("Name"), entry.name);
            writer.textElement(tt(), QStringLiteral("HwAddress"), entry.hwAddress);
            writer.textElement(tt(), QStringLiteral("MTU"), QStringLiteral("1500"));
            xml.writeEndElement();
            xml.writeStartElement(tt(), QStringLiteral("IPv4"));
            writer.boolElement(tt(), QStringLiteral("Enabled"), entry.ipv4Enabled);
            xml.writeStartElement(tt(), QStringLiteral("Config"));
            if (!entry.manualAddress.isEmpty()) {
                xml.writeStartElement(tt(), QStringLiteral("Manual"));
                writer.textElement(tt(), QStringLiteral("Address"), entry.manualAddress);
                writer.textElement(tt(), QStringLiteral("PrefixLength"), QString::number(entry.manualPrefix));
                xml.writeEndElement();
            }
            if (!entry.dhcpAddress.isEmpty()) {
                xml.writeStartElement(tt(), QStringLiteral("FromDHCP"));
                writer.textElement(tt(), QStringLiteral("Address"), entry.dhcpAddress);
                writer.textElement(tt(), QStringLiteral("PrefixLength"), QString::number(entry.dhcpPrefix));
                xml.writeEndElement();
            }
            writer.boolElement(tt(), QStringLiteral("DHCP"), entry.dhcp);
            xml.writeEndElement();
            xml.writeEndElement();
            xml.writeEndElement();
        }
    });
}

QByteArray OnvifDeviceProtocol::networkDefaultGatewayAnswer(const QStringList &ipv4)
{
    return message(nullptr, callName(Call::GetNetworkDefaultGateway) + responseSuffix(), [&](SoapWriter &writer) {
        writer.xml().writeStartElement(tds(), QStringLiteral("NetworkGateway"));
        for (const QString &address : ipv4)
            writer.textElement(tt(), QStringLiteral("IPv4Address"), address);
        writer.xml().writeEndElement();
    });
}

QByteArray OnvifDeviceProtocol::dnsAnswer(const Dns &dns)
{
    return message(nullptr, callName(Call::GetDNS) + responseSuffix(), [&](SoapWriter &writer) {
        writer.xml().writeStartElement(tds(), QStringLiteral("DNSInformation"));
        writer.boolElement(tt(), QStringLiteral("FromDHCP"), dns.fromDhcp);
        writeDnsEntries(writer, tt(), QStringLiteral("DNSFromDHCP"), dns.fromDhcpServers);
        writeDnsEntries(writer, tt(), QStringLiteral("DNSManual"), dns.manual);
        writer.xml().writeEndElement();
    });
}

QByteArray OnvifDeviceProtocol::setAnswer(Call call, bool rebootNeeded)
{
    return message(nullptr, callName(call) + responseSuffix(), [&](SoapWriter &writer) {
        if (call == Call::SetNetworkInterfaces)
            writer.boolElement(tds(), QStringLiteral("RebootNeeded"), rebootNeeded);
        else if (call == Call::SystemReboot)
            writer.textElement(tds(), QStringLiteral("Message"), QStringLiteral("Rebooting"));
    });
}
