#ifndef WATCHRUNNER_H
#define WATCHRUNNER_H

#include "devicerecord.h"
#include "watchdiffer.h"
#include "watchevent.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Searches every interval and reports what changed, until stopped. The
// search itself comes in as a function, so the runner is the same for the
// real search on the LAN and for a test's scripted rounds.
//
// A round starts an interval after the previous one started, or at once
// when the previous search took longer. A failed round (the search could
// not run at all) is reported and counts for nothing: it does not make
// every camera miss a round.
class WatchRunner : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(WatchRunner)

public:
    struct Round
    {
        bool ok = true;
        QList<DeviceRecord> devices;
        QString error;   // when !ok: one sentence
    };
    using Done = std::function<void(const Round &round)>;
    // Starts one search and calls done once with its result, now or later
    // on this thread.
    using SearchOnce = std::function<void(const Done &done)>;

    static constexpr int DefaultIntervalSeconds = 15;
    static constexpr int MinIntervalSeconds = 1;
    static constexpr int MaxIntervalSeconds = 24 * 3600;

    explicit WatchRunner(const SearchOnce &searchOnce, QObject *parent = nullptr);

    // Before start(); seconds are clamped to [MinIntervalSeconds, MaxIntervalSeconds].
    void setIntervalSeconds(int seconds);
    // For tests: any interval in milliseconds.
    void setIntervalMs(int ms);
    void setBaseline(const QList<DeviceRecord> &devices);

    bool isRunning() const { return m_running; }
    int rounds() const { return m_differ.rounds(); }

public slots:
    // The first round starts at once.
    void start();
    // No further round; a search still running is not waited for and its
    // result is dropped. finished() follows once, on the event loop.
    void stop();

signals:
    void watchEvent(const WatchEvent &event);
    void roundFinished(int round, int devices);
    void roundFailed(const QString &error);
    void finished();

private:
    void roundTimerFunc();
    void searchDoneFunc(int token, const Round &round);

    SearchOnce m_searchOnce;
    WatchDiffer m_differ;
    QTimer m_timer;
    QElapsedTimer m_roundStarted;
    int m_intervalMs = DefaultIntervalSeconds * 1000;
    int m_token = 0;
    bool m_running = false;
    bool m_searching = false;
};

#endif // WATCHRUNNER_H
