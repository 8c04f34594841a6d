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

QByteArray DeviceListFormat::format(const QList<DeviceRecord> &list, Kind kind)
{
    switch (kind) {
    case Kind::Json:
        return json(list);
    case Kind::Csv:
        return DeviceListCsv::write(list);
    case Kind::CsvRaw:
        return DeviceListCsv::write(list, DeviceListCsv::Fields::Raw);
    case Kind::Table:
        break;
    }
    return table(list);
}

namespace {

QJsonObject jsonObject(const DeviceRecord &r)
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
    return o;
}

} // namespace

QByteArray DeviceListFormat::json(const QList<DeviceRecord> &list)
{
    QJsonArray array;
    for (const DeviceRecord &r : list)
        array.append(jsonObject(r));
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray DeviceListFormat::jsonLine(const DeviceRecord &record)
{
    return QJsonDocument(jsonObject(record)).toJson(QJsonDocument::Compact) + '\n';
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

QByteArray DeviceListFormat::table(const QList<DeviceRecord> &list)
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
    text += list.size() == 1 ? QStringLiteral("1 camera found\n")
                             : QStringLiteral("%1 cameras found\n").arg(list.size());
    return text.toUtf8();
}
