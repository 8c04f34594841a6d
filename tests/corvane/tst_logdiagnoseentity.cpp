// Diagnose control of the log system: exclusive control, what a release puts
// back, and swapping the logger under a thread that keeps logging.
#include "logdiagnoseentity.h"
#include "logsystem.h"
#include "logtestsupport.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QMutex>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Keeps the numbers of "n <i>" lines; safe to read while another thread logs.
class SequenceLogger : public RecordingLogger
{
public:
    QList<int> numbers() const
    {
        QMutexLocker locker(&mutex);
        return seen;
    }

protected:
    void log(int, LogSystem::LogLevel, QString message) override
    {
        QMutexLocker locker(&mutex);
        if (message.startsWith(QLatin1String("n ")))
            seen.append(message.midRef(2).toInt());
    }

private:
    mutable QMutex mutex;
    QList<int> seen;
};

bool waitFor(const std::function<bool()> &condition)
{
    for (int i = 0; i < 1000 && !condition(); ++i)
        QThread::msleep(10);
    return condition();
}

} // namespace

class TestLogDiagnoseEntity : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controlIsExclusive();
    void releaseRestoresEverything();
    void redirectAndRestore();
    void redirectWhileAnotherThreadLogs();

private:
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
};

void TestLogDiagnoseEntity::init()
{
    logger.lines.clear();
    sys->enableAllLog();
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->setLogger(&logger);
    sys->startLog();
}

void TestLogDiagnoseEntity::cleanup()
{
    sys->stopLog();
    sys->setLogger(nullptr);
}

void TestLogDiagnoseEntity::controlIsExclusive()
{
    auto first = std::make_unique<LogDiagnoseEntity>();
    LogDiagnoseEntity second;
    QCOMPARE(first->requestLogControl(), 0);
    QCOMPARE(first->requestLogControl(), 0);
    QCOMPARE(second.requestLogControl(), -1);

    // Nothing the second entity asks for happens, its release included.
    const uint32_t none[8] = {};
    RecordingLogger other;
    QCOMPARE(second.setLogLevel(LogSystem::LogDetailMsg), -1);
    QCOMPARE(second.setLogModuleMask(none), -1);
    QCOMPARE(second.disableModuleLog(0), -1);
    QCOMPARE(second.redirectLogger(&other), -1);
    QCOMPARE(second.restoreLogger(), -1);
    second.releaseLogControl();
    QCOMPARE(second.getLogLevel(), LogSystem::LogMajorMsg);
    QCOMPARE(second.requestLogControl(), -1);
    QCOMPARE(first->setLogLevel(LogSystem::LogMinorMsg), 0);

    // A copy is a client of its own; assignment hands nothing over.
    LogDiagnoseEntity copy(*first);
    QCOMPARE(copy.setLogLevel(LogSystem::LogDetailMsg), -1);
    second = *first;
    QCOMPARE(second.requestLogControl(), -1);

    first->releaseLogControl();
    QCOMPARE(second.requestLogControl(), 0);
    QCOMPARE(first->requestLogControl(), -1);
    second.releaseLogControl();
    // Destruction releases as well.
    QCOMPARE(first->requestLogControl(), 0);
    first.reset();
    QCOMPARE(second.requestLogControl(), 0);
    second.releaseLogControl();

    QCOMPARE(logger.messages().count("Global log system diagnose control is granted!"), 4);
    QCOMPARE(logger.messages().count("Global log system diagnose control is released!"), 4);
    QCOMPARE(logger.lines.first().moduleId, 0);
    QCOMPARE(logger.lines.first().level, LogSystem::LogMajorMsg);
}

void TestLogDiagnoseEntity::releaseRestoresEverything()
{
    sys->setLogLevel(LogSystem::LogError);
    const int module = sys->registerLoggedModule(QStringLiteral("Diagnose/Release"));
    LogDiagnoseEntity entity;
    QCOMPARE(entity.requestLogControl(), 0);
    QVERIFY(entity.getRegisteredModules().contains(QStringLiteral("Diagnose/Release")));

    QCOMPARE(entity.setLogLevel(LogSystem::LogDetailMsg), 0);
    // Values that are no threshold are refused and change nothing.
    QCOMPARE(entity.setLogLevel(LogSystem::LogLevel(8)), -1);
    QCOMPARE(entity.setLogLevel(LogSystem::LogLevel(-1)), -1);
    QCOMPARE(entity.getLogLevel(), LogSystem::LogDetailMsg);
    QCOMPARE(entity.disableModuleLog(module), 0);
    QCOMPARE(entity.enableModuleLog(256), -1);
    uint32_t mask[8];
    entity.getLogModuleMask(mask);
    QCOMPARE(mask[module / 32] & (1u << (module % 32)), 0u);
    const uint32_t only0[8] = {1u};
    QCOMPARE(entity.setLogModuleMask(only0), 0);
    entity.getLogModuleMask(mask);
    QCOMPARE(mask[0], 1u);
    // Changes made meanwhile through the log system itself are discarded too.
    sys->setLogLevel(LogSystem::LogMinorWarning);

    entity.releaseLogControl();
    QCOMPARE(entity.getLogLevel(), LogSystem::LogError);
    entity.getLogModuleMask(mask);
    for (const uint32_t word : mask)
        QCOMPARE(word, 0xFFFFFFFFu);
    // Both lines are level 4, above the threshold of 2 in force at the time.
    QVERIFY(logger.messages().isEmpty());
}

