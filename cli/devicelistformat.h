#ifndef DEVICELISTFORMAT_H
#define DEVICELISTFORMAT_H

#include "devicerecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The device list for people (aligned columns) and for programs (one JSON
// array of objects keyed by the record's field names, or CSV).
class DeviceListFormat
{
public:
    // Csv neutralizes fields a spreadsheet would take for a formula;
    // CsvRaw writes them exactly as they came (see DeviceListCsv).
    enum class Kind { Table, Json, Csv, CsvRaw };

    // "table", "json", "csv" or "csv-raw"; false for anything else.
    static bool kindFromText(const QString &text, Kind *kind);
    static QByteArray format(const QList<DeviceRecord> &list, Kind kind);
    static QByteArray json(const QList<DeviceRecord> &list);
    // One record as a compact JSON object on a line of its own (search
    // --stream), keyed as json() keys it.
    static QByteArray jsonLine(const DeviceRecord &record);
    // What a person looks at first, in at most MaxTableWidth columns: model,
    // name, address, MAC, firmware and mode, long texts cut with "…", and a
    // last line "N cameras found". Control characters a camera sent become
    // '?': a name must never be able to drive the terminal that shows it.
    static constexpr int MaxTableWidth = 100;
    static QByteArray table(const QList<DeviceRecord> &list);

private:
    DeviceListFormat() = delete;
};

#endif // DEVICELISTFORMAT_H
