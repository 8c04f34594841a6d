#include "soapdocument.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace {

const QString Soap12 = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
const QString Soap11 = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");

} // namespace

SoapDocument::SoapDocument(const QByteArray &data, const Limits &limits)
{
    if (data.isEmpty()) {
        m_outcome = Outcome::Empty;
        return;
    }
    if (data.size() > limits.maxBytes) {
        m_outcome = Outcome::TooLarge;
        return;
    }
    QXmlStreamReader reader(data);
    // Besides refusing any DOCTYPE below: an entity a future reader might
    // still declare expands to nothing worth having.
    reader.setEntityExpansionLimit(0);
    QVector<int> open;
    m_outcome = Outcome::Ok;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        switch (token) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            m_outcome = Outcome::Doctype;
            m_elements.clear();
            return;
        case QXmlStreamReader::StartElement: {
            if (open.size() >= limits.maxDepth) {
                m_outcome = Outcome::TooDeep;
                m_elements.clear();
                return;
            }
            if (m_elements.size() >= limits.maxElements) {
                m_outcome = Outcome::TooManyElements;
                m_elements.clear();
                return;
            }
            if (open.isEmpty() && !m_elements.isEmpty()) {
                m_outcome = Outcome::Malformed;   // a second root
                m_elements.clear();
                return;
            }
            Element element;
            element.parent = open.isEmpty() ? -1 : open.last();
            element.ns = reader.namespaceUri().toString();
            element.name = reader.name().toString();
            const QXmlStreamAttributes attributes = reader.attributes();
            for (const QXmlStreamAttribute &attribute : attributes)
                element.attributes.append({attribute.name().toString(), attribute.value().toString()});
            const QXmlStreamNamespaceDeclarations declarations = reader.namespaceDeclarations();
            for (const QXmlStreamNamespaceDeclaration &declaration : declarations)
                element.declarations.append({declaration.prefix().toString(), declaration.namespaceUri().toString()});
            const int index = m_elements.size();
            if (!open.isEmpty())
                m_elements[open.last()].children.append(index);
            m_elements.append(element);
            open.append(index);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!open.isEmpty()) {
                Element &closing = m_elements[open.last()];
                closing.text = closing.text.trimmed();
                open.removeLast();
            }
            break;
        case QXmlStreamReader::Characters:
            if (!open.isEmpty()) {
                Element &current = m_elements[open.last()];
                if (current.text.size() + reader.text().size() > limits.maxTextChars) {
                    m_outcome = Outcome::TextTooLong;
                    m_elements.clear();
                    return;
                }
                current.text += reader.text();
            }
            break;
        default:
            break;
        }
    }
    if (reader.hasError() || m_elements.isEmpty()) {
        m_outcome = m_elements.isEmpty() && !reader.hasError() ? Outcome::Empty : Outcome::Malformed;
        m_elements.clear();
    }
}

const char *SoapDocument::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Ok:
        return "well-formed";
    case Outcome::Empty:
        return "empty";
    case Outcome::TooLarge:
        return "too large";
    case Outcome::Doctype:
        return "a document type declaration or entity";
    case Outcome::TooDeep:
        return "nested too deep";
    case Outcome::TooManyElements:
        return "too many elements";
    case Outcome::TextTooLong:
        return "a text too long";
    case Outcome::Malformed:
        break;
    }
    return "not well-formed XML";
}

int SoapDocument::child(int element, const QString &name, const QString &ns) const
{
    if (element < 0 || element >= m_elements.size())
        return -1;
    for (const int index : m_elements.at(element).children) {
        const Element &candidate = m_elements.at(index);
        if (candidate.name == name && (ns.isEmpty() || candidate.ns == ns))
            return index;
    }
    return -1;
}

QVector<int> SoapDocument::children(int element, const QString &name, const QString &ns) const
{
    QVector<int> found;
    if (element < 0 || element >= m_elements.size())
        return found;
    for (const int index : m_elements.at(element).children) {
        const Element &candidate = m_elements.at(index);
        if (candidate.name == name && (ns.isEmpty() || candidate.ns == ns))
            found.append(index);
    }
    return found;
}

int SoapDocument::path(int element, const QStringList &names) const
{
    int at = element;
    for (const QString &name : names) {
        at = child(at, name);
        if (at < 0)
            return -1;
    }
    return at;
}

QString SoapDocument::text(int element, const QStringList &names) const
{
    const int at = path(element, names);
    return at < 0 ? QString() : m_elements.at(at).text;
}

QString SoapDocument::attribute(int element, const QString &name) const
{
    if (element < 0 || element >= m_elements.size())
        return QString();
    for (const auto &attribute : m_elements.at(element).attributes) {
        if (attribute.first == name)
            return attribute.second;
    }
    return QString();
}

QString SoapDocument::resolvePrefix(int element, const QString &prefix) const
{
    for (int at = element; at >= 0 && at < m_elements.size(); at = m_elements.at(at).parent) {
        for (const auto &declaration : m_elements.at(at).declarations) {
            if (declaration.first == prefix)
                return declaration.second;
        }
    }
    return QString();
}

int SoapDocument::body() const
{
    const int envelope = root();
    if (envelope < 0 || m_elements.at(envelope).name != QLatin1String("Envelope"))
        return -1;
    const QString &ns = m_elements.at(envelope).ns;
    if (ns != Soap12 && ns != Soap11)
        return -1;
    return child(envelope, QStringLiteral("Body"), ns);
}

int SoapDocument::header() const
{
    const int envelope = root();
    if (envelope < 0 || m_elements.at(envelope).name != QLatin1String("Envelope"))
        return -1;
    return child(envelope, QStringLiteral("Header"), m_elements.at(envelope).ns);
}
