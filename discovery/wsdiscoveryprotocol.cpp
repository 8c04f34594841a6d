#include "wsdiscoveryprotocol.h"

#include "soapdocument.h"
#include "soapwriter.h"

#include <QRegularExpression>

#include <algorithm>
#include <QUrl>
#include <QUuid>

namespace {

const QString Addressing = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
const QString Discovery = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");
// WS-Discovery 1.1 as well: a few devices answer in it.
const QString Discovery11 = QStringLiteral("http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01");
const QString NetworkWsdl = QStringLiteral("http://www.onvif.org/ver10/network/wsdl");
const QString DeviceWsdl = QStringLiteral("http://www.onvif.org/ver10/device/wsdl");
const QString Anonymous = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous");
const QString DiscoveryTo = QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery");
const QString ScopePrefix = QStringLiteral("onvif://www.onvif.org/");

SoapDocument::Limits datagramLimits()
{
    SoapDocument::Limits limits;
    limits.maxBytes = WsDiscoveryProtocol::MaxDatagramSize;
    limits.maxDepth = 16;
    limits.maxElements = 1024;
    limits.maxTextChars = WsDiscoveryProtocol::MaxListItems * (WsDiscoveryProtocol::MaxUriChars + 1);
    return limits;
}

const SoapWriter::Namespaces &messageNamespaces()
{
    static const SoapWriter::Namespaces namespaces{{QStringLiteral("a"), Addressing},
                                                   {QStringLiteral("d"), Discovery},
                                                   {QStringLiteral("dn"), NetworkWsdl},
                                                   {QStringLiteral("tds"), DeviceWsdl}};
    return namespaces;
}

QStringList splitList(const QString &text)
{
    QStringList items = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (items.size() > WsDiscoveryProtocol::MaxListItems)
        items = items.mid(0, WsDiscoveryProtocol::MaxListItems);
    items.erase(std::remove_if(items.begin(), items.end(),
                               [](const QString &item) { return item.size() > WsDiscoveryProtocol::MaxUriChars; }),
                items.end());
    return items;
}

// "prefix:Local" resolved where the list stands -> "{namespace}Local";
// unresolvable names are dropped.
QStringList resolveTypes(const SoapDocument &doc, int element)
{
    QStringList types;
    const QStringList names = splitList(doc.element(element).text);
    for (const QString &name : names) {
        const int colon = name.indexOf(QLatin1Char(':'));
        const QString prefix = colon < 0 ? QString() : name.left(colon);
        const QString local = colon < 0 ? name : name.mid(colon + 1);
        const QString ns = doc.resolvePrefix(element, prefix);
        if (local.isEmpty() || ns.isEmpty())
            continue;
        types.append(QStringLiteral("{%1}%2").arg(ns, local));
    }
    return types;
}

// "{ns}Local" -> "prefix:Local" with the prefixes of messageNamespaces().
QString typesText(const QStringList &types)
{
    QStringList names;
    for (const QString &type : types) {
        const int close = type.indexOf(QLatin1Char('}'));
        const QString ns = type.mid(1, close - 1);
        for (const auto &known : messageNamespaces()) {
            if (known.second == ns)
                names.append(known.first + QLatin1Char(':') + type.mid(close + 1));
        }
    }
    return names.join(QLatin1Char(' '));
}

bool isDiscoveryNamespace(const QString &ns)
{
    return ns == Discovery || ns == Discovery11;
}

void writeHeader(SoapWriter &writer, const QString &action, const QString &messageId, const QString &relatesTo,
                 const QString &to)
{
    QXmlStreamWriter &xml = writer.xml();
    writer.beginHeader();
    writer.textElement(Addressing, QStringLiteral("MessageID"), messageId);
    if (!relatesTo.isEmpty())
        writer.textElement(Addressing, QStringLiteral("RelatesTo"), relatesTo);
    writer.textElement(Addressing, QStringLiteral("To"), to);
    writer.textElement(Addressing, QStringLiteral("Action"), Discovery + QLatin1Char('/') + action);
    if (action == QLatin1String("Probe")) {
        xml.writeStartElement(Addressing, QStringLiteral("ReplyTo"));
        writer.textElement(Addressing, QStringLiteral("Address"), Anonymous);
        xml.writeEndElement();
    }
    writer.endHeader();
}

void writeEndpoint(SoapWriter &writer, const QString &endpoint)
{
    writer.xml().writeStartElement(Addressing, QStringLiteral("EndpointReference"));
    writer.textElement(Addressing, QStringLiteral("Address"), endpoint);
    writer.xml().writeEndElement();
}

void writeTarget(SoapWriter &writer, const WsDiscoveryProtocol::Target &target)
{
    writeEndpoint(writer, target.endpoint);
    writer.textElement(Discovery, QStringLiteral("Types"), typesText(target.types));
    writer.textElement(Discovery, QStringLiteral("Scopes"), target.scopes.join(QLatin1Char(' ')));
    writer.textElement(Discovery, QStringLiteral("XAddrs"), target.xaddrs.join(QLatin1Char(' ')));
    writer.textElement(Discovery, QStringLiteral("MetadataVersion"), QString::number(target.metadataVersion));
}

// A ProbeMatch, Hello or Bye element; false when it names no uuid endpoint.
bool readTarget(const SoapDocument &doc, int element, WsDiscoveryProtocol::Target *target)
{
    target->endpoint = WsDiscoveryProtocol::normalizedEndpoint(
        doc.text(element, {QStringLiteral("EndpointReference"), QStringLiteral("Address")}));
    if (target->endpoint.isEmpty())
        return false;
    const int types = doc.child(element, QStringLiteral("Types"));
    if (types >= 0)
        target->types = resolveTypes(doc, types);
    target->scopes = splitList(doc.text(element, {QStringLiteral("Scopes")}));
    target->xaddrs = splitList(doc.text(element, {QStringLiteral("XAddrs")}));
    target->metadataVersion = doc.text(element, {QStringLiteral("MetadataVersion")}).toUInt();
    target->name = WsDiscoveryProtocol::scopeText(target->scopes, QStringLiteral("name"));
    target->hardware = WsDiscoveryProtocol::scopeText(target->scopes, QStringLiteral("hardware"));
    target->location = WsDiscoveryProtocol::scopeText(target->scopes, QStringLiteral("location"));
    return true;
}

QString shown(const QString &text)
{
    QString result = text.left(WsDiscoveryProtocol::MaxScopeTextChars);
    for (QChar &c : result) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    }
    return result.trimmed();
}

} // namespace

