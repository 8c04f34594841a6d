#ifndef CLICOMMAND_H
#define CLICOMMAND_H

#include "devicerecord.h"
#include "settingscheck.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdio>
#include <functional>

class QCommandLineParser;
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
    // One search with options; false when port 8000 stayed taken.
    bool search(const SearchOptions &options, QList<DeviceRecord> *list);
    // "Searching... N s" on the progress line, a second at a time, while a
    // job's confirming search runs.
    void startCountdown(int seconds);
    void stopCountdown();

    // The interface whose IPv4 subnet holds address, for the probe.
    static QString interfaceFor(quint32 address);
    static QString ipText(quint32 address);

    SearchManager *const manager;

private:
    Q_DISABLE_COPY(CliCommand)

    bool waitForPort(int seconds) const;

    mutable bool progressShown = false;   // a progress line waits to be cleared
    bool portChecked = false;
    QTimer *countdown = nullptr;
    int secondsLeft = 0;
};

#endif // CLICOMMAND_H
