#ifndef SIGNALWATCHER_H
#define SIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the event loop, so the
// simulator can give its addresses back before it exits.
class SignalWatcher : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SignalWatcher)

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void terminationRequested();

private slots:
    void signalPipeFunc();

private:
    static void handler(int signalNumber);
    static int s_pipe[2];
    QSocketNotifier *m_notifier = nullptr;
};

#endif // SIGNALWATCHER_H
