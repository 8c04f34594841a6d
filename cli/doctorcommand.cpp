#include "doctorcommand.h"

#include "checkreport.h"
#include "checkresult.h"
#include "cliinput.h"
#include "networkdoctor.h"

#include <QCommandLineParser>
#include <QEventLoop>

int DoctorCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("format"), QStringLiteral("text (default) or json."), QStringLiteral("FORMAT"),
                      QStringLiteral("text")});
    parser.addOption({QStringLiteral("adapter"),
                      QStringLiteral("Check only this adapter (interface name or IPv4 address)."), QStringLiteral("A")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("How long the live search listens on each adapter "
                                                                "(1 to 30, default 3)."),
                      QStringLiteral("N"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("no-live"), QStringLiteral("Skip the live search: read the settings only.")});
    parser.addOption({QStringLiteral("no-probe"),
                      QStringLiteral("Send no ARP probe for the cameras' addresses (conflicts are then only two "
                                     "devices answering from one address).")});
    addSourcesOption(&parser);
    parser.addOption({QStringLiteral("why"), QStringLiteral("Show the steps behind each finding (the firewall's "
                                                            "rule walk, for example).")});
    if (const int r = parse(&parser, arguments, QStringLiteral("doctor"),
                            QStringLiteral("Checks why a search may find nothing: the adapters (and a container or "
                                           "VM behind NAT), the firewall, reverse-path filtering, another program "
                                           "on the search port, a live search from each adapter, cameras in "
                                           "another subnet and address conflicts. Each finding is ok, warning or "
                                           "problem, with the command that fixes it. Exit codes: 0 no problem "
                                           "(warnings allowed), 2 usage, 10 a problem was found."),
                            QStringLiteral("pathmere-cli doctor --format json")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("doctor takes no arguments, only options"));

    const QString format = parser.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("json"))
        return usage(QStringLiteral("--format takes text or json"));
    bool ok = false;
    const int seconds = parser.value(QStringLiteral("seconds")).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 30)
        return usage(QStringLiteral("--seconds takes a whole number from 1 to 30"));
    NetworkDoctor::Options options;
    int sources = CliInput::UtilityBit;
    QString error;
    if (!CliInput::sources(parser.value(QStringLiteral("sources")), &sources, &error))
        return usage(error);
    // The firewall check looks at every port the chosen searches listen on.
    options.ports = NetworkDoctor::portsForSources(sources);
    options.listenMs = seconds * 1000;
    options.liveSearch = !parser.isSet(QStringLiteral("no-live"));
    options.probeConflicts = !parser.isSet(QStringLiteral("no-probe"));
    if (parser.isSet(QStringLiteral("adapter"))) {
        const QString adapter = parser.value(QStringLiteral("adapter"));
        if (!CliInput::text(adapter, QStringLiteral("--adapter"), CliInput::MaxTextLength, &error))
            return usage(error);
        options.onlyAdapter = adapter;
    }

    NetworkDoctor doctor;
    QEventLoop loop;
    connect(&doctor, &NetworkDoctor::finished, &loop, &QEventLoop::quit);
    if (options.liveSearch)
        progress(QStringLiteral("Checking the network and searching from each adapter..."));
    doctor.start(options);
    if (doctor.isRunning())
        loop.exec();
    progress(QString());

    const QList<CheckResult> results = doctor.results();
    if (format == QLatin1String("json"))
        writeTo(stdout, CheckReport::json(results) + '\n');
    else
        out(CheckReport::text(results, parser.isSet(QStringLiteral("why"))));
    return CheckResult::worst(results) == CheckResult::Status::Problem ? ProblemFound : Ok;
}
