#include "reportcommand.h"

#include "cliinput.h"
#include "fleetreport.h"
#include "fleetreportwriter.h"
#include "settingscheck.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>

int ReportCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    parser.addOption({QStringLiteral("format"), QStringLiteral("html (default), csv or json."),
                      QStringLiteral("FORMAT"), QStringLiteral("html")});
    parser.addOption({QStringLiteral("from"),
                      QStringLiteral("Report on a list saved by search --format json, csv or csv-raw instead of "
                                     "searching."),
                      QStringLiteral("FILE")});
    if (const int r = parse(&parser, arguments, QStringLiteral("report"),
                            QStringLiteral("Writes a fleet report to standard output: cameras per model, firmware "
                                           "versions per model with the newest and the oldest and the cameras "
                                           "behind the newest, DHCP and static, address conflicts and cameras in "
                                           "no adapter's subnet. The HTML is one self-contained file with a bar "
                                           "chart of firmware versions per model."),
                            QStringLiteral("pathmere-cli report --from site.csv > site.html")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("report takes no arguments, only options"));
    FleetReportWriter::Kind kind = FleetReportWriter::Kind::Html;
    if (!FleetReportWriter::kindFromText(parser.value(QStringLiteral("format")), &kind))
        return usage(QStringLiteral("--format takes html, csv or json"));

    QList<DeviceRecord> devices;
    QString source;
    if (parser.isSet(QStringLiteral("from"))) {
        for (const QString &option : {QStringLiteral("adapter"), QStringLiteral("target")}) {
            if (parser.isSet(option))
                return usage(QStringLiteral("--from reads a saved list and takes no --%1").arg(option));
        }
        if (const int r = readSavedList(parser, QStringLiteral("from"), &devices))
            return r;
        const QString path = parser.value(QStringLiteral("from"));
        source = QStringLiteral("saved list %1").arg(QFileInfo(path).fileName());
    } else {
        SearchOptions options;
        if (const int r = readSearchOptions(parser, &options))
            return r;
        if (!search(options, &devices))
            return searchFailed();
        source = options.adapter.isEmpty() ? QStringLiteral("search on all adapters")
                                           : QStringLiteral("search on %1").arg(options.adapter);
    }
    const FleetReport report = FleetReport::make(devices, SettingsCheck::hostAddresses());
    writeTo(stdout, FleetReportWriter::write(report, kind, source, QDateTime::currentDateTimeUtc()));
    return Ok;
}
