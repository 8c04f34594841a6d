#include "onvifsoap.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

const QString SecurityNs = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
const QString UtilityNs = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
const QString Base64Encoding = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary");

// Fault subcodes that mean "who you are was not accepted".
bool isLoginRefusal(const QString &qname)
{
    const QString local = qname.mid(qname.indexOf(QLatin1Char(':')) + 1);
    return local == QLatin1String("NotAuthorized") || local == QLatin1String("FailedAuthentication")
        || local == QLatin1String("InvalidSecurityToken") || local == QLatin1String("InvalidSecurity");
}

QDateTime parseCreated(const QString &text)
{
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(text, Qt::ISODate);
    return time.toUTC();
}

} // namespace

const QString OnvifSoap::DeviceNamespace = QStringLiteral("http://www.onvif.org/ver10/device/wsdl");
const QString OnvifSoap::SchemaNamespace = QStringLiteral("http://www.onvif.org/ver10/schema");
const QString OnvifSoap::SecurityNamespace = SecurityNs;
const QString OnvifSoap::UtilityNamespace = UtilityNs;
const QString OnvifSoap::ErrorNamespace = QStringLiteral("http://www.onvif.org/ver10/error");
const QString OnvifSoap::PasswordDigestType = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest");

QString OnvifSoap::passwordDigest(const QByteArray &nonce, const QString &created, const QString &password)
{
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(nonce);
    sha1.addData(created.toUtf8());
    sha1.addData(password.toUtf8());
    return QString::fromLatin1(sha1.result().toBase64());
}

QString OnvifSoap::createdText(const QDateTime &utc)
{
    return utc.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss'Z'"));
}

QByteArray OnvifSoap::randomNonce()
{
    QByteArray nonce(NonceBytes, Qt::Uninitialized);
    for (int i = 0; i < NonceBytes; ++i)
        nonce[i] = char(QRandomGenerator::system()->bounded(256));
    return nonce;
}

OnvifSoap::Token OnvifSoap::makeToken(const Credentials &credentials, const QDateTime &cameraUtc,
                                      const QByteArray &nonce)
{
    Token token;
    token.user = credentials.user;
    token.nonce = nonce;
    token.created = createdText(cameraUtc);
    token.digest = passwordDigest(nonce, token.created, credentials.password);
    return token;
}

SoapWriter::Namespaces OnvifSoap::namespaces()
{
    return {{QStringLiteral("tds"), DeviceNamespace},
            {QStringLiteral("tt"), SchemaNamespace},
            {QStringLiteral("wsse"), SecurityNs},
            {QStringLiteral("wsu"), UtilityNs},
            {QStringLiteral("ter"), ErrorNamespace}};
}

void OnvifSoap::writeSecurityHeader(SoapWriter &writer, const Token &token)
{
    QXmlStreamWriter &xml = writer.xml();
    writer.beginHeader();
    xml.writeStartElement(SecurityNs, QStringLiteral("Security"));
    xml.writeAttribute(SoapWriter::EnvelopeNamespace, QStringLiteral("mustUnderstand"), QStringLiteral("1"));
    xml.writeStartElement(SecurityNs, QStringLiteral("UsernameToken"));
    writer.textElement(SecurityNs, QStringLiteral("Username"), token.user);
    xml.writeStartElement(SecurityNs, QStringLiteral("Password"));
    xml.writeAttribute(QStringLiteral("Type"), PasswordDigestType);
    xml.writeCharacters(token.digest);
    xml.writeEndElement();
    xml.writeStartElement(SecurityNs, QStringLiteral("Nonce"));
    xml.writeAttribute(QStringLiteral("EncodingType"), Base64Encoding);
    xml.writeCharacters(QString::fromLatin1(token.nonce.toBase64()));
    xml.writeEndElement();
    writer.textElement(UtilityNs, QStringLiteral("Created"), token.created);
    xml.writeEndElement();   // UsernameToken
    xml.writeEndElement();   // Security
    writer.endHeader();
}

SoapDocument::Limits OnvifSoap::answerLimits()
{
    SoapDocument::Limits limits;
    limits.maxBytes = MaxAnswerSize;
    limits.maxDepth = 32;
    limits.maxElements = 16384;
    limits.maxTextChars = 16 * 1024;
    return limits;
}

SoapDocument::Limits OnvifSoap::requestLimits()
{
    SoapDocument::Limits limits;
    limits.maxBytes = MaxRequestSize;
    limits.maxDepth = 32;
    limits.maxElements = 512;
    limits.maxTextChars = 4096;
    return limits;
}

