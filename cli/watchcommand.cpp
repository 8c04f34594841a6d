#include "watchcommand.h"

#include "cliinput.h"
#include "signalwatcher.h"
#include "utilityprotocol.h"
#include "watchrunner.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QEventLoop>

int WatchCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addSearchOptions(&parser);
    addSourcesOption(&parser);
    parser.addOption({QStringLiteral("interval"),
                      QStringLiteral("Seconds from the start of one search to the start of the next, %1 to %2 "
                                     "(default %3). A search that listens longer than this starts the next at once.")
                          .arg(WatchRunner::MinIntervalSeconds).arg(WatchRunner::MaxIntervalSeconds)
                          .arg(WatchRunner::DefaultIntervalSeconds),
                      QStringLiteral("S"), QString::number(WatchRunner::DefaultIntervalSeconds)});
    parser.addOption({QStringLiteral("baseline"),
                      QStringLiteral("Compare the first search with a list saved earlier by search (its json, csv "
                                     "or csv-raw format): it then reports what appeared, moved or changed since, and "
                                     "what is missing two searches in a row, instead of every camera as appeared."),
                      QStringLiteral("FILE")});
    if (const int r = parse(&parser, arguments, QStringLiteral("watch"),
                            QStringLiteral("Searches every interval until stopped by SIGINT (Ctrl+C) or SIGTERM, "
                                           "then exits 0. Each change is one JSON object on one line of standard "
                                           "output, with \"event\" (appeared, disappeared, moved, changed or "
                                           "conflict) and \"time\" (UTC). A camera is reported disappeared only "
                                           "after it missed two searches in a row, so one lost answer is no event; "
                                           "moved has the address before and after (\"from\", \"to\"), changed "
                                           "the fields that changed (name, fwVersion, dhcp) with their old and new "
                                           "values (\"changes\")."),
                            QStringLiteral("pathmere-cli watch --interval 60 --baseline last-visit.json")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("watch takes no arguments, only options"));
    QString error;
    int interval = WatchRunner::DefaultIntervalSeconds;
    if (!CliInput::number(parser.value(QStringLiteral("interval")), QStringLiteral("--interval"),
                          WatchRunner::MinIntervalSeconds, WatchRunner::MaxIntervalSeconds, &interval, &error))
        return usage(error);
    SearchOptions options;
    if (const int r = readSearchOptions(parser, &options))
        return r;
    QList<DeviceRecord> baseline;
    const bool haveBaseline = parser.isSet(QStringLiteral("baseline"));
    if (haveBaseline) {
        if (const int r = readSavedList(parser, QStringLiteral("baseline"), &baseline))
            return r;
    }

    WatchRunner runner([this, options](const WatchRunner::Done &done) {
        WatchRunner::Round round;
        round.ok = search(options, &round.devices);
        if (!round.ok)
            round.error = QStringLiteral("UDP port %1 is still in use by another program; this search was "
                                         "skipped").arg(UtilityProtocol::Port);
        done(round);
    });
    runner.setIntervalSeconds(interval);
    if (haveBaseline)
        runner.setBaseline(baseline);
    connect(&runner, &WatchRunner::watchEvent, this, [](const WatchEvent &event) {
        writeTo(stdout, event.jsonLine(QDateTime::currentDateTimeUtc()));
    });
    connect(&runner, &WatchRunner::roundFailed, this, [this](const QString &why) { warn(why); });

    SignalWatcher signalWatcher;
    if (!signalWatcher.isValid())
        return fail(Failed, QStringLiteral("could not watch for SIGINT and SIGTERM, so the watch could not be "
                                           "ended cleanly; nothing was searched"));
    connect(&signalWatcher, &SignalWatcher::terminationRequested, &runner, [this, &runner] {
        // A search in progress ends now; its answers so far are dropped.
        runner.stop();
        interruptWaits();
    });
    QEventLoop loop;
    connect(&runner, &WatchRunner::finished, &loop, &QEventLoop::quit);
    runner.start();
    loop.exec();
    return Ok;
}
