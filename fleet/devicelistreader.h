#ifndef DEVICELISTREADER_H
#define DEVICELISTREADER_H

#include "devicerecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads back a device list that the search wrote: its JSON (an array of
// objects keyed by the record's field names) or its CSV (a header row of
// field names; neutralized, with "'" before texts a spreadsheet would run,
// or raw). The file is the user's, but its texts came from the LAN: sizes
// are capped, and what cannot be used is refused in one sentence.
//
// CSV neutralization is undone only when the file is neutralized: a
// neutralized file never holds a field that begins with '=', '+', '-', '@',
// a tab or a carriage return, so one such field marks the file as raw and
// its texts are kept as they are.
class DeviceListReader
{
public:
    static constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;
    static constexpr int MaxDevices = 100000;
    static constexpr int MaxFieldChars = 1024;
    static constexpr int MaxColumns = 64;
    // Skipped rows are named up to this many times, then counted.
    static constexpr int MaxNamedProblems = 5;

    enum class Format { Json, Csv };

    struct Outcome
    {
        bool ok = false;
        Format format = Format::Json;
        QList<DeviceRecord> devices;   // MACs in lower case
        QString error;                 // !ok: why nothing was read, one sentence
        QStringList warnings;          // rows skipped, at most MaxNamedProblems + 1 lines
        int skipped = 0;
    };

    // JSON when the first thing after white space (and a UTF-8 byte order
    // mark) is '['; CSV otherwise.
    static Outcome read(const QByteArray &data);
    static Outcome readFile(const QString &path);

private:
    DeviceListReader() = delete;
};

#endif // DEVICELISTREADER_H
