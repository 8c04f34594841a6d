#include "devicelistreader.h"

#include "devicelistcsv.h"
#include "wakeonlan.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

using Outcome = DeviceListReader::Outcome;

Outcome refused(DeviceListReader::Format format, const QString &error)
{
    Outcome outcome;
    outcome.format = format;
    outcome.error = error;
    return outcome;
}

void skip(Outcome *outcome, const QString &where, const QString &why)
{
    ++outcome->skipped;
    if (outcome->skipped <= DeviceListReader::MaxNamedProblems)
        outcome->warnings.append(QStringLiteral("%1 skipped: %2.").arg(where, why));
}

Outcome finished(Outcome outcome)
{
    const int unnamed = outcome.skipped - DeviceListReader::MaxNamedProblems;
    if (unnamed > 0)
        outcome.warnings.append(QStringLiteral("%1 more skipped.").arg(unnamed));
    outcome.ok = true;
    return outcome;
}

// One device's fields by name, as texts; false with why when a value has
// no place in a record.
bool makeRecord(const QHash<QString, QString> &fields, DeviceRecord *device, QString *why)
{
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        if (it.value().size() > DeviceListReader::MaxFieldChars) {
            *why = QStringLiteral("\"%1\" is longer than %2 characters").arg(it.key()).arg(DeviceListReader::MaxFieldChars);
            return false;
        }
    }
    const QString mac = fields.value(QStringLiteral("mac"));
    if (!WakeOnLan::isMacText(mac)) {
        *why = QStringLiteral("no MAC address of six hex pairs");
        return false;
    }
    device->mac = mac.toLower();
    device->model = fields.value(QStringLiteral("model"));
    if (device->model.isEmpty()) {
        *why = QStringLiteral("no model");
        return false;
    }
    const QString type = fields.value(QStringLiteral("searchType"), QStringLiteral("0"));
    if (type != QLatin1String("0") && type != QLatin1String("1") && type != QLatin1String("2")) {
        *why = QStringLiteral("\"searchType\" is not 0, 1 or 2");
        return false;
    }
    device->searchType = type.toInt();
    const QString dhcp = fields.value(QStringLiteral("dhcp"), QStringLiteral("false"));
    if (dhcp != QLatin1String("true") && dhcp != QLatin1String("false")) {
        *why = QStringLiteral("\"dhcp\" is not true or false");
        return false;
    }
    device->dhcp = dhcp == QLatin1String("true");
    device->name = fields.value(QStringLiteral("name"));
    device->serialNo = fields.value(QStringLiteral("serialNo"));
    device->ip = fields.value(QStringLiteral("ip"));
    device->fwVersion = fields.value(QStringLiteral("fwVersion"));
    device->mask = fields.value(QStringLiteral("mask"));
    device->gateway = fields.value(QStringLiteral("gateway"));
    device->dns1 = fields.value(QStringLiteral("dns1"));
    device->dns2 = fields.value(QStringLiteral("dns2"));
    device->ipv6 = fields.value(QStringLiteral("ipv6"));
    return true;
}

// One row's device kept, or the row skipped with why (a reason found
// before, or makeRecord's).
void take(Outcome *outcome, const QString &where, const QHash<QString, QString> &fields, QString why)
{
    DeviceRecord device;
    if (why.isEmpty() && makeRecord(fields, &device, &why))
        outcome->devices.append(device);
    else
        skip(outcome, where, why);
}