OnvifSoap::Outcome OnvifSoap::readAnswer(const SoapDocument &doc, const QString &expectedElement, int *content)
{
    Outcome outcome;
    *content = -1;
    if (!doc.isValid()) {
        outcome.detail = QStringLiteral("the answer is %1").arg(QString::fromLatin1(SoapDocument::outcomeName(doc.outcome())));
        return outcome;
    }
    const int body = doc.body();
    if (body < 0 || doc.element(body).children.isEmpty()) {
        outcome.detail = QStringLiteral("the answer is not a SOAP envelope with a body");
        return outcome;
    }
    const int first = doc.element(body).children.first();
    const SoapDocument::Element &element = doc.element(first);
    if (element.name == QLatin1String("Fault")) {
        // SOAP 1.2: Code/Value, Code/Subcode/Value..., Reason/Text; 1.1: faultcode, faultstring.
        QStringList codes;
        for (int code = doc.child(first, QStringLiteral("Code")); code >= 0;
             code = doc.child(code, QStringLiteral("Subcode"))) {
            codes.append(doc.text(code, {QStringLiteral("Value")}));
            if (codes.size() > 8)
                break;
        }
        if (codes.isEmpty())
            codes.append(doc.text(first, {QStringLiteral("faultcode")}));
        QString reason = doc.text(first, {QStringLiteral("Reason"), QStringLiteral("Text")});
        if (reason.isNull())
            reason = doc.text(first, {QStringLiteral("faultstring")});
        bool refusal = false;
        for (const QString &code : qAsConst(codes))
            refusal = refusal || isLoginRefusal(code);
        outcome.kind = refusal ? Outcome::Unauthorized : Outcome::Fault;
        outcome.detail = QStringLiteral("%1: %2").arg(codes.join(QLatin1Char('/')), reason).left(512);
        return outcome;
    }
    if (element.name != expectedElement || element.ns != DeviceNamespace) {
        outcome.detail = QStringLiteral("the answer is %1, not %2").arg(element.name.left(64), expectedElement);
        return outcome;
    }
    outcome.kind = Outcome::Ok;
    *content = first;
    return outcome;
}

bool OnvifSoap::readToken(const SoapDocument &doc, Token *token)
{
    const int header = doc.header();
    const int usernameToken = doc.path(header, {QStringLiteral("Security"), QStringLiteral("UsernameToken")});
    if (usernameToken < 0)
        return false;
    token->user = doc.text(usernameToken, {QStringLiteral("Username")});
    token->digest = doc.text(usernameToken, {QStringLiteral("Password")});
    token->nonce = QByteArray::fromBase64(doc.text(usernameToken, {QStringLiteral("Nonce")}).toLatin1());
    token->created = doc.text(usernameToken, {QStringLiteral("Created")});
    return true;
}

bool OnvifSoap::verifyToken(const Token &token, const Credentials &expected, const QDateTime &cameraNowUtc,
                            int toleranceSeconds)
{
    if (token.user != expected.user || token.nonce.isEmpty())
        return false;
    if (token.digest != passwordDigest(token.nonce, token.created, expected.password))
        return false;
    const QDateTime created = parseCreated(token.created);
    return created.isValid() && qAbs(created.secsTo(cameraNowUtc)) <= toleranceSeconds;
}

QByteArray OnvifSoap::fault(FaultKind kind, const QString &reason)
{
    const QString subcode = kind == FaultKind::NotAuthorized ? QStringLiteral("ter:NotAuthorized")
        : kind == FaultKind::InvalidArgs                     ? QStringLiteral("ter:InvalidArgVal")
                                                             : QStringLiteral("ter:ActionNotSupported");
    const QString code = kind == FaultKind::ActionNotSupported ? QStringLiteral("s:Receiver") : QStringLiteral("s:Sender");
    SoapWriter writer(namespaces());
    QXmlStreamWriter &xml = writer.xml();
    writer.beginBody();
    const QString &s = SoapWriter::EnvelopeNamespace;
    xml.writeStartElement(s, QStringLiteral("Fault"));
    xml.writeStartElement(s, QStringLiteral("Code"));
    writer.textElement(s, QStringLiteral("Value"), code);
    xml.writeStartElement(s, QStringLiteral("Subcode"));
    writer.textElement(s, QStringLiteral("Value"), subcode);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeStartElement(s, QStringLiteral("Reason"));
    xml.writeStartElement(s, QStringLiteral("Text"));
    xml.writeAttribute(QStringLiteral("http://www.w3.org/XML/1998/namespace"), QStringLiteral("lang"), QStringLiteral("en"));
    xml.writeCharacters(reason);
    return writer.finish();
}
