#include "watchrunner.h"

#include <QPointer>

WatchRunner::WatchRunner(const SearchOnce &searchOnce, QObject *parent)
    : QObject(parent)
    , m_searchOnce(searchOnce)
{
    qRegisterMetaType<WatchEvent>();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WatchRunner::roundTimerFunc);
}

void WatchRunner::setIntervalSeconds(int seconds)
{
    m_intervalMs = qBound(MinIntervalSeconds, seconds, MaxIntervalSeconds) * 1000;
}

void WatchRunner::setIntervalMs(int ms)
{
    m_intervalMs = qMax(0, ms);
}

void WatchRunner::setBaseline(const QList<DeviceRecord> &devices)
{
    m_differ.setBaseline(devices);
}

void WatchRunner::start()
{
    if (m_running)
        return;
    m_running = true;
    m_timer.start(0);
}

void WatchRunner::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_searching = false;
    ++m_token;
    m_timer.stop();
    QMetaObject::invokeMethod(this, &WatchRunner::finished, Qt::QueuedConnection);
}

void WatchRunner::roundTimerFunc()
{
    if (!m_running || m_searching)
        return;
    m_searching = true;
    m_roundStarted.start();
    const int token = ++m_token;
    const QPointer<WatchRunner> self(this);
    m_searchOnce([self, token](const Round &round) {
        if (self)
            self->searchDoneFunc(token, round);
    });
}

void WatchRunner::searchDoneFunc(int token, const Round &round)
{
    // A late or second answer, or one that arrives after stop().
    if (token != m_token || !m_running || !m_searching)
        return;
    m_searching = false;
    if (round.ok) {
        const QList<WatchEvent> events = m_differ.round(round.devices);
        for (const WatchEvent &event : events) {
            emit watchEvent(event);
            if (!m_running)
                return;
        }
        emit roundFinished(m_differ.rounds(), round.devices.size());
    } else {
        emit roundFailed(round.error);
    }
    if (m_running)
        m_timer.start(int(qMax<qint64>(0, m_intervalMs - m_roundStarted.elapsed())));
}
