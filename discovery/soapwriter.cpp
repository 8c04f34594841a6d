#include "soapwriter.h"

const QString SoapWriter::EnvelopeNamespace = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");

SoapWriter::SoapWriter(const Namespaces &namespaces)
    : m_xml(&m_data)
{
    m_xml.writeStartDocument();
    m_xml.writeNamespace(EnvelopeNamespace, QStringLiteral("s"));
    for (const auto &ns : namespaces)
        m_xml.writeNamespace(ns.second, ns.first);
    m_xml.writeStartElement(EnvelopeNamespace, QStringLiteral("Envelope"));
}

void SoapWriter::beginHeader()
{
    m_xml.writeStartElement(EnvelopeNamespace, QStringLiteral("Header"));
}

void SoapWriter::endHeader()
{
    m_xml.writeEndElement();
}

void SoapWriter::beginBody()
{
    m_xml.writeStartElement(EnvelopeNamespace, QStringLiteral("Body"));
}

QByteArray SoapWriter::finish()
{
    m_xml.writeEndDocument();   // closes whatever is still open
    return m_data;
}

void SoapWriter::textElement(const QString &ns, const QString &name, const QString &text)
{
    m_xml.writeTextElement(ns, name, text);
}

void SoapWriter::boolElement(const QString &ns, const QString &name, bool value)
{
    m_xml.writeTextElement(ns, name, value ? QStringLiteral("true") : QStringLiteral("false"));
}
