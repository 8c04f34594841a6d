#ifndef UPDATECHECKJOB_H
#define UPDATECHECKJOB_H

#include <QObject>
#include <QString>

#include <optional>

class DownloadManager;

// One check of the update server, from request to answer, for every front
// end alike: the user's check and the check of the day in the window, and
// the page's. Whoever asks while it runs joins it; the download manager
// fetches the description once and answers each of them. Ends with one
// finished() once every asker has its answer, or the description could not
// be read, or it answered nobody.
class UpdateCheckJob : public QObject
{
    Q_OBJECT

public:
    enum Result {
        Answered,            // see localAnswer() and webAnswer()
        DescriptionFailed,   // the description could not be downloaded
        NoAnswer             // the description held nothing to answer with
    };
    Q_ENUM(Result)

    struct WebAnswer
    {
        bool needUpdate = false;
        QString version;
    };

    explicit UpdateCheckJob(DownloadManager *manager, QObject *parent = nullptr);
    ~UpdateCheckJob() override;

    // Starts the check, or joins it once started; forWeb says whether the
    // page asks (it gets its own answer).
    void start(bool forWeb);
    bool isRunning() const { return running; }

    // Whether a download is needed, for the window; set when the window's
    // answer came.
    std::optional<bool> localAnswer() const { return local; }
    // The page's answer; set when it came.
    std::optional<WebAnswer> webAnswer() const { return web; }

signals:
    void finished(UpdateCheckJob::Result result);

private:
    Q_DISABLE_COPY(UpdateCheckJob)

    void finishOnceAnswered();
    void finish();

    DownloadManager *const manager;
    bool running = false;
    bool failed = false;
    bool wantLocal = false;
    bool wantWeb = false;
    std::optional<bool> local;
    std::optional<WebAnswer> web;
};

#endif // UPDATECHECKJOB_H