Outcome readJson(const QByteArray &data)
{
    const auto format = DeviceListReader::Format::Json;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(format, QStringLiteral("The JSON list cannot be read at byte %1: %2.")
                                   .arg(parseError.offset).arg(parseError.errorString()));
    if (!document.isArray())
        return refused(format, QStringLiteral("The JSON list is not an array of devices."));
    const QJsonArray array = document.array();
    if (array.size() > DeviceListReader::MaxDevices)
        return refused(format, QStringLiteral("The list holds more than %1 devices.").arg(DeviceListReader::MaxDevices));
    Outcome outcome;
    outcome.format = format;
    const QStringList names = DeviceListCsv::fieldNames();
    for (int i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("Entry %1").arg(i + 1);
        if (!array.at(i).isObject()) {
            skip(&outcome, where, QStringLiteral("not an object"));
            continue;
        }
        const QJsonObject object = array.at(i).toObject();
        QHash<QString, QString> fields;
        QString why;
        for (const QString &name : names) {
            const QJsonValue value = object.value(name);
            if (value.isUndefined())
                continue;
            if (name == QLatin1String("searchType") && value.isDouble() && value.toDouble() == value.toInt())
                fields.insert(name, QString::number(value.toInt()));
            else if (name == QLatin1String("dhcp") && value.isBool())
                fields.insert(name, value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
            else if (value.isString() && name != QLatin1String("searchType") && name != QLatin1String("dhcp"))
                fields.insert(name, value.toString());
            else
                why = QStringLiteral("\"%1\" has the wrong type").arg(name);
        }
        take(&outcome, where, fields, why);
    }
    return finished(outcome);
}

struct CsvRow
{
    int line = 0;
    QStringList fields;
};

// RFC 4180 with CRLF or LF line ends; false with a sentence in *error for
// text no writer of CSV makes (an open quote at the end, text after a
// closing quote, too many columns or rows).
bool splitCsv(const QString &text, QList<CsvRow> *rows, QString *error)
{
    CsvRow row;
    QString field;
    int line = 1;
    row.line = 1;
    bool quoted = false;
    bool afterQuote = false;
    const int size = text.size();
    const auto endField = [&]() -> bool {
        if (row.fields.size() == DeviceListReader::MaxColumns) {
            *error = QStringLiteral("Line %1 has more than %2 columns.").arg(row.line).arg(DeviceListReader::MaxColumns);
            return false;
        }
        row.fields.append(field);
        field.clear();
        afterQuote = false;
        return true;
    };
    const auto endRow = [&]() -> bool {
        if (!endField())
            return false;
        if (!(row.fields.size() == 1 && row.fields.first().isEmpty()))
            rows->append(row);
        if (rows->size() > DeviceListReader::MaxDevices + 1) {
            *error = QStringLiteral("The list holds more than %1 devices.").arg(DeviceListReader::MaxDevices);
            return false;
        }
        row = CsvRow();
        row.line = line;
        return true;
    };
    for (int i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < size && text.at(i + 1) == QLatin1Char('"')) {
                    field.append(c);
                    ++i;
                } else {
                    quoted = false;
                    afterQuote = true;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                if (field.size() > DeviceListReader::MaxFieldChars) {
                    *error = QStringLiteral("Line %1 has a field longer than %2 characters.")
                                 .arg(row.line).arg(DeviceListReader::MaxFieldChars);
                    return false;
                }
                field.append(c);
            }
            continue;
        }
        if (c == QLatin1Char(',')) {
            if (!endField())
                return false;
        } else if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))) {
            if (c == QLatin1Char('\r'))
                ++i;
            ++line;
            if (!endRow())
                return false;
        } else if (afterQuote) {
            *error = QStringLiteral("Line %1 has text after a closing quote.").arg(line);
            return false;
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
        } else {
            if (field.size() > DeviceListReader::MaxFieldChars) {
                *error = QStringLiteral("Line %1 has a field longer than %2 characters.")
                             .arg(row.line).arg(DeviceListReader::MaxFieldChars);
                return false;
            }
            field.append(c);
        }
    }
    if (quoted) {
        *error = QStringLiteral("A quote opened on line %1 is never closed.").arg(row.line);
        return false;
    }
    return endRow();
}

bool beginsFormula(const QString &text)
{
    return !text.isEmpty() && DeviceListCsv::neutralized(text) != text;
}

Outcome readCsv(const QString &text)
{
    const auto format = DeviceListReader::Format::Csv;
    QList<CsvRow> rows;
    QString error;
    if (!splitCsv(text, &rows, &error))
        return refused(format, error);
    if (rows.isEmpty())
        return refused(format, QStringLiteral("The list is empty: not even a header row."));
    const QStringList header = rows.takeFirst().fields;
    QHash<QString, int> columns;
    const QStringList known = DeviceListCsv::fieldNames();
    for (int i = 0; i < header.size(); ++i) {
        if (!known.contains(header.at(i)))
            continue;
        if (columns.contains(header.at(i)))
            return refused(format, QStringLiteral("The header names \"%1\" twice.").arg(header.at(i)));
        columns.insert(header.at(i), i);
    }
    if (!columns.contains(QStringLiteral("mac")) || !columns.contains(QStringLiteral("model")))
        return refused(format, QStringLiteral("The first line is not a device list's header: it has no \"mac\" and \"model\" columns."));

    bool raw = false;
    for (const CsvRow &row : qAsConst(rows)) {
        for (const QString &field : row.fields)
            raw = raw || beginsFormula(field);
    }

    Outcome outcome;
    outcome.format = format;
    for (const CsvRow &row : qAsConst(rows)) {
        const QString where = QStringLiteral("Line %1").arg(row.line);
        if (row.fields.size() != header.size()) {
            skip(&outcome, where, QStringLiteral("%1 fields where the header has %2").arg(row.fields.size()).arg(header.size()));
            continue;
        }
        QHash<QString, QString> fields;
        for (auto it = columns.constBegin(); it != columns.constEnd(); ++it) {
            QString value = row.fields.at(it.value());
            if (!raw && value.startsWith(QLatin1Char('\'')) && beginsFormula(value.mid(1)))
                value.remove(0, 1);
            fields.insert(it.key(), value);
        }
        take(&outcome, where, fields, QString());
    }
    return finished(outcome);
}

} // namespace

DeviceListReader::Outcome DeviceListReader::read(const QByteArray &given)
{
    if (given.size() > MaxFileBytes)
        return refused(Format::Csv, QStringLiteral("The list is larger than %1 MiB.").arg(MaxFileBytes / (1024 * 1024)));
    QByteArray data = given;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    for (const char c : qAsConst(data)) {
        if (c == '[')
            return readJson(data);
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            break;
    }
    // A zero byte would end the text early and drop the rest unseen.
    if (data.contains('\0'))
        return refused(Format::Csv, QStringLiteral("The list holds a zero byte: it is not text."));
    return readCsv(QString::fromUtf8(data));
}

DeviceListReader::Outcome DeviceListReader::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(Format::Csv, QStringLiteral("%1 cannot be read: %2.").arg(path, file.errorString()));
    // One byte more than allowed tells a file that is too large without
    // reading all of it.
    const QByteArray data = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(Format::Csv, QStringLiteral("%1 cannot be read: %2.").arg(path, file.errorString()));
    return read(data);
}
