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

QByteArray DeviceListFormat::json(const QList<DeviceRecord> &list)
{
    QJsonArray array;
    for (const DeviceRecord &r : list) {
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
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray DeviceListFormat::table(const QList<DeviceRecord> &list)
{
    const QStringList names = DeviceListCsv::fieldNames();
    QList<QStringList> rows;
    rows.append(names);
    for (const DeviceRecord &r : list) {
        QStringList fields = DeviceListCsv::fieldTexts(r);
        for (QString &f : fields) {
            for (QChar &c : f) {
                if (!c.isPrint())
                    c = QLatin1Char('?');
            }
        }
        rows.append(fields);
    }
    QList<int> widths;
    for (int column = 0; column < names.size(); ++column) {
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
    return text.toUtf8();
}
