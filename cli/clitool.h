#ifndef CLITOOL_H
#define CLITOOL_H

#include "devicerecord.h"
#include "settingscheck.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QCommandLineParser;
class SearchManager;

// pathmere-cli: one command per run (adapters, search, set, assign, power),
// each on the search coordinator the window uses. Results go to stdout,
// errors to stderr in one sentence, progress to stderr only on a terminal.
class CliTool : public QObject
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
    // How long a camera sent Wake-on-LAN has to answer the power inquiry
    // asked once the last magic packet is out.
    static constexpr int WakeAnswerWaitMs = 3000;

    explicit CliTool(QObject *parent = nullptr);
    ~CliTool() override;

    // arguments as main() got them (program name first).
    int run(const QStringList &arguments);

private:
    Q_DISABLE_COPY(CliTool)

    struct SearchOptions
    {
        QString adapter;
        QList<QHostAddress> targets;
        int mask = 1;
        int seconds = DefaultSeconds;
        int portWait = DefaultPortWaitSeconds;
    };

    int runAdapters(const QStringList &arguments);
    int runSearch(const QStringList &arguments);
    int runSet(const QStringList &arguments);
    int runAssign(const QStringList &arguments);
    int runPower(const QStringList &arguments);
    int usage(const QString &sentence) const;
    int fail(int code, const QString &sentence) const;
    void warn(const QString &sentence) const;

    // Parses; prints help with its example (returns -1 then, meaning "done,
    // exit 0") or a usage error (returns Usage); 0 to go on.
    int parse(QCommandLineParser *parser, const QStringList &arguments, const QString &command,
              const QString &synopsis, const QString &example) const;
    void addSearchOptions(QCommandLineParser *parser) const;
    int readSearchOptions(const QCommandLineParser &parser, SearchOptions *options) const;
    int readCredentials(const QCommandLineParser &parser, QString *user, QString *password) const;
    // Refuses, in one sentence, the first malformed value of problems, and
    // the first conflict unless force (then each conflict is a warning);
    // name says which option or value each field is. 0 to go on.
    int refuseProblems(const QList<SettingsCheck::Problem> &problems, bool force,
                       const std::function<QString(SettingsCheck::Field)> &name) const;
    bool waitForPort(int seconds) const;
    bool search(const SearchOptions &options, QList<DeviceRecord> *list);
    void progress(const QString &text) const;
    void wait(int ms) const;
    void out(const QString &text) const;

    SearchManager *manager = nullptr;
    bool refused = false;
    mutable bool progressShown = false;   // a progress line waits to be cleared
    bool portChecked = false;
};

#endif // CLITOOL_H
