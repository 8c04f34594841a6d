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
class DeviceListCsv
{
public:
    // searchType, name, model, serialNo, ip, mac, fwVersion, dhcp, mask,
    // gateway, dns1, dns2, ipv6: the column order of every output.
    static QStringList fieldNames();
    // One record's fields in that order; searchType as a number, dhcp as
    // "true" or "false".
    static QStringList fieldTexts(const DeviceRecord &record);
    static QByteArray write(const QList<DeviceRecord> &list);
    // A field quoted when it holds a comma, a quote, CR or LF.
    static QString field(const QString &text);

private:
    DeviceListCsv() = delete;
};

#endif // DEVICELISTCSV_H
