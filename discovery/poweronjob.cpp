#include "poweronjob.h"

#include "applog.h"
#include "searchmanager.h"
#include "viscaoipcontrol.h"
#include "viscaprotocol.h"
#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QHostAddress>

PowerOnJob::PowerOnJob(SearchManager *coordinator, const QString &ip, const QString &mac, QObject *parent)
    : QObject(parent)
    , coordinator(coordinator)
    , address(ip)
    , macText(mac)
{
    qRegisterMetaType<PowerOnJob::Result>();
    qRegisterMetaType<PowerOnJob::Stage>();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &PowerOnJob::deadlinePassed);
    const ViscaOipControl *const visca = coordinator->viscaControl();
    connect(visca, &ViscaOipControl::viscaOipControlInquiryPowerStatusReply, this, &PowerOnJob::powerStateReported);
    connect(visca, &ViscaOipControl::viscaCmdCompleted, this, &PowerOnJob::commandCompleted);
    connect(coordinator->wakeOnLanSender(), &WakeOnLanSender::sequenceFinished,
            this, &PowerOnJob::wakeOnLanSequenceFinished);
}

PowerOnJob::~PowerOnJob() = default;

bool PowerOnJob::start()
{
    // The text may come from a web page: nothing is kept or sent for a MAC
    // that could not be a camera's.
    if (!WakeOnLan::isMacText(macText)) {
        appLog(LogSystem::LogMajorMsg, "Power on refused: the MAC text (%d characters) is not six hex pairs joined by ':'.",
               int(macText.size()));
        finish(Refused);
        return false;
    }
    if (address.isEmpty()) {
        startWakeOnLan(false);
        return phase != Phase::Done;
    }
    phase = Phase::Inquiry;
    if (coordinator->openViscaSockets() != 0) {
        finish(SocketsFailed);
        return false;
    }
    coordinator->viscaControl()->inquirePowerState(address);
    timer.start(SearchManager::ViscaTimeoutMs);
    emit stageReached(InquirySent);
    return true;
}

void PowerOnJob::kill()
{
    phase = Phase::Done;
    timer.stop();
}

void PowerOnJob::powerStateReported(const QString &from, ViscaProtocol::PowerMode mode)
{
    // The coordinator answers a standby camera with the power-on command
    // itself; here only the outcome counts.
    if (from != QHostAddress(address).toString())
        return;
    if (mode != ViscaProtocol::PowerOn && mode != ViscaProtocol::PowerStandby)
        return;
    if (phase == Phase::Inquiry) {
        timer.stop();
        if (mode == ViscaProtocol::PowerOn) {
            finish(AlreadyOn);
            return;
        }
        phase = Phase::Command;
        timer.start(CommandWaitMs);
        emit stageReached(CommandSent);
    } else if (phase == Phase::AskAfterWake && mode == ViscaProtocol::PowerOn) {
        finish(AlreadyOn);
    }
}

void PowerOnJob::commandCompleted()
{
    if (phase == Phase::Command || phase == Phase::AskAfterWake)
        finish(SwitchedOn);
}

void PowerOnJob::deadlinePassed()
{
    switch (phase) {
    case Phase::Inquiry:
        appLog(LogSystem::LogMajorMsg, "Send visca control timeout.");
        startWakeOnLan(true);
        break;
    case Phase::Command:
        finish(CommandNotCompleted);
        break;
    case Phase::AskAfterWake:
        finish(WakeOnLanUnanswered);
        break;
    case Phase::Idle:
    case Phase::WakeOnLan:
    case Phase::Done:
        break;
    }
}

void PowerOnJob::startWakeOnLan(bool afterTimeout)
{
    if (coordinator->sendWakeOnLan(macText) != 0) {
        finish(WakeOnLanRefused);
        return;
    }
    woke = true;
    phase = Phase::WakeOnLan;
    // Sequences run one after the other: ours is through once as many have
    // finished as had been accepted with it.
    wakeSequence = coordinator->wakeOnLanSender()->acceptedSequences();
    if (afterTimeout)
        emit stageReached(WakeOnLanStarted);
}

void PowerOnJob::wakeOnLanSequenceFinished()
{
    if (phase != Phase::WakeOnLan || coordinator->wakeOnLanSender()->finishedSequences() < wakeSequence)
        return;
    if (!askAfterWake || address.isEmpty()) {
        finish(WakeOnLanSent);
        return;
    }
    // Nothing answers a magic packet; only the camera itself can say it
    // woke, so it is asked once more.
    phase = Phase::AskAfterWake;
    emit stageReached(AskingAfterWakeOnLan);
    if (coordinator->inquirePowerState(address) != 0) {
        finish(SocketsFailed);
        return;
    }
    timer.start(WakeAnswerWaitMs);
}

void PowerOnJob::finish(Result result)
{
    if (phase == Phase::Done)
        return;
    phase = Phase::Done;
    timer.stop();
    emit finished(result);
}
