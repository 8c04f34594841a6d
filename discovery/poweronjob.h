#ifndef POWERONJOB_H
#define POWERONJOB_H

#include <QObject>
#include <QString>
#include <QTimer>

#include "viscaprotocol.h"

class SearchManager;

// One power-on of one camera, from request to outcome, for every front end
// alike (the page, the command line, SearchManager::setPowerOn): ask the
// camera's power state over VISCA; a camera in standby is switched on (the
// coordinator sends the command when it hears "standby") and must complete
// the command; a camera silent for ViscaTimeoutMs gets Wake-on-LAN. The job
// ends with exactly one finished(), unless killed.
class PowerOnJob : public QObject
{
    Q_OBJECT

public:
    enum Result {
        AlreadyOn,             // the camera reported itself on
        SwitchedOn,            // it was in standby and completed the power-on command
        CommandNotCompleted,   // it was in standby and did not complete the command in time
        WakeOnLanSent,         // it stayed silent; every magic packet went out
        WakeOnLanUnanswered,   // it stayed silent, also when asked again after Wake-on-LAN
        WakeOnLanRefused,      // it stayed silent, and too many Wake-on-LAN sequences wait already
        SocketsFailed,         // the VISCA sockets could not be opened; nothing was sent
        Refused                // the MAC text is no camera's; nothing was sent
    };
    Q_ENUM(Result)

    enum Stage {
        InquirySent,
        CommandSent,          // the camera answered "standby"
        WakeOnLanStarted,     // the camera stayed silent
        AskingAfterWakeOnLan  // the last magic packet is out; the camera is asked again
    };
    Q_ENUM(Stage)

    // How long a camera has to complete the power-on command, and to answer
    // when asked again after Wake-on-LAN.
    static constexpr int CommandWaitMs = 10000;
    static constexpr int WakeAnswerWaitMs = 3000;

    // An empty ip means no VISCA at all: Wake-on-LAN at once.
    PowerOnJob(SearchManager *coordinator, const QString &ip, const QString &mac, QObject *parent = nullptr);
    ~PowerOnJob() override;

    // Ask the camera once more after Wake-on-LAN instead of ending there
    // (only the camera can tell whether it woke).
    void setAskAfterWakeOnLan(bool ask) { askAfterWake = ask; }

    // Sends the first message. False when nothing could be sent (the job has
    // then already finished with Refused or SocketsFailed).
    bool start();
    // Ends the job without finished(): a newer request replaces it.
    void kill();

    QString ip() const { return address; }
    QString mac() const { return macText; }
    bool isRunning() const { return phase != Phase::Idle && phase != Phase::Done; }
    // The power inquiry is out and neither an answer nor the time-out came.
    bool isWaitingForPowerState() const { return phase == Phase::Inquiry; }
    // Wake-on-LAN went out during this job.
    bool wokeByWakeOnLan() const { return woke; }

signals:
    void stageReached(PowerOnJob::Stage stage);
    void finished(PowerOnJob::Result result);

private:
    Q_DISABLE_COPY(PowerOnJob)

    enum class Phase { Idle, Inquiry, Command, WakeOnLan, AskAfterWake, Done };

    void powerStateReported(const QString &from, ViscaProtocol::PowerMode mode);
    void commandCompleted();
    void deadlinePassed();
    void wakeOnLanSequenceFinished();
    void startWakeOnLan(bool afterTimeout);
    void finish(Result result);

    SearchManager *const coordinator;
    const QString address;
    const QString macText;
    QTimer timer;
    Phase phase = Phase::Idle;
    bool askAfterWake = false;
    bool woke = false;
    // The Wake-on-LAN sequences sent once this job's own is through.
    quint64 wakeSequence = 0;
};

#endif // POWERONJOB_H
