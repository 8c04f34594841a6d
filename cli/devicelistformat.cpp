#include "devicelistformat.h"

#include "devicelistcsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

bool DeviceListFormat::kindFromText(const QString &text, Kind *kind)
{
    if (text == QLatin1String("table"))
        *kind = Kind::Table;
    else if (text == QLatin1String("json"))
        *kind = Kind::Json;
    else if (text == QLatin1String("csv"))
        *kind = Kind::Csv;
    else if (text == QLatin1String("csv-raw"))
        *kind = Kind::CsvRaw;
    else
        return false;
    return true;
}

QByteArray DeviceListFormat::format(const QList<DeviceRecord> &list, Kind kind, const DeviceMarks *marks)
{
    switch (kind) {
    case Kind::Json:
        return json(list, marks);
    case Kind::Csv:
        return csv(list, DeviceListCsv::Fields::Neutralized, marks);
    case Kind::CsvRaw:
        return csv(list, DeviceListCsv::Fields::Raw, marks);
    case Kind::Table:
        break;
    }
    return table(list, marks);
}

QByteArray DeviceListFormat::csv(const QList<DeviceRecord> &list, DeviceListCsv::Fields fields, const DeviceMarks *marks)
{
    if (!marks)
        return DeviceListCsv::write(list, fields);
    const auto flag = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    // The marks go last, so a reader that counts columns finds the record's where they always were.
    QString text = DeviceListCsv::line(DeviceListCsv::fieldNames() << QStringLiteral("reachable") << QStringLiteral("conflict"), fields);
    for (const DeviceRecord &r : list)
        text += DeviceListCsv::line(DeviceListCsv::fieldTexts(r) << flag(marks->reachable(r)) << flag(marks->conflict(r)), fields);
    return text.toUtf8();
}

namespace {

QJsonObject jsonObject(const DeviceRecord &r, const DeviceMarks *marks)
{
    QJsonObject o;
    o.insert(QStringLiteral("searchType"), r.searchType);
    o.insert(QStringLiteral("name"), r.name);
    o.insert(QStringLiteral("model"), r.model);
    o.insert(QStringLiteral("serialNo"), r.serialNo);
    o.insert(QStringLiteral("ip"), r.ip);
    o.insert(QStringLiteral("mac"), r.mac);
    o.insert(QStringLiteral("fwVersion"), r.fwVersion);
    o.insert(QStringLiteral("dhcp"), r.dhcp);
    o.insert(QStringLiteral("mask"), r.mask);
    o.insert(QStringLiteral("gateway"), r.gateway);
    o.insert(QStringLiteral("dns1"), r.dns1);
    o.insert(QStringLiteral("dns2"), r.dns2);
    o.insert(QStringLiteral("ipv6"), r.ipv6);
    if (r.searchType == DeviceRecord::Onvif) {
        o.insert(QStringLiteral("endpoint"), r.endpoint);
        o.insert(QStringLiteral("serviceUrl"), r.serviceUrl);
    }
    if (marks) {
        o.insert(QStringLiteral("reachable"), marks->reachable(r));
        o.insert(QStringLiteral("conflict"), marks->conflict(r));
    }
    return o;
}

} // namespace

QByteArray DeviceListFormat::json(const QList<DeviceRecord> &list, const DeviceMarks *marks)
{
    QJsonArray array;
    for (const DeviceRecord &r : list)
        array.append(jsonObject(r, marks));
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray DeviceListFormat::jsonLine(const DeviceRecord &record, const DeviceMarks *marks)
{
    return QJsonDocument(jsonObject(record, marks)).toJson(QJsonDocument::Compact) + '\n';
}

namespace {

struct Column
{
    const char *title;
    int maxWidth;
};

// 16 + 20 + 15 + 17 + 12 + 6 and five gaps of two: 96 columns at most.
const Column tableColumns[] = {
    {"model", 16}, {"name", 20}, {"ip", 15}, {"mac", 17}, {"firmware", 12}, {"mode", 6}};

QStringList tableFields(const DeviceRecord &r)
{
    const QString mode = r.searchType != DeviceRecord::BroadcastSearch ? QStringLiteral("-")
        : r.dhcp                                                     ? QStringLiteral("DHCP")
                                                                     : QStringLiteral("static");
    return {r.model, r.name, r.ip, r.mac, r.fwVersion, mode};
}

QString fitted(QString text, int width)
{
    for (QChar &c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    if (text.size() > width)
        text = text.left(width - 1) + QChar(0x2026);
    return text;
}

} // namespace

QByteArray DeviceListFormat::table(const QList<DeviceRecord> &list, const DeviceMarks *marks)
{
    constexpr int columns = int(sizeof tableColumns / sizeof tableColumns[0]);
    QList<QStringList> rows;
    QStringList header;
    for (const Column &column : tableColumns)
        header.append(QString::fromLatin1(column.title));
    rows.append(header);
    for (const DeviceRecord &r : list) {
        QStringList fields = tableFields(r);
        for (int column = 0; column < columns; ++column)
            fields[column] = fitted(fields.at(column), tableColumns[column].maxWidth);
        rows.append(fields);
    }
    QList<int> widths;
    for (int column = 0; column < columns; ++column) {
        int width = 0;
        for (const QStringList &row : qAsConst(rows))
            width = std::max(width, int(row.at(column).size()));
        widths.append(width);
    }
    QString text;
    for (const QStringList &row : qAsConst(rows)) {
        QString line;
        for (int column = 0; column < row.size(); ++column) {
            if (column > 0)
                line += QLatin1String("  ");
            line += row.at(column).leftJustified(widths.at(column));
        }
        text += line.trimmed() + QLatin1Char('\n');
    }
    // Under the table rather than in a column: the table keeps its width,
    // and each line has room for the fix.
    if (marks) {
        for (const DeviceRecord &r : list) {
            if (!marks->reachable(r))
                text += QStringLiteral("! ") + fitted(DeviceMarks::unreachableSentence(r), 4 * MaxTableWidth) + QLatin1Char('\n');
        }
        for (const QString &sentence : marks->conflictSentences())
            text += QStringLiteral("! ") + fitted(sentence, 4 * MaxTableWidth) + QLatin1Char('\n');
    }
    text += list.size() == 1 ? QStringLiteral("1 camera found\n")
                             : QStringLiteral("%1 cameras found\n").arg(list.size());
    return text.toUtf8();
}
