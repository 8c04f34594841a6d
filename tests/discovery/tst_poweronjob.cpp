// One power-on from request to outcome. The cases without the test LAN use a
// discovery service without local addresses: the VISCA control opens no
// socket, so its messages are only numbered, and the camera's replies are
// fed in as datagrams with those numbers; Wake-on-LAN goes to a recorder.
// Asking again after Wake-on-LAN needs a socket, so that case runs in the
// test LAN against a simulated camera that Wake-on-LAN wakes.

#include "../corvane/logtestsupport.h"

#include "camsimprocess.h"
#include "discoveryservice.h"
#include "poweronjob.h"
#include "searchmanager.h"
#include "testlan.h"
#include "viscaoipcontrol.h"
#include "viscaprotocol.h"
#include "wakeonlan.h"
#include "wakeonlansender.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QtTest>

#include <optional>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// What the job's spies saw, in one place per job.
struct JobWatch
{
    explicit JobWatch(PowerOnJob *job)
        : stages(job, &PowerOnJob::stageReached)
        , results(job, &PowerOnJob::finished)
    {
    }

    QList<int> stageList() const
    {
        QList<int> list;
        for (const QList<QVariant> &args : stages)
            list << args.at(0).toInt();
        return list;
    }
    int result() const { return results.isEmpty() ? -1 : results.at(0).at(0).toInt(); }

    QSignalSpy stages;
    QSignalSpy results;
};

} // namespace

class TestPowerOnJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void cameraAlreadyOn();
    void standbyCameraSwitchedOn();
    void otherCamerasAndStrayRepliesIgnored();
    void standbyCameraThatNeverCompletes();
    void silentCameraGetsWakeOnLan();
    void badMacTextSendsNothing();
    void killedJobStaysQuiet();
    void askAgainAfterWakeOnLan();

private:
    // The camera answers the message the control sent it last.
    void reply(const QString &ip, const char *payload)
    {
        const ViscaCommandEntry entry = discovery->viscaControl()->commandEntry(ip);
        QVERIFY2(entry.isValid(), qPrintable(ip));
        discovery->viscaControl()->handleDatagram(ViscaProtocol::encodeReply(quint32(entry.sequence), hex(payload)),
                                                  QHostAddress(ip));
    }

    QTemporaryDir home;
    std::optional<LogCapture> log;
    DiscoveryService *discovery = nullptr;
    SearchManager *manager = nullptr;
    QList<QByteArray> wolPasses;
};

void TestPowerOnJob::initTestCase()
{
    QVERIFY(home.isValid());
    isolateHome(home.path());
    log.emplace(LogSystem::LogDetailMsg);
}

void TestPowerOnJob::init()
{
    log->clear();
    wolPasses.clear();
    // Only inside the test LAN may anything be sent; elsewhere the control
    // knows no local address and opens no socket.
    const bool inLan = TestLan::unavailableReason().isEmpty();
    discovery = inLan ? new DiscoveryService(&QNetworkInterface::allAddresses)
                      : new DiscoveryService([] { return QList<QHostAddress>(); });
    manager = discovery->searchManager();
    if (!inLan)
        manager->wakeOnLanSender()->setPassFunction([this](const QByteArray &packet) { wolPasses << packet; });
}

void TestPowerOnJob::cleanup()
{
    delete discovery;
    discovery = nullptr;
    manager = nullptr;
}

void TestPowerOnJob::cleanupTestCase()
{
    log.reset();
}

void TestPowerOnJob::cameraAlreadyOn()
{
    const QString ip = QStringLiteral("192.0.2.80");
    PowerOnJob job(manager, ip, QStringLiteral("02:50:4d:00:08:00"));
    JobWatch watch(&job);
    QVERIFY(job.start());
    QVERIFY(job.isRunning());
    QVERIFY(job.isWaitingForPowerState());
    QCOMPARE(watch.stageList(), QList<int>({PowerOnJob::InquirySent}));
    QCOMPARE(discovery->viscaControl()->commandEntry(ip).command, QStringLiteral("81090400ff"));

    // The acknowledge alone says nothing about the power.
    reply(ip, "90 41 FF");
    QCOMPARE(watch.results.count(), 0);
    reply(ip, "90 50 02 FF");
    QCOMPARE(watch.results.count(), 1);
    QCOMPARE(watch.result(), int(PowerOnJob::AlreadyOn));
    QVERIFY(!job.isRunning());
    // An "on" camera gets no command, and nobody wakes it.
    QCOMPARE(discovery->viscaControl()->commandEntry(ip).command, QStringLiteral("81090400ff"));
    QVERIFY(!job.wokeByWakeOnLan());
    QTest::qWait(300);
    QCOMPARE(watch.results.count(), 1);
    QVERIFY(wolPasses.isEmpty());
}

