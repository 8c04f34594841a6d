// The program's logging function: its module, both format forms, and the
// refused registration. The table-full case exhausts the process-wide module
// table, so it runs as a second invocation ("--table-full").
#include "applog.h"
#include "logsystem.h"
#include "logtestsupport.h"

#include <QCoreApplication>
#include <QtTest>

#include <cstring>

class TestAppLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void registersOnFirstCall();
    void formatsAndLevels();
    void reusedBufferIsReadAgain();
};

void TestAppLog::cleanup()
{
    LogSystem::getSysLogSystem()->stopLog();
    LogSystem::getSysLogSystem()->setLogger(nullptr);
}

void TestAppLog::registersOnFirstCall()
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
    sys->setLogger(&logger);
    QCOMPARE(sys->getRegisteredModules(), QStringList(QStringLiteral("LogSystem")));

    // Not started yet: the line is dropped, but the module is registered.
    appLog(LogSystem::LogMajorMsg, "before start");
    QCOMPARE(sys->getRegisteredModules(),
             QStringList({QStringLiteral("LogSystem"), QStringLiteral("Pathmere/Pathmere")}));
    QCOMPARE(logger.registrations.size(), 1);
    QVERIFY(logger.lines.isEmpty());

    sys->startLog();
    // The threshold starts at LogMajorWarning; the program raises it to 4.
    appLog(LogSystem::LogMajorMsg, "above the initial threshold");
    appLog(LogSystem::LogMajorWarning, "after start");
    sys->setLogLevel(LogSystem::LogMajorMsg);
    appLog(LogSystem::LogMajorMsg, QStringLiteral("as QString"));
    QCOMPARE(logger.messages(), QStringList({QStringLiteral("after start"), QStringLiteral("as QString")}));
    QCOMPARE(logger.lines.at(0).moduleId, 1);
    QCOMPARE(logger.registrations.size(), 1);
}

void TestAppLog::formatsAndLevels()
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
    sys->setLogger(&logger);
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->startLog();

    appLog(LogSystem::LogMinorWarning, "filtered %d", 5);
    appLog(LogSystem::LogMajorMsg, "Search reply from %s, %d bytes", "198.51.100.23", 253);
    appLog(LogSystem::LogError, "Search reply from %s, %d bytes", "203.0.113.9", 282);
    appLog(LogSystem::LogMajorMsg, "caf\xc3\xa9 %s %%", "\xc3\xa9t\xc3\xa9");
    appLog(LogSystem::LogMajorMsg, "");
    appLog(LogSystem::LogMajorMsg, QStringLiteral("%s-%d"), "q", 1);

    QCOMPARE(logger.messages(),
             QStringList({QStringLiteral("Search reply from 198.51.100.23, 253 bytes"),
                          QStringLiteral("Search reply from 203.0.113.9, 282 bytes"),
                          QString::fromUtf8("caf\xc3\xa9 \xc3\xa9t\xc3\xa9 %"), QString(),
                          QStringLiteral("q-1")}));
    QCOMPARE(logger.lines.at(1).level, LogSystem::LogError);
}

void TestAppLog::reusedBufferIsReadAgain()
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
    sys->setLogger(&logger);
    sys->startLog();

    // Same address, new text each time: the format must follow the text.
    char buffer[32];
    for (const char *text : {"first %d", "second %d", "second %d", "third %d"}) {
        std::strcpy(buffer, text);
        appLog(LogSystem::LogMajorMsg, buffer, 1);
    }
    QCOMPARE(logger.messages(), QStringList({QStringLiteral("first 1"), QStringLiteral("second 1"),
                                             QStringLiteral("second 1"), QStringLiteral("third 1")}));
}

class TestAppLogTableFull : public QObject
{
    Q_OBJECT

private slots:
    void refusedModuleLogsNothing();
};

void TestAppLogTableFull::refusedModuleLogsNothing()
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    RecordingLogger logger;
    sys->setLogger(&logger);
    sys->startLog();
    for (int i = 1; i <= 255; ++i)
        QCOMPARE(sys->registerLoggedModule(QStringLiteral("Other/%1").arg(i)), i);

    // The refusal is logged once, by the log system; appLog itself stays silent.
    appLog(LogSystem::LogFatal, "never written");
    appLog(LogSystem::LogFatal, QStringLiteral("never written"));
    QCOMPARE(logger.lines.size(), 1);
    QCOMPARE(logger.lines.at(0).moduleId, 0);
    QCOMPARE(logger.lines.at(0).message,
             QStringLiteral("Too many modules in the log system, \"Pathmere/Pathmere\" cannot be "
                            "registered successfully!"));
    sys->stopLog();
    sys->setLogger(nullptr);
}

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    isolateHome(home.path());
    const bool tableFull = argc > 1 && std::strcmp(argv[1], "--table-full") == 0;
    if (tableFull) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    QCoreApplication app(argc, argv);
    if (tableFull) {
        TestAppLogTableFull test;
        return QTest::qExec(&test, argc, argv);
    }
    TestAppLog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_applog.moc"
