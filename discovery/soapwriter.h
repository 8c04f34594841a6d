#ifndef SOAPWRITER_H
#define SOAPWRITER_H

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>
#include <QXmlStreamWriter>

// Writes one SOAP 1.2 envelope: the namespaces the message uses are declared
// once on the Envelope (prefix "s" is the envelope's own), then an optional
// Header and the Body. Every message WS-Discovery and the ONVIF device calls
// send, on the program's side and camsim's, is written through this.
class SoapWriter
{
public:
    static const QString EnvelopeNamespace;

    using Namespaces = QVector<QPair<QString, QString>>;   // prefix -> namespace

    explicit SoapWriter(const Namespaces &namespaces);
    Q_DISABLE_COPY(SoapWriter)

    QXmlStreamWriter &xml() { return m_xml; }

    void beginHeader();
    void endHeader();
    void beginBody();
    // Closes the Body and the Envelope and hands over the message.
    QByteArray finish();

    void textElement(const QString &ns, const QString &name, const QString &text);
    // An element whose text is a boolean as XML Schema writes it.
    void boolElement(const QString &ns, const QString &name, bool value);

private:
    QByteArray m_data;
    QXmlStreamWriter m_xml;
};

#endif // SOAPWRITER_H