void TestPowerOnJob::standbyCameraSwitchedOn()
{
    const QString ip = QStringLiteral("192.0.2.81");
    PowerOnJob job(manager, ip, QStringLiteral("02:50:4d:00:08:01"));
    JobWatch watch(&job);
    QVERIFY(job.start());
    reply(ip, "90 50 03 FF");
    // The coordinator switches a standby camera on; the job waits for it.
    QCOMPARE(watch.stageList(), QList<int>({PowerOnJob::InquirySent, PowerOnJob::CommandSent}));
    const ViscaCommandEntry command = discovery->viscaControl()->commandEntry(ip);
    QCOMPARE(command.command, QStringLiteral("8101040002ff"));
    QCOMPARE(command.sequence, 1);
    QVERIFY(job.isRunning());
    QVERIFY(!job.isWaitingForPowerState());

    reply(ip, "90 41 FF");
    QCOMPARE(watch.results.count(), 0);
    reply(ip, "90 51 FF");
    QCOMPARE(watch.results.count(), 1);
    QCOMPARE(watch.result(), int(PowerOnJob::SwitchedOn));
    // A copy of the completion changes nothing.
    reply(ip, "90 51 FF");
    QCOMPARE(watch.results.count(), 1);
    QVERIFY(wolPasses.isEmpty());
}

void TestPowerOnJob::otherCamerasAndStrayRepliesIgnored()
{
    const QString ip = QStringLiteral("192.0.2.82");
    const QString other = QStringLiteral("192.0.2.83");
    PowerOnJob job(manager, ip, QStringLiteral("02:50:4d:00:08:02"));
    JobWatch watch(&job);
    QVERIFY(job.start());

    // Another camera's answer, a completion nobody asked for, and a power
    // mode that is neither on nor standby.
    discovery->viscaControl()->inquirePowerState(other);
    reply(other, "90 50 02 FF");
    emit discovery->viscaControl()->viscaCmdCompleted();
    emit discovery->viscaControl()->viscaOipControlInquiryPowerStatusReply(ip, ViscaProtocol::PowerMode(4));
    QCOMPARE(watch.results.count(), 0);
    QVERIFY(job.isWaitingForPowerState());

    reply(ip, "90 50 02 FF");
    QCOMPARE(watch.result(), int(PowerOnJob::AlreadyOn));
}