void TestLogDiagnoseEntity::redirectAndRestore()
{
    const int module = sys->registerLoggedModule(QStringLiteral("Diagnose/Redirect"));
    RecordingLogger diverted;
    LogDiagnoseEntity entity;
    QCOMPARE(entity.requestLogControl(), 0);
    QCOMPARE(entity.redirectLogger(&diverted), 0);
    sys->log(module, LogSystem::LogMajorMsg, QStringLiteral("while diverted"));
    QCOMPARE(entity.restoreLogger(), 0);
    sys->log(module, LogSystem::LogMajorMsg, QStringLiteral("back again"));
    QCOMPARE(entity.redirectLogger(&diverted), 0);
    entity.releaseLogControl();

    QCOMPARE(diverted.messages(), QStringList{"while diverted"});
    QCOMPARE(diverted.starts, 0);
    QCOMPARE(logger.messages(),
             QStringList({"Global log system diagnose control is granted!", "System Logger is redirected!",
                          "System Logger is restored!", "back again", "System Logger is redirected!",
                          "Global log system diagnose control is released!"}));

    // The logger in place at the request is deleted while diverted: the
    // release must not bring back a dangling pointer.
    cleanup();
    auto doomed = std::make_unique<RecordingLogger>();
    sys->setLogger(doomed.get());
    sys->startLog();
    QCOMPARE(entity.requestLogControl(), 0);
    QCOMPARE(entity.redirectLogger(&diverted), 0);
    doomed.reset();
    entity.releaseLogControl();
    sys->log(module, LogSystem::LogMajorMsg, QStringLiteral("nowhere"));
    QVERIFY(!diverted.messages().contains("nowhere"));
}

void TestLogDiagnoseEntity::redirectWhileAnotherThreadLogs()
{
    cleanup();
    SequenceLogger primary;
    sys->setLogger(&primary);
    sys->startLog();
    const int module = sys->registerLoggedModule(QStringLiteral("Diagnose/Thread"));
    QAtomicInt stop(0);
    QAtomicInt written(0);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (int i = 0; !stop.loadAcquire(); ++i) {
            sys->log(module, LogSystem::LogMajorMsg, QStringLiteral("n %d"), i);
            written.storeRelease(i + 1);
        }
    }));
    worker->start();

    LogDiagnoseEntity entity;
    QCOMPARE(entity.requestLogControl(), 0);
    QVERIFY(waitFor([&] { return primary.numbers().size() > 100; }));
    auto diverted = std::make_unique<SequenceLogger>();
    QCOMPARE(entity.redirectLogger(diverted.get()), 0);
    QVERIFY(waitFor([&] { return diverted->numbers().size() > 100; }));
    QCOMPARE(entity.restoreLogger(), 0);
    // Nobody is inside the diverted logger any more: deleting it is safe.
    const QList<int> middle = diverted->numbers();
    diverted.reset();
    const int restoredAt = primary.numbers().size();
    QVERIFY(waitFor([&] { return primary.numbers().size() > restoredAt + 100; }));
    stop.storeRelease(1);
    QVERIFY(worker->wait(60000));
    entity.releaseLogControl();

    // Every line once, in order: the diverted logger got one unbroken run
    // from the middle, the primary one everything before and after it.
    const QList<int> outer = primary.numbers();
    const int split = middle.first();
    QList<int> expected;
    for (int i = 0; i < written.loadAcquire(); ++i)
        expected << i;
    QVERIFY(outer.mid(0, split) + middle + outer.mid(split) == expected);
}

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    isolateHome(home.path());
    QCoreApplication app(argc, argv);
    TestLogDiagnoseEntity test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logdiagnoseentity.moc"
