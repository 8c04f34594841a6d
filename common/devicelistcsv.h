#ifndef DEVICELISTCSV_H
#define DEVICELISTCSV_H

#include "devicerecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The device list as RFC 4180 CSV (UTF-8, CRLF line ends, a header row of
// the record's field names). Free of any I/O: pathmere-cli prints it and the
// window's "Export list…" writes the same text to a file.
//
// Names, models and firmware texts come from the LAN, where anyone can send
// a reply: a spreadsheet would take "=HYPERLINK(…)" or "@SUM(…)" for a
// formula. By default a field that begins with '=', '+', '-', '@', a tab or
// a carriage return is written with a "'" in front (as OWASP advises for
// CSV injection); Raw writes every text exactly as it came.
class DeviceListCsv
{
public:
    enum class Fields { Neutralized, Raw };

    // searchType, name, model, serialNo, ip, mac, fwVersion, dhcp, mask,
    // gateway, dns1, dns2, ipv6: the column order of every output.
    static QStringList fieldNames();
    // One record's fields in that order; searchType as a number, dhcp as
    // "true" or "false".
    static QStringList fieldTexts(const DeviceRecord &record);
    static QByteArray write(const QList<DeviceRecord> &list, Fields fields = Fields::Neutralized);
    // One CSV line (CRLF included) of texts, each written as field() writes it.
    static QString line(const QStringList &texts, Fields fields = Fields::Neutralized);
    // A field quoted when it holds a comma, a quote, CR or LF; neutralized
    // first unless Raw.
    static QString field(const QString &text, Fields fields = Fields::Neutralized);
    // The text with "'" in front when a spreadsheet would read it as a formula.
    static QString neutralized(const QString &text);

private:
    DeviceListCsv() = delete;
};

#endif // DEVICELISTCSV_H