void TestPowerOnJob::standbyCameraThatNeverCompletes()
{
    const QString ip = QStringLiteral("192.0.2.85");
    PowerOnJob job(manager, ip, QStringLiteral("02:50:4d:00:08:05"));
    JobWatch watch(&job);
    QVERIFY(job.start());
    reply(ip, "90 50 03 FF");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(watch.results.wait(PowerOnJob::CommandWaitMs + 3000));
    QVERIFY2(clock.elapsed() >= PowerOnJob::CommandWaitMs - 100, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(watch.result(), int(PowerOnJob::CommandNotCompleted));
    // A camera that heard the command is awake: no Wake-on-LAN.
    QVERIFY(!job.wokeByWakeOnLan());
    QVERIFY(wolPasses.isEmpty());
    // Completion after the end is too late to count.
    reply(ip, "90 51 FF");
    QCOMPARE(watch.results.count(), 1);
}

void TestPowerOnJob::silentCameraGetsWakeOnLan()
{
    const QString ip = QStringLiteral("192.0.2.86");
    const QString mac = QStringLiteral("02:50:4d:00:08:06");
    PowerOnJob job(manager, ip, mac);
    JobWatch watch(&job);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(job.start());

    QTRY_COMPARE_WITH_TIMEOUT(wolPasses.size(), 1, SearchManager::ViscaTimeoutMs + 3000);
    const qint64 silence = clock.elapsed();
    QVERIFY2(silence >= SearchManager::ViscaTimeoutMs - 100, qPrintable(QString::number(silence)));
    QCOMPARE(wolPasses.first(), WakeOnLan::buildMagicPacket(mac));
    QCOMPARE(watch.stageList(), QList<int>({PowerOnJob::InquirySent, PowerOnJob::WakeOnLanStarted}));
    QVERIFY(job.wokeByWakeOnLan());
    QVERIFY(log->messages().contains(QStringLiteral("Send visca control timeout.")));
    QVERIFY(log->messages().contains(QStringLiteral("Send wake on lan,mac=%1").arg(mac)));
    // The job ends when its last pass is out, not at the first.
    QCOMPARE(watch.results.count(), 0);
    QVERIFY(watch.results.wait(15000));
    QCOMPARE(wolPasses.size(), 15);
    QCOMPARE(watch.result(), int(PowerOnJob::WakeOnLanSent));
    // Not asked to ask again: nothing more is sent to the camera.
    QCOMPARE(discovery->viscaControl()->commandEntry(ip).sequence, 0);
}

void TestPowerOnJob::badMacTextSendsNothing()
{
    for (const QString &mac : {QStringLiteral("00-00-5e-00-53-01"), QString(), QString(4096, QLatin1Char('a'))}) {
        PowerOnJob job(manager, QStringLiteral("192.0.2.87"), mac);
        JobWatch watch(&job);
        QVERIFY(!job.start());
        QCOMPARE(watch.results.count(), 1);
        QCOMPARE(watch.result(), int(PowerOnJob::Refused));
        QVERIFY(!job.isRunning());
    }
    QVERIFY(!discovery->viscaControl()->commandEntry(QStringLiteral("192.0.2.87")).isValid());
    QVERIFY(!manager->wakeOnLanSender()->isBusy());
    QVERIFY(wolPasses.isEmpty());
}

void TestPowerOnJob::killedJobStaysQuiet()
{
    const QString ip = QStringLiteral("192.0.2.88");
    PowerOnJob job(manager, ip, QStringLiteral("02:50:4d:00:08:08"));
    JobWatch watch(&job);
    QVERIFY(job.start());
    job.kill();
    QVERIFY(!job.isRunning());
    reply(ip, "90 50 03 FF");
    QTest::qWait(200);
    QCOMPARE(watch.results.count(), 0);
    QCOMPARE(watch.stageList(), QList<int>({PowerOnJob::InquirySent}));
}

void TestPowerOnJob::askAgainAfterWakeOnLan()
{
    TESTLAN_REQUIRE();
    // A silent camera that Wake-on-LAN wakes, and an address where nothing
    // answers at all. Both jobs run at once: the second one's magic packets
    // go out after the first one's, and it must wait for its own.
    const QString ip = QStringLiteral("192.0.2.90");
    const QString mac = QStringLiteral("02:50:4d:00:09:00");
    const QString nobody = QStringLiteral("192.0.2.91");
    CamsimProcess camsim;
    QVERIFY2(camsim.start(0, {QStringLiteral("--camera"), QStringLiteral("ip=%1,mac=%2,power=silent").arg(ip, mac)}),
             qPrintable(camsim.errorText()));

    PowerOnJob woken(manager, ip, mac);
    PowerOnJob unanswered(manager, nobody, QStringLiteral("02:50:4d:00:09:01"));
    woken.setAskAfterWakeOnLan(true);
    unanswered.setAskAfterWakeOnLan(true);
    JobWatch wokenWatch(&woken);
    JobWatch unansweredWatch(&unanswered);
    QVERIFY(woken.start());
    QVERIFY(unanswered.start());

    // 10 s of silence, 10.5 s of magic packets, then the answer.
    QVERIFY(wokenWatch.results.wait(30000));
    QCOMPARE(wokenWatch.result(), int(PowerOnJob::AlreadyOn));
    QCOMPARE(wokenWatch.stageList(), QList<int>({PowerOnJob::InquirySent, PowerOnJob::WakeOnLanStarted,
                                                 PowerOnJob::AskingAfterWakeOnLan}));
    QVERIFY(woken.wokeByWakeOnLan());
    auto wakesFor = [&camsim](const QString &to) {
        return camsim.events(QStringLiteral("wol"), QStringLiteral("mac"), to).size();
    };
    QCOMPARE(wakesFor(mac), 15);
    // The other camera's sequence has only begun.
    QVERIFY(unanswered.isRunning());
    QCOMPARE(unansweredWatch.stageList(), QList<int>({PowerOnJob::InquirySent, PowerOnJob::WakeOnLanStarted}));

    QVERIFY(unansweredWatch.results.wait(20000));
    QCOMPARE(unansweredWatch.result(), int(PowerOnJob::WakeOnLanUnanswered));
    QCOMPARE(unansweredWatch.stageList().last(), int(PowerOnJob::AskingAfterWakeOnLan));
    QCOMPARE(wakesFor(QStringLiteral("02:50:4d:00:09:01")), 15);
    // Asked twice, the second time after its own packets.
    QCOMPARE(discovery->viscaControl()->commandEntry(nobody).sequence, 1);
}

QTEST_GUILESS_MAIN(TestPowerOnJob)
#include "tst_poweronjob.moc"
