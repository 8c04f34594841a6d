#include "fleetreportwriter.h"

#include "devicelistcsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString modeText(const DeviceRecord &device)
{
    if (device.searchType != DeviceRecord::BroadcastSearch)
        return QStringLiteral("unknown");
    return device.dhcp ? QStringLiteral("DHCP") : QStringLiteral("static");
}

QString versionText(const QString &version)
{
    return version.isEmpty() ? QStringLiteral("(none)") : version;
}

// Bars of one colour each: the newest version, the others with numbers,
// and texts without numbers.
const char *const NewestColour = "#2f855a";
const char *const OlderColour = "#2b6cb0";
const char *const UnknownColour = "#a0aec0";

const char *const Style = R"(
body { font-family: "Liberation Sans", Arial, sans-serif; margin: 24px; color: #1a202c; background: #ffffff; }
h1 { font-size: 22px; margin-bottom: 4px; }
h2 { font-size: 17px; margin-top: 28px; border-bottom: 1px solid #cbd5e0; padding-bottom: 3px; }
p.meta { color: #4a5568; margin-top: 0; }
table { border-collapse: collapse; margin: 8px 0; }
th, td { border: 1px solid #cbd5e0; padding: 3px 8px; text-align: left; font-size: 13px; }
th { background: #edf2f7; }
td.n { text-align: right; }
td:nth-child(2), td:nth-child(3), td:nth-child(4) { white-space: nowrap; }
tr.behind td { background: #fffaf0; }
span.mark { color: #c05621; font-weight: bold; }
span.newest { color: #2f855a; font-weight: bold; }
ul.summary li { margin: 2px 0; }
)";

QString deviceCells(const DeviceRecord &device)
{
    return QStringLiteral("<td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>")
        .arg(esc(device.name), esc(device.model), esc(device.ip), esc(device.mac), esc(versionText(device.fwVersion)));
}

QString deviceTable(const QList<DeviceRecord> &devices)
{
    QString html = QStringLiteral("<table><tr><th>Name</th><th>Model</th><th>Address</th><th>MAC</th><th>Firmware</th></tr>\n");
    for (const DeviceRecord &device : devices)
        html += QStringLiteral("<tr>") + deviceCells(device) + QStringLiteral("</tr>\n");
    return html + QStringLiteral("</table>\n");
}

QJsonObject deviceObject(const DeviceRecord &device)
{
    return {{QStringLiteral("name"), device.name},   {QStringLiteral("model"), device.model},
            {QStringLiteral("ip"), device.ip},       {QStringLiteral("mac"), device.mac},
            {QStringLiteral("fwVersion"), device.fwVersion}, {QStringLiteral("mode"), modeText(device)}};
}

QJsonArray deviceArray(const QList<DeviceRecord> &devices)
{
    QJsonArray array;
    for (const DeviceRecord &device : devices)
        array.append(deviceObject(device));
    return array;
}

} // namespace

bool FleetReportWriter::kindFromText(const QString &text, Kind *kind)
{
    if (text == QLatin1String("html"))
        *kind = Kind::Html;
    else if (text == QLatin1String("csv"))
        *kind = Kind::Csv;
    else if (text == QLatin1String("json"))
        *kind = Kind::Json;
    else
        return false;
    return true;
}

QByteArray FleetReportWriter::write(const FleetReport &report, Kind kind, const QString &source, const QDateTime &made)
{
    switch (kind) {
    case Kind::Csv:
        return csv(report);
    case Kind::Json:
        return json(report, source, made);
    case Kind::Html:
        break;
    }
    return html(report, source, made);
}

QString FleetReportWriter::chartSvg(const FleetReport &report)
{
    const int labelWidth = 150;
    const int barSpace = 380;
    const int rowHeight = 20;
    const int headHeight = 26;
    const int width = labelWidth + barSpace + 60;
    QString body;
    int y = 0;
    int most = 1;
    const int models = std::min<int>(report.models.size(), MaxChartModels);
    for (int m = 0; m < models; ++m) {
        for (const FleetReport::Firmware &firmware : report.models.at(m).firmware)
            most = std::max(most, firmware.cameras);
    }
    for (int m = 0; m < models; ++m) {
        const FleetReport::Model &model = report.models.at(m);
        y += headHeight;
        body += QStringLiteral("<text x=\"0\" y=\"%1\" font-weight=\"bold\" font-size=\"14\">").arg(y - 8)
            + esc(model.model) + QStringLiteral(" (%1)</text>\n").arg(model.cameras);
        const int versions = std::min<int>(model.firmware.size(), MaxChartVersions);
        for (int v = 0; v < versions; ++v) {
            const FleetReport::Firmware &firmware = model.firmware.at(v);
            const int length = std::max(2, firmware.cameras * barSpace / most);
            const char *colour = !firmware.comparable ? UnknownColour : firmware.newest ? NewestColour : OlderColour;
            body += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"12\" text-anchor=\"end\">")
                        .arg(labelWidth - 8).arg(y + 14)
                + esc(versionText(firmware.version).left(24))
                + QStringLiteral("</text><rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>"
                                 "<text x=\"%6\" y=\"%7\" font-size=\"12\">%8</text>\n")
                      .arg(labelWidth).arg(y + 2).arg(length).arg(rowHeight - 5).arg(QLatin1String(colour))
                      .arg(labelWidth + length + 6).arg(y + 14).arg(firmware.cameras);
            y += rowHeight;
        }
        if (model.firmware.size() > versions) {
            body += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"12\">%3 more versions, listed below</text>\n")
                        .arg(labelWidth).arg(y + 14).arg(model.firmware.size() - versions);
            y += rowHeight;
        }
    }
    if (report.models.size() > models) {
        y += rowHeight;
        body += QStringLiteral("<text x=\"0\" y=\"%1\" font-size=\"12\">%2 more models, listed below</text>\n")
                    .arg(y).arg(report.models.size() - models);
    }
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                          "font-family=\"Liberation Sans, Arial, sans-serif\" role=\"img\" "
                          "aria-label=\"Firmware versions per model\">\n%3</svg>\n")
        .arg(width).arg(y + 8).arg(body);
}

QByteArray FleetReportWriter::html(const FleetReport &report, const QString &source, const QDateTime &made)
{
    QString html;
    html += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                           // Nothing in the file may fetch anything: no script, no image, no font from outside.
                           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
                           "<title>Fleet report</title>\n<style>");
    html += QLatin1String(Style);
    html += QStringLiteral("</style>\n</head>\n<body>\n<h1>Fleet report</h1>\n<p class=\"meta\">%1, %2</p>\n")
                .arg(esc(source), esc(made.toString(Qt::ISODate)));

    html += QStringLiteral("<h2>Summary</h2>\n<ul class=\"summary\">\n<li>%1 cameras, %2 models</li>\n")
                .arg(report.cameras).arg(report.models.size());
    int behind = 0;
    for (const FleetReport::Model &model : report.models)
        behind += model.behind.size();
    html += QStringLiteral("<li>%1 behind the newest firmware of their model</li>\n").arg(behind);
    html += QStringLiteral("<li>DHCP: %1, static: %2%3</li>\n")
                .arg(report.dhcp).arg(report.fixed)
                .arg(report.modeUnknown ? QStringLiteral(", not known: %1").arg(report.modeUnknown) : QString());
    html += QStringLiteral("<li>Address conflicts: %1</li>\n").arg(report.conflicts.size());
    if (report.subnetsKnown)
        html += QStringLiteral("<li>In no adapter's subnet (%1): %2</li>\n")
                    .arg(esc(report.subnets.join(QStringLiteral(", "))), QString::number(report.outsideSubnets.size()));
    else
        html += QStringLiteral("<li>Subnets not checked: no adapter was given</li>\n");
    if (report.duplicatesDropped)
        html += QStringLiteral("<li>%1 records left out (listed twice, or without a MAC)</li>\n").arg(report.duplicatesDropped);
    html += QStringLiteral("</ul>\n");

    html += QStringLiteral("<h2>Firmware versions per model</h2>\n");
    html += QStringLiteral("<p><span class=\"newest\">&#9632;</span> newest &nbsp; "
                           "<span style=\"color:%1\">&#9632;</span> older &nbsp; "
                           "<span style=\"color:%2\">&#9632;</span> without a version number</p>\n")
                .arg(QLatin1String(OlderColour), QLatin1String(UnknownColour));
    html += chartSvg(report);

    html += QStringLiteral("<h2>Cameras per model</h2>\n<table><tr><th>Model</th><th>Cameras</th><th>Newest</th>"
                           "<th>Oldest</th><th>Behind the newest</th><th>Versions</th></tr>\n");
    for (const FleetReport::Model &model : report.models) {
        QStringList versions;
        for (const FleetReport::Firmware &firmware : model.firmware)
            versions.append(esc(versionText(firmware.version)) + QStringLiteral(" &times; %1").arg(firmware.cameras));
        html += QStringLiteral("<tr><td>%1</td><td class=\"n\">%2</td><td>%3</td><td>%4</td><td class=\"n\">%5</td><td>%6</td></tr>\n")
                    .arg(esc(model.model), QString::number(model.cameras), esc(model.newest), esc(model.oldest),
                         QString::number(model.behind.size()), versions.join(QStringLiteral(", ")));
    }
    html += QStringLiteral("</table>\n");

    html += QStringLiteral("<h2>Cameras</h2>\n<p><span class=\"mark\">&#9650; behind</span> marks a camera "
                           "whose firmware is older than the newest of its model.</p>\n"
                           "<table><tr><th>Name</th><th>Model</th><th>Address</th><th>MAC</th><th>Firmware</th>"
                           "<th>Newest of model</th><th>Mode</th><th>Notes</th></tr>\n");
    for (const FleetReport::Camera &camera : report.devices) {
        QStringList notes;
        if (camera.behind)
            notes.append(QStringLiteral("<span class=\"mark\">&#9650; behind</span>"));
        if (camera.conflict)
            notes.append(QStringLiteral("address conflict"));
        if (camera.outside)
            notes.append(QStringLiteral("outside the adapters' subnets"));
        html += QStringLiteral("<tr%1>").arg(camera.behind ? QStringLiteral(" class=\"behind\"") : QString())
            + deviceCells(camera.device)
            + QStringLiteral("<td>%1</td><td>%2</td><td>%3</td></tr>\n")
                  .arg(esc(camera.newest), modeText(camera.device), notes.join(QStringLiteral(", ")));
    }
    html += QStringLiteral("</table>\n");

    html += QStringLiteral("<h2>Address conflicts</h2>\n");
    if (report.conflicts.isEmpty())
        html += QStringLiteral("<p>None: every address answers for one camera.</p>\n");
    for (const FleetReport::Conflict &conflict : report.conflicts)
        html += QStringLiteral("<p>%1 is held by %2 devices:</p>\n").arg(esc(conflict.ip), QString::number(conflict.devices.size()))
            + deviceTable(conflict.devices);

    html += QStringLiteral("<h2>Cameras in no adapter's subnet</h2>\n");
    if (!report.subnetsKnown)
        html += QStringLiteral("<p>Not checked: no adapter was given.</p>\n");
    else if (report.outsideSubnets.isEmpty())
        html += QStringLiteral("<p>None: every camera is in a subnet of %1.</p>\n").arg(esc(report.subnets.join(QStringLiteral(", "))));
    else
        html += deviceTable(report.outsideSubnets);

    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

QByteArray FleetReportWriter::csv(const FleetReport &report)
{
    const auto line = [](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted.append(DeviceListCsv::field(field));
        return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
    };
    const auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    QString text = line({QStringLiteral("model"), QStringLiteral("name"), QStringLiteral("ip"), QStringLiteral("mac"),
                         QStringLiteral("fwVersion"), QStringLiteral("newestFwVersion"), QStringLiteral("behindNewest"),
                         QStringLiteral("mode"), QStringLiteral("conflict"), QStringLiteral("outsideSubnets")});
    for (const FleetReport::Camera &camera : report.devices) {
        const DeviceRecord &d = camera.device;
        text += line({d.model, d.name, d.ip, d.mac, d.fwVersion, camera.newest, flag(camera.behind), modeText(d),
                       flag(camera.conflict), report.subnetsKnown ? flag(camera.outside) : QString()});
    }
    return text.toUtf8();
}

QByteArray FleetReportWriter::json(const FleetReport &report, const QString &source, const QDateTime &made)
{
    QJsonArray models;
    for (const FleetReport::Model &model : report.models) {
        QJsonArray firmware;
        for (const FleetReport::Firmware &f : model.firmware)
            firmware.append(QJsonObject{{QStringLiteral("version"), f.version},
                                        {QStringLiteral("cameras"), f.cameras},
                                        {QStringLiteral("comparable"), f.comparable},
                                        {QStringLiteral("newest"), f.newest},
                                        {QStringLiteral("oldest"), f.oldest}});
        models.append(QJsonObject{{QStringLiteral("model"), model.model},
                                  {QStringLiteral("cameras"), model.cameras},
                                  {QStringLiteral("newest"), model.newest},
                                  {QStringLiteral("oldest"), model.oldest},
                                  {QStringLiteral("firmware"), firmware},
                                  {QStringLiteral("behindNewest"), deviceArray(model.behind)}});
    }
    QJsonArray conflicts;
    for (const FleetReport::Conflict &conflict : report.conflicts)
        conflicts.append(QJsonObject{{QStringLiteral("ip"), conflict.ip}, {QStringLiteral("devices"), deviceArray(conflict.devices)}});
    QJsonObject object{{QStringLiteral("source"), source},
                       {QStringLiteral("made"), made.toString(Qt::ISODate)},
                       {QStringLiteral("cameras"), report.cameras},
                       {QStringLiteral("recordsLeftOut"), report.duplicatesDropped},
                       {QStringLiteral("dhcp"), report.dhcp},
                       {QStringLiteral("static"), report.fixed},
                       {QStringLiteral("modeUnknown"), report.modeUnknown},
                       {QStringLiteral("models"), models},
                       {QStringLiteral("conflicts"), conflicts}};
    if (report.subnetsKnown) {
        object.insert(QStringLiteral("subnets"), QJsonArray::fromStringList(report.subnets));
        object.insert(QStringLiteral("outsideSubnets"), deviceArray(report.outsideSubnets));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
