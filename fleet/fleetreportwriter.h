#ifndef FLEETREPORTWRITER_H
#define FLEETREPORTWRITER_H

#include "fleetreport.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A fleet report as a person hands it to a customer (one HTML file that
// needs nothing else: no script, no network, styles and chart inline) or as
// a program reads it (JSON; CSV with one row per camera, neutralized as the
// search's CSV is). Every text a camera sent is escaped for where it goes.
class FleetReportWriter
{
public:
    enum class Kind { Html, Csv, Json };

    // The chart shows at most this many versions per model and this many
    // models; the tables below it list everything.
    static constexpr int MaxChartVersions = 12;
    static constexpr int MaxChartModels = 24;

    // "html", "csv" or "json"; false for anything else.
    static bool kindFromText(const QString &text, Kind *kind);

    // source names where the list came from ("search on all adapters",
    // "saved list site.csv"); made is the report's time.
    static QByteArray write(const FleetReport &report, Kind kind, const QString &source, const QDateTime &made);

    static QByteArray html(const FleetReport &report, const QString &source, const QDateTime &made);
    // model, name, ip, mac, fwVersion, newestFwVersion, behindNewest, mode,
    // conflict, outsideSubnets: one row per camera.
    static QByteArray csv(const FleetReport &report);
    static QByteArray json(const FleetReport &report, const QString &source, const QDateTime &made);

    // The bar chart of firmware versions per model, as an <svg> element.
    static QString chartSvg(const FleetReport &report);

private:
    FleetReportWriter() = delete;
};

#endif // FLEETREPORTWRITER_H
