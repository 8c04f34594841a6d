#include "searchcommand.h"

#include "adaptersurvey.h"
#include "cliinput.h"
#include "devicemarks.h"
#include "devicelistformat.h"
#include "searchmanager.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>

int SearchCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    addSourcesOption(&parser);
    parser.addOption({QStringLiteral("stream"),
                      QStringLiteral("Print each device as soon as it first answers, one JSON object a line, "
                                     "instead of the list at the end (a later answer's details, such as the "
                                     "serial number of the long reply, are not printed again).")});
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("Output: table, json, csv or csv-raw (default table). csv puts a ' before a field "
                                     "that begins with =, +, -, @, a tab or CR, so no spreadsheet takes a name "
                                     "for a formula; csv-raw writes every field exactly as it came."),
                      QStringLiteral("FORMAT"), QStringLiteral("table")});
    parser.addOption({QStringLiteral("dry-run"),
                      QStringLiteral("Print what the search would send (addresses, datagrams, rate) and how long "
                                     "it would take, and send nothing.")});
    if (const int r = parse(&parser, arguments, QStringLiteral("search"),
                            QStringLiteral("Runs one search and prints the merged device list. The table shows "
                                           "model, name, address, MAC, firmware and mode in at most 100 columns; "
                                           "json and csv carry every field."),
                            QStringLiteral("pathmere-cli search --target 198.51.100.0/24 --seconds 3 --format json")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("search takes no arguments, only options"));
    SearchOptions options;
    options.planOnly = parser.isSet(QStringLiteral("dry-run"));
    if (const int r = readSearchOptions(parser, &options))
        return r;
    DeviceListFormat::Kind kind = DeviceListFormat::Kind::Table;
    if (!DeviceListFormat::kindFromText(parser.value(QStringLiteral("format")), &kind))
        return usage(QStringLiteral("--format takes table, json, csv or csv-raw"));
    const bool stream = parser.isSet(QStringLiteral("stream"));
    if (stream && parser.isSet(QStringLiteral("format")))
        return usage(QStringLiteral("--stream prints JSON lines and takes no --format"));
    if (options.planOnly) {
        out(searchPlan(options));
        return Ok;
    }
    if (stream) {
        connect(manager, &SearchManager::deviceFound, this, [this](const DeviceRecord &record) {
            if (!streamed.contains(record.mac))
                writeTo(stdout, DeviceListFormat::jsonLine(record));
        });
        // The search asks the swept cameras again; each is printed once.
        connect(this, &CliCommand::sweepFound, this, [this](const DeviceRecord &record) {
            if (!streamed.contains(record.mac)) {
                streamed.insert(record.mac);
                writeTo(stdout, DeviceListFormat::jsonLine(record));
            }
        });
    }

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return searchFailed();
    // A conflict is worth a line even when the output goes to a program.
    const DeviceMarks marks = DeviceMarks::of(list, AdapterSurvey::read());
    const QStringList conflicts = marks.conflictSentences();
    for (const QString &sentence : conflicts)
        warn(sentence);
    if (!stream)
        writeTo(stdout, DeviceListFormat::format(list, kind, &marks));
    return Ok;
}
