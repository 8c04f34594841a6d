#include "jsontextwriter.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

namespace {

// The first guess at a message's length; QString grows from there.
constexpr int InitialCapacity = 256;

void writeValue(const QJsonValue &value, QString &out);

char16_t hexDigit(uint v)
{
    return char16_t(v < 10 ? '0' + v : 'a' + v - 10);
}

// Qt's escaping: quote, backslash and control characters; a surrogate
// without its partner cannot become UTF-8 and is written as \uXXXX;
// everything else, '/' and DEL included, stays as it is. Written through a
// pointer into room for the worst case (every unit escaped), which is
// given back at the end.
void writeString(const QString &text, QString &out)
{
    const int size = text.size();
    const int start = out.size();
    out.resize(start + 2 + 6 * size);
    char16_t *dst = reinterpret_cast<char16_t *>(out.data()) + start;
    const char16_t *const src = reinterpret_cast<const char16_t *>(text.constData());
    *dst++ = '"';
    for (int i = 0; i < size; ++i) {
        const char16_t u = src[i];
        if (u >= 0x20 && u != '"' && u != '\\' && (u < 0xd800 || u > 0xdfff)) {
            *dst++ = u;
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < size && QChar::isLowSurrogate(src[i + 1])) {
            *dst++ = u;
            *dst++ = src[++i];
            continue;
        }
        *dst++ = '\\';
        switch (u) {
        case '"': *dst++ = '"'; break;
        case '\\': *dst++ = '\\'; break;
        case '\b': *dst++ = 'b'; break;
        case '\f': *dst++ = 'f'; break;
        case '\n': *dst++ = 'n'; break;
        case '\r': *dst++ = 'r'; break;
        case '\t': *dst++ = 't'; break;
        default:
            *dst++ = 'u';
            *dst++ = hexDigit((u >> 12) & 0xf);
            *dst++ = hexDigit((u >> 8) & 0xf);
            *dst++ = hexDigit((u >> 4) & 0xf);
            *dst++ = hexDigit(u & 0xf);
            break;
        }
    }
    *dst++ = '"';
    out.resize(int(dst - reinterpret_cast<const char16_t *>(out.constData())));
}

void writeInteger(qint64 whole, QString &out)
{
    char16_t digits[24];
    char16_t *end = digits + sizeof digits / sizeof *digits;
    char16_t *p = end;
    quint64 magnitude = whole < 0 ? quint64(0) - quint64(whole) : quint64(whole);
    do {
        *--p = char16_t('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (whole < 0)
        *--p = '-';
    out.append(reinterpret_cast<const QChar *>(p), int(end - p));
}

// Qt keeps every JSON number as a double and writes a whole one that is
// exact as its plain digits (minus zero as 0).
void writeNumber(const QJsonValue &value, QString &out)
{
    const double number = value.toDouble();
    if (std::trunc(number) == number && std::fabs(number) <= double(JsonTextWriter::MaxExactInteger)) {
        writeInteger(qint64(number), out);
        return;
    }
    // Fractions, exponents, infinities: Qt's text for the one number.
    const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    out += QLatin1String(text.constData() + 1, text.size() - 2);
}

void writeObject(const QJsonObject &object, QString &out)
{
    out += QLatin1Char('{');
    bool first = true;
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        if (!first)
            out += QLatin1Char(',');
        first = false;
        writeString(it.key(), out);
        out += QLatin1Char(':');
        writeValue(it.value(), out);
    }
    out += QLatin1Char('}');
}

void writeArray(const QJsonArray &array, QString &out)
{
    out += QLatin1Char('[');
    bool first = true;
    for (const QJsonValue &value : array) {
        if (!first)
            out += QLatin1Char(',');
        first = false;
        writeValue(value, out);
    }
    out += QLatin1Char(']');
}

void writeValue(const QJsonValue &value, QString &out)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:   // Qt writes a missing value as null too
        out += QLatin1String("null");
        break;
    case QJsonValue::Bool:
        out += value.toBool() ? QLatin1String("true") : QLatin1String("false");
        break;
    case QJsonValue::Double:
        writeNumber(value, out);
        break;
    case QJsonValue::String:
        writeString(value.toString(), out);
        break;
    case QJsonValue::Array:
        writeArray(value.toArray(), out);
        break;
    case QJsonValue::Object:
        writeObject(value.toObject(), out);
        break;
    }
}

} // namespace

QString JsonTextWriter::compact(const QJsonObject &object)
{
    QString out;
    out.reserve(InitialCapacity);
    writeObject(object, out);
    return out;
}

void JsonTextWriter::appendString(QString &out, const QString &text)
{
    writeString(text, out);
}

void JsonTextWriter::appendValue(QString &out, const QJsonValue &value)
{
    writeValue(value, out);
}

QString JsonTextWriter::compact(const QJsonArray &array)
{
    QString out;
    out.reserve(InitialCapacity);
    writeArray(array, out);
    return out;
}
