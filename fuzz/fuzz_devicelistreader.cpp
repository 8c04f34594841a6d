// A device list file handed to the watch's --baseline or the report's
// --from: the user's file, but its texts came from cameras on the LAN.
#include "devicelistreader.h"
#include "fleetreport.h"
#include "fleetreportwriter.h"
#include "watchdiffer.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const DeviceListReader::Outcome outcome = DeviceListReader::read(bytes);
    if (!outcome.ok)
        return 0;
    // What a read list goes on to: the watch's first round and the report.
    WatchDiffer differ;
    differ.setBaseline(outcome.devices);
    differ.round(outcome.devices.mid(1));
    const FleetReport report = FleetReport::make(outcome.devices, {{0xC0000201u, 0xFFFFFF00u}});
    FleetReportWriter::html(report, QString(), QDateTime());
    FleetReportWriter::csv(report);
    return 0;
}
