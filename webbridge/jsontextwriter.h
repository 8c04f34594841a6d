#ifndef JSONTEXTWRITER_H
#define JSONTEXTWRITER_H

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Compact JSON text, character for character what
// QJsonDocument::toJson(QJsonDocument::Compact) gives, but written straight
// into the QString a text frame is sent from. Qt's writer goes through its
// CBOR form and a growing UTF-8 buffer, which the socket then has to decode
// and encode again; every reply to the page and every channel message pays
// for that. Numbers that are not whole (or too large to be exact) are left
// to Qt's own formatting, so the text never depends on a second rule.
class JsonTextWriter
{
public:
    static QString compact(const QJsonObject &object);
    static QString compact(const QJsonArray &array);
    // The parts of a text that is put together by hand: a string with its
    // quotes, and any value.
    static void appendString(QString &out, const QString &text);
    static void appendValue(QString &out, const QJsonValue &value);

    // Largest whole number written here without Qt's help: every integer up
    // to it is exact in a double, the form JSON numbers are kept in.
    static constexpr qint64 MaxExactInteger = qint64(1) << 53;
};

#endif // JSONTEXTWRITER_H
