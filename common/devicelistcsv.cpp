#include "devicelistcsv.h"

QStringList DeviceListCsv::fieldNames()
{
    return {QStringLiteral("searchType"), QStringLiteral("name"), QStringLiteral("model"),
            QStringLiteral("serialNo"), QStringLiteral("ip"), QStringLiteral("mac"),
            QStringLiteral("fwVersion"), QStringLiteral("dhcp"), QStringLiteral("mask"),
            QStringLiteral("gateway"), QStringLiteral("dns1"), QStringLiteral("dns2"),
            QStringLiteral("ipv6")};
}

QStringList DeviceListCsv::fieldTexts(const DeviceRecord &record)
{
    return {QString::number(record.searchType), record.name, record.model, record.serialNo, record.ip,
            record.mac, record.fwVersion,
            record.dhcp ? QStringLiteral("true") : QStringLiteral("false"),
            record.mask, record.gateway, record.dns1, record.dns2, record.ipv6};
}

QString DeviceListCsv::neutralized(const QString &text)
{
    if (text.isEmpty())
        return text;
    switch (text.at(0).unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return QLatin1Char('\'') + text;
    default:
        return text;
    }
}

QString DeviceListCsv::field(const QString &given, Fields fields)
{
    const QString text = fields == Fields::Raw ? given : neutralized(given);
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString DeviceListCsv::line(const QStringList &texts, Fields fields)
{
    QStringList quoted;
    quoted.reserve(texts.size());
    for (const QString &f : texts)
        quoted.append(field(f, fields));
    return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
}

QByteArray DeviceListCsv::write(const QList<DeviceRecord> &list, Fields kind)
{
    QString text = line(fieldNames(), kind);
    for (const DeviceRecord &record : list)
        text += line(fieldTexts(record), kind);
    return text.toUtf8();
}
