#ifndef SIGNALWATCHER_H
#define SIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the event loop, so a program
// that runs until it is stopped (the simulator, a watch) can finish its
// work and give back what it holds before it exits. One at a time per
// process: the handler writes to one pipe.
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
