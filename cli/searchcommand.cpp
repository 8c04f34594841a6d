#include "searchcommand.h"

#include "cliinput.h"
#include "devicelistformat.h"
#include "searchmanager.h"
#include "utilityprotocol.h"

#include <QCommandLineParser>

int SearchCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    parser.addOption({QStringLiteral("sources"),
                      QStringLiteral("Which searches run: utility, doccam and box joined by ',' (default utility). "
                                     "doccam and box find devices only where their discovery sources are "
                                     "registered with the search coordinator; until then they find nothing."),
                      QStringLiteral("LIST"), QStringLiteral("utility")});
    parser.addOption({QStringLiteral("stream"),
                      QStringLiteral("Print each device as soon as it first answers, one JSON object a line, "
                                     "instead of the list at the end (a later answer's details, such as the "
                                     "serial number of the long reply, are not printed again).")});
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("Output: table, json, csv or csv-raw (default table). csv puts a ' before a field "
                                     "that begins with =, +, -, @, a tab or CR, so no spreadsheet takes a name "
                                     "for a formula; csv-raw writes every field exactly as it came."),
                      QStringLiteral("FORMAT"), QStringLiteral("table")});
    if (const int r = parse(&parser, arguments, QStringLiteral("search"),
                            QStringLiteral("Runs one search and prints the merged device list. The table shows "
                                           "model, name, address, MAC, firmware and mode in at most 100 columns; "
                                           "json and csv carry every field."),
                            QStringLiteral("pathmere-cli search --adapter eth0 --seconds 3 --format json")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("search takes no arguments, only options"));
    SearchOptions options;
    if (const int r = readSearchOptions(parser, &options))
        return r;
    QString error;
    if (!CliInput::sources(parser.value(QStringLiteral("sources")), &options.mask, &error))
        return usage(error);
    DeviceListFormat::Kind kind = DeviceListFormat::Kind::Table;
    if (!DeviceListFormat::kindFromText(parser.value(QStringLiteral("format")), &kind))
        return usage(QStringLiteral("--format takes table, json, csv or csv-raw"));
    const bool stream = parser.isSet(QStringLiteral("stream"));
    if (stream && parser.isSet(QStringLiteral("format")))
        return usage(QStringLiteral("--stream prints JSON lines and takes no --format"));
    if (stream) {
        connect(manager, &SearchManager::deviceFound, this, [](const DeviceRecord &record) {
            writeTo(stdout, DeviceListFormat::jsonLine(record));
        });
    }

    QList<DeviceRecord> list;
    if (!search(options, &list))
        return fail(Failed, QStringLiteral("UDP port %1 is still in use by another program; "
                                           "try again when its search has ended").arg(UtilityProtocol::Port));
    if (!stream)
        writeTo(stdout, DeviceListFormat::format(list, kind));
    return Ok;
}
