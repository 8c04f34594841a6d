#ifndef SOAPDOCUMENT_H
#define SOAPDOCUMENT_H

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

// A SOAP message as read from a peer: elements with their namespace, local
// name, attributes and text, in one flat array. Read with QXmlStreamReader
// under limits: a message with a DOCTYPE is refused before anything of it is
// used (so no entity is ever declared, let alone expanded), and so is one
// past the size, depth or element count given. Every wire format of
// WS-Discovery and the ONVIF device calls is read through this.
class SoapDocument
{
public:
    struct Limits
    {
        int maxBytes = 64 * 1024;
        int maxDepth = 32;
        int maxElements = 4096;
        int maxTextChars = 16 * 1024;   // of one element's text
    };

    struct Element
    {
        int parent = -1;
        QString ns;
        QString name;        // local name
        QString text;        // the element's own character data, trimmed
        QVector<int> children;
        QVector<QPair<QString, QString>> attributes;      // local name -> value
        QVector<QPair<QString, QString>> declarations;    // prefix -> namespace, declared here
    };

    enum class Outcome { Ok, Empty, TooLarge, Doctype, TooDeep, TooManyElements, TextTooLong, Malformed };

    // Reads data; everything else answers "nothing" unless outcome() is Ok.
    SoapDocument(const QByteArray &data, const Limits &limits);

    Outcome outcome() const { return m_outcome; }
    bool isValid() const { return m_outcome == Outcome::Ok; }
    static const char *outcomeName(Outcome outcome);

    // The root element, or -1.
    int root() const { return m_elements.isEmpty() ? -1 : 0; }
    const Element &element(int index) const { return m_elements.at(index); }

    // The first child of element named name (local name; any namespace when
    // ns is empty), or -1.
    int child(int element, const QString &name, const QString &ns = QString()) const;
    QVector<int> children(int element, const QString &name, const QString &ns = QString()) const;
    // Follows names from element down, first match at every step; -1 when any is missing.
    int path(int element, const QStringList &names) const;
    // The text of path(element, names), or a null string.
    QString text(int element, const QStringList &names) const;
    QString attribute(int element, const QString &name) const;

    // The namespace a prefix stands for where element is, or a null string.
    QString resolvePrefix(int element, const QString &prefix) const;

    // The SOAP 1.2 (or 1.1) Body of an Envelope root, or -1.
    int body() const;
    int header() const;

private:
    QVector<Element> m_elements;
    Outcome m_outcome = Outcome::Empty;
};

#endif // SOAPDOCUMENT_H
