#ifndef CLICOMMAND_H
#define CLICOMMAND_H

#include "devicerecord.h"
#include "ipv4rangeset.h"
#include "settingscheck.h"
#include "sweepplan.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdio>
#include <functional>

class QCommandLineParser;
class QEventLoop;
class KeyringLogin;
class QTimer;
class SearchManager;

// What every pathmere-cli command shares: parsing with help and one-sentence
// usage errors, the search options and the search itself on the discovery
// service's coordinator, the user ID and password, and the output (results
// to stdout, errors to stderr in one sentence, progress to stderr only on a
// terminal).
class CliCommand : public QObject
{
    Q_OBJECT

public:
    enum ExitCode {
        Ok = 0,
        Failed = 1,          // the tool could not do its work (port, sockets)
        Usage = 2,
        NotFound = 3,
        Refused = 4,         // the camera answered "Invalid ID"
        NotConfirmed = 5,
        SomeNotConfirmed = 6,
        RangeTooSmall = 7,
        NoRoute = 8,             // this computer has no route to the address; nothing was sent
        WakeOnLanUnanswered = 9  // power: Wake-on-LAN went out and the camera never answered
    };

    // How long a refusal may take to come back after a settings record.
    static constexpr int RefusalWaitMs = 3000;
    static constexpr int DefaultSeconds = 5;
    static constexpr int DefaultPortWaitSeconds = 10;

    explicit CliCommand(QObject *parent = nullptr);
    ~CliCommand() override;

    // arguments: what follows the command's name.
    virtual int run(const QStringList &arguments) = 0;

protected:
    struct SearchOptions
    {
        QString adapter;
        QList<QHostAddress> targets;
        int mask = 1;
        int seconds = DefaultSeconds;
        int portWait = DefaultPortWaitSeconds;
        // The networks and ranges of --target and --targets-from: swept by
        // unicast before the search listens; what the sweep finds becomes
        // one of the search's own targets.
        Ipv4RangeSet sweep;
        int rate = SweepPlan::DefaultRatePps;
        // Set before readSearchOptions by a command that only prints its
        // plan: a large sweep needs no --yes then.
        bool planOnly = false;
    };

    int usage(const QString &sentence) const;
    int fail(int code, const QString &sentence) const;
    void warn(const QString &sentence) const;
    void out(const QString &text) const;
    void progress(const QString &text) const;
    void wait(int ms) const;
    static void writeTo(FILE *stream, const QByteArray &bytes);

    // Parses; prints help with its example (returns -1 then, meaning "done,
    // exit 0") or a usage error (returns Usage); 0 to go on.
    int parse(QCommandLineParser *parser, const QStringList &arguments, const QString &command,
              const QString &synopsis, const QString &example) const;
    void addSearchOptions(QCommandLineParser *parser) const;
    // --sources, for the commands that may run more than the utility search;
    // readSearchOptions reads it into SearchOptions::mask when it was added.
    void addSourcesOption(QCommandLineParser *parser) const;
    // --mask, --gateway, --dns1 and --dns2, each defaulting to whose value
    // ("the camera's", "each camera's").
    static void addNetworkOptions(QCommandLineParser *parser, const QString &whose);
    // --user and --password-stdin; cameras names them ("The camera's").
    static void addCredentialOptions(QCommandLineParser *parser, const QString &cameras);
    int readSearchOptions(const QCommandLineParser &parser, SearchOptions *options) const;
    int readCredentials(const QCommandLineParser &parser, QString *user, QString *password) const;
    // Refuses, in one sentence, the first malformed value of problems, and
    // the first conflict unless force (then each conflict is a warning);
    // name says which option or value each field is. 0 to go on.
    int refuseProblems(const QList<SettingsCheck::Problem> &problems, bool force,
                       const std::function<QString(SettingsCheck::Field)> &name) const;
    // One search with options; false when port 8000 stayed taken or the
    // sweep failed (searchFailed() then says which and gives the exit code).
    bool search(const SearchOptions &options, QList<DeviceRecord> *list);
    int searchFailed() const;
    // What a search with options would send and for how long, for --dry-run.
    QString searchPlan(const SearchOptions &options) const;
    // "Searching... N s" on the progress line, a second at a time, while a
    // job's confirming search runs.
    void startCountdown(int seconds);
    void stopCountdown();
    // Ends the wait() running now and every later one at once: a command
    // stopped by a signal does not sit out the rest of its search.
    void interruptWaits();
    // A sentence on standard error that is neither an error nor a warning.
    void note(const QString &sentence) const;
    // --keyring with no password yet, once the camera is found: its login
    // from the keyring, otherwise the prompt as without --keyring. 0 to go on.
    int keyringCredentials(KeyringLogin *keyring, const DeviceRecord &camera, QString *user, QString *password) const;
    // A device list that search saved (JSON, CSV or csv-raw), named by
    // option; its skipped rows are warned about. 0 to go on.
    int readSavedList(const QCommandLineParser &parser, const QString &option, QList<DeviceRecord> *devices) const;

    // The interface whose IPv4 subnet holds address, for the probe.
    static QString interfaceFor(quint32 address);
    static QString ipText(quint32 address);

    // Sends desired to the camera found (an ApplySettingsJob) and confirms it
    // with a new search; prints the confirmed settings and returns Ok, or
    // says why not and returns Refused or NotConfirmed. With keyring, a
    // refusal of its login says so, and a confirmed login is remembered as
    // the keyring's options asked.
    int applyAndConfirm(const DeviceRecord &found, const DeviceRecord &desired, const QString &user,
                        const QString &password, const SearchOptions &options, KeyringLogin *keyring = nullptr);
    // The MAC argument and --model of a command about one camera, and their
    // reading (0 to go on, or Usage when said).
    static void addCameraArguments(QCommandLineParser *parser);
    int readCamera(const QCommandLineParser &parser, const QString &command, QString *mac, QString *model) const;
    // One search, and the camera in it: 0 with *found pointing into *list,
    // or Failed or NotFound when said.
    int searchCamera(const SearchOptions &options, const QString &mac, const QString &model, QList<DeviceRecord> *list,
                     const DeviceRecord **found);

    SearchManager *const manager;

signals:
    // A camera the sweep found, as soon as it answered.
    void sweepFound(const DeviceRecord &record);

private:
    Q_DISABLE_COPY(CliCommand)

    bool waitForPort(int seconds) const;
    // Runs the sweep of options.sweep to its end; false with sweepFailure.
    bool sweep(const SearchOptions &options, QList<DeviceRecord> *found);

    mutable bool sourcesOffered = false;  // addSourcesOption was called
    mutable bool progressShown = false;   // a progress line waits to be cleared
    bool portChecked = false;
    QTimer *countdown = nullptr;
    int secondsLeft = 0;
    mutable QEventLoop *waiting = nullptr;
    bool interrupted = false;
    QString sweepFailure;
    int sweepExit = Ok;
};

#endif // CLICOMMAND_H
