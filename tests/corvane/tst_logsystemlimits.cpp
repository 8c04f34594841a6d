// The full module table. It is exhausted for the rest of the process, so it
// has an executable of its own.
#include "logsystem.h"
#include "logtestsupport.h"

#include <QCoreApplication>
#include <QtTest>

class TestLogSystemLimits : public QObject
{
    Q_OBJECT

private slots:
    void tableFull();
    void tableFullMessageFollowsModuleZeroMask();
};

void TestLogSystemLimits::tableFull()
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
    sys->setLogger(&logger);
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->startLog();

    for (int i = 1; i <= 255; ++i)
        QCOMPARE(sys->registerLoggedModule(QStringLiteral("Client/%1").arg(i)), i);
    QCOMPARE(logger.registrations.size(), 255);
    QVERIFY(logger.lines.isEmpty());

    // A '%' in the refused name is text, not a conversion.
    const QString refused = QStringLiteral("Over/100%d%s%n");
    QCOMPARE(sys->registerLoggedModule(refused), -1);
    QCOMPARE(logger.lines.size(), 1);
    QCOMPARE(logger.lines.at(0).moduleId, 0);
    QCOMPARE(logger.lines.at(0).level, LogSystem::LogError);
    QCOMPARE(logger.lines.at(0).message,
             QStringLiteral("Too many modules in the log system, \"Over/100%d%s%n\" cannot be "
                            "registered successfully!"));
    QCOMPARE(logger.registrations.size(), 255);
    QCOMPARE(sys->getRegisteredModules().size(), 256);

    // Known names still resolve, old ones included.
    QCOMPARE(sys->registerLoggedModule(QStringLiteral("Client/255")), 255);
    QCOMPARE(sys->registerLoggedModule(QStringLiteral("LogSystem")), 0);

    // The highest id logs like any other.
    sys->log(255, LogSystem::LogMajorMsg, QStringLiteral("last id"));
    QCOMPARE(logger.lines.last().moduleId, 255);
    QCOMPARE(logger.lines.last().message, QStringLiteral("last id"));

    // A refused client (-1) has every call rejected.
    sys->log(-1, LogSystem::LogFatal, QStringLiteral("refused client"));
    QCOMPARE(logger.lines.size(), 2);
}

void TestLogSystemLimits::tableFullMessageFollowsModuleZeroMask()
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
    sys->stopLog();
    sys->setLogger(&logger);
    sys->startLog();

    sys->disableAllLog();
    QCOMPARE(sys->registerLoggedModule(QStringLiteral("Over/quiet")), -1);
    QVERIFY(logger.lines.isEmpty());

    sys->enableModuleLog(0);
    QCOMPARE(sys->registerLoggedModule(QStringLiteral("Over/loud")), -1);
    QCOMPARE(logger.lines.size(), 1);

    // Level threshold applies to it as well.
    sys->setLogLevel(LogSystem::LogFatal);
    QCOMPARE(sys->registerLoggedModule(QStringLiteral("Over/filtered")), -1);
    QCOMPARE(logger.lines.size(), 1);

    sys->stopLog();
    sys->setLogger(nullptr);
}

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    isolateHome(home.path());
    QCoreApplication app(argc, argv);
    TestLogSystemLimits test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logsystemlimits.moc"
