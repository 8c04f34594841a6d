#ifndef DEVICELISTFORMAT_H
#define DEVICELISTFORMAT_H

#include "devicelistcsv.h"
#include "devicemarks.h"
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
    // With marks, each JSON object gains "reachable" and "conflict", CSV two
    // columns of those names after the record's own, and the table a line
    // under it for each camera not reachable from this computer and each
    // conflict. Without, the output is the record's fields alone.
    static QByteArray format(const QList<DeviceRecord> &list, Kind kind, const DeviceMarks *marks = nullptr);
    static QByteArray json(const QList<DeviceRecord> &list, const DeviceMarks *marks = nullptr);
    static QByteArray csv(const QList<DeviceRecord> &list, DeviceListCsv::Fields fields, const DeviceMarks *marks);
    // One record as a compact JSON object on a line of its own (search
    // --stream), keyed as json() keys it.
    static QByteArray jsonLine(const DeviceRecord &record, const DeviceMarks *marks = nullptr);
    // What a person looks at first, in at most MaxTableWidth columns: model,
    // name, address, MAC, firmware and mode, long texts cut with "…", and a
    // last line "N cameras found". Control characters a camera sent become
    // '?': a name must never be able to drive the terminal that shows it.
    static constexpr int MaxTableWidth = 100;
    static QByteArray table(const QList<DeviceRecord> &list, const DeviceMarks *marks = nullptr);

private:
    DeviceListFormat() = delete;
};

#endif // DEVICELISTFORMAT_H