const QString WsDiscoveryProtocol::NetworkVideoTransmitterType =
    QStringLiteral("{http://www.onvif.org/ver10/network/wsdl}NetworkVideoTransmitter");
const QString WsDiscoveryProtocol::DeviceType = QStringLiteral("{http://www.onvif.org/ver10/device/wsdl}Device");

QVector<int> WsDiscoveryProtocol::repeatDelays(int repeats, const std::function<int(int, int)> &random)
{
    QVector<int> delays;
    int delay = qBound(UdpMinDelayMs, random(UdpMinDelayMs, UdpMaxDelayMs), UdpMaxDelayMs);
    for (int i = 0; i < repeats; ++i) {
        delays.append(delay);
        delay = qMin(delay * 2, UdpUpperDelayMs);
    }
    return delays;
}

QString WsDiscoveryProtocol::newMessageId()
{
    return QStringLiteral("uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray WsDiscoveryProtocol::probe(const QString &messageId)
{
    return probeFor(messageId, {NetworkVideoTransmitterType, DeviceType});
}

QByteArray WsDiscoveryProtocol::probeFor(const QString &messageId, const QStringList &types)
{
    SoapWriter writer(messageNamespaces());
    writeHeader(writer, QStringLiteral("Probe"), messageId, QString(), DiscoveryTo);
    writer.beginBody();
    writer.xml().writeStartElement(Discovery, QStringLiteral("Probe"));
    writer.textElement(Discovery, QStringLiteral("Types"), typesText(types));
    return writer.finish();
}

QByteArray WsDiscoveryProtocol::probeMatches(const QString &messageId, const QString &relatesTo, const Target &target)
{
    SoapWriter writer(messageNamespaces());
    writeHeader(writer, QStringLiteral("ProbeMatches"), messageId, relatesTo, Anonymous);
    writer.beginBody();
    writer.xml().writeStartElement(Discovery, QStringLiteral("ProbeMatches"));
    writer.xml().writeStartElement(Discovery, QStringLiteral("ProbeMatch"));
    writeTarget(writer, target);
    return writer.finish();
}

QByteArray WsDiscoveryProtocol::hello(const QString &messageId, const Target &target)
{
    SoapWriter writer(messageNamespaces());
    writeHeader(writer, QStringLiteral("Hello"), messageId, QString(), DiscoveryTo);
    writer.beginBody();
    writer.xml().writeStartElement(Discovery, QStringLiteral("Hello"));
    writeTarget(writer, target);
    return writer.finish();
}

QByteArray WsDiscoveryProtocol::bye(const QString &messageId, const QString &endpoint)
{
    SoapWriter writer(messageNamespaces());
    writeHeader(writer, QStringLiteral("Bye"), messageId, QString(), DiscoveryTo);
    writer.beginBody();
    writer.xml().writeStartElement(Discovery, QStringLiteral("Bye"));
    writeEndpoint(writer, endpoint);
    return writer.finish();
}

WsDiscoveryProtocol::Message WsDiscoveryProtocol::parse(const QByteArray &datagram)
{
    Message message;
    const SoapDocument doc(datagram, datagramLimits());
    if (!doc.isValid()) {
        message.refusal = QString::fromLatin1(SoapDocument::outcomeName(doc.outcome()));
        return message;
    }
    const int body = doc.body();
    const QVector<int> &bodyChildren = body < 0 ? QVector<int>() : doc.element(body).children;
    if (bodyChildren.isEmpty()) {
        message.refusal = QStringLiteral("not a SOAP message");
        return message;
    }
    const int header = doc.header();
    message.messageId = doc.text(header, {QStringLiteral("MessageID")}).left(MaxUriChars);
    message.relatesTo = doc.text(header, {QStringLiteral("RelatesTo")}).left(MaxUriChars);

    const int content = bodyChildren.first();
    const SoapDocument::Element &element = doc.element(content);
    if (!isDiscoveryNamespace(element.ns)) {
        message.kind = Message::Other;
        return message;
    }
    QVector<int> targetElements;
    if (element.name == QLatin1String("Probe")) {
        message.kind = Message::Probe;
        const int types = doc.child(content, QStringLiteral("Types"));
        if (types >= 0)
            message.probeTypes = resolveTypes(doc, types);
        return message;
    } else if (element.name == QLatin1String("ProbeMatches")) {
        message.kind = Message::ProbeMatches;
        targetElements = doc.children(content, QStringLiteral("ProbeMatch"));
        if (targetElements.size() > MaxMatches)
            targetElements.resize(MaxMatches);
    } else if (element.name == QLatin1String("Hello")) {
        message.kind = Message::Hello;
        targetElements = {content};
    } else if (element.name == QLatin1String("Bye")) {
        message.kind = Message::Bye;
        targetElements = {content};
    } else {
        message.kind = Message::Other;
        return message;
    }
    for (const int at : qAsConst(targetElements)) {
        Target target;
        if (readTarget(doc, at, &target))
            message.targets.append(target);
    }
    if (message.targets.isEmpty()) {
        message.kind = Message::Refused;
        message.refusal = QStringLiteral("no target with a uuid endpoint address");
    }
    return message;
}

QStringList WsDiscoveryProtocol::usableXAddrs(const QStringList &xaddrs, const QHostAddress &sender)
{
    QStringList usable;
    bool senderIsIpv4 = false;
    const quint32 from = sender.toIPv4Address(&senderIsIpv4);
    if (!senderIsIpv4)
        return usable;
    for (const QString &text : xaddrs) {
        const QUrl url(text, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            || !url.userInfo().isEmpty())
            continue;
        QHostAddress host;
        bool hostIsIpv4 = false;
        if (!host.setAddress(url.host()) || host.toIPv4Address(&hostIsIpv4) != from || !hostIsIpv4)
            continue;
        usable.append(url.toString());
    }
    return usable;
}

QString WsDiscoveryProtocol::normalizedEndpoint(const QString &address)
{
    QString text = address.trimmed();
    if (text.startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
        text = text.mid(9);
    else if (text.startsWith(QLatin1String("uuid:"), Qt::CaseInsensitive))
        text = text.mid(5);
    else
        return QString();
    const QUuid uuid(text);
    if (uuid.isNull() || text.size() != 36)
        return QString();
    return QStringLiteral("urn:uuid:") + uuid.toString(QUuid::WithoutBraces);
}

QString WsDiscoveryProtocol::scopeText(const QStringList &scopes, const QString &kind)
{
    const QString prefix = ScopePrefix + kind + QLatin1Char('/');
    QStringList found;
    for (const QString &scope : scopes) {
        if (!scope.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString text = shown(QUrl::fromPercentEncoding(scope.mid(prefix.size()).toUtf8()));
        if (text.isEmpty())
            continue;
        if (kind != QLatin1String("location"))
            return text;
        found.append(text);
    }
    return shown(found.join(QStringLiteral(", ")));
}

QString WsDiscoveryProtocol::scope(const QString &kind, const QString &text)
{
    return ScopePrefix + kind + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(text, "/"));
}

bool WsDiscoveryProtocol::matches(const QStringList &probeTypes, const QStringList &targetTypes)
{
    for (const QString &type : probeTypes) {
        if (!targetTypes.contains(type))
            return false;
    }
    return true;
}
