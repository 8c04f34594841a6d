// The loggers: dated serial file names, the line and header format written
// byte for byte, Latin-1, open failures, and lines surviving a killed process.
#include "autoserialfilelogger.h"
#include "filebasedlogger.h"
#include "logsystem.h"
#include "logtestsupport.h"
#include "qdebuglogger.h"
#include "simplefilelogger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTime>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDate fixedDay(2023, 11, 22);

// The serial logger on a pinned day, with its protected operations opened up.
class PinnedSerialLogger : public AutoSerialFileLogger
{
public:
    explicit PinnedSerialLogger(const QString &pattern, QDate day = fixedDay)
        : AutoSerialFileLogger(pattern), day(day)
    {
    }
    QDate day;
    using AutoSerialFileLogger::getCrashRecordFile;
    using AutoSerialFileLogger::getFileName;
    using AutoSerialFileLogger::getLogPath;
    using AutoSerialFileLogger::log;
    using AutoSerialFileLogger::start;
    using AutoSerialFileLogger::stop;

protected:
    QDate today() const override { return day; }
};

// The same with files of 4 KiB, so that a day's worth of files fills fast.
class SmallFilesLogger : public PinnedSerialLogger
{
public:
    using PinnedSerialLogger::PinnedSerialLogger;
    static constexpr qint64 FileSize = 4096;

protected:
    qint64 maxFileSize() const override { return FileSize; }
};

int modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

class OpenSimpleLogger : public SimpleFileLogger
{
public:
    using SimpleFileLogger::SimpleFileLogger;
    using SimpleFileLogger::getCrashRecordFile;
    using SimpleFileLogger::getLogPath;
    using SimpleFileLogger::log;
    using SimpleFileLogger::start;
    using SimpleFileLogger::stop;
};

class OpenQDebugLogger : public QDebugLogger
{
public:
    using QDebugLogger::getCrashRecordFile;
    using QDebugLogger::getLogPath;
    using QDebugLogger::log;
};

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

const QRegularExpression headerPattern(QStringLiteral(
        "^------------------- Log file started at "
        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d -------------------$"));

QStringList captured;
void captureMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
}

// Child mode: log one line through the log system and die at once.
int childLogAndKill(const QString &path)
{
    LogSystem *sys = LogSystem::getSysLogSystem();
    SimpleFileLogger logger(path, true);
    const int id = sys->registerLoggedModule(QStringLiteral("Child"));
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->setLogger(&logger);
    sys->startLog();
    sys->log(id, LogSystem::LogMajorMsg, QStringLiteral("last words %d"), 7);
    ::kill(::getpid(), SIGKILL);
    return 3; // not reached
}

} // namespace

class TestFileLoggers : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void serialNames_data();
    void serialNames();
    void serialSkipsExistingFiles();
    void serialGrowsPastItsDigits();
    void nameKeptAcrossMidnight();
    void programPattern();

    void lineAndHeaderFormat();
    void everyLevelPadded();
    void nonLatin1BecomesQuestionMark();
    void unknownModuleGivesEmptyField();
    void moduleRegisteredAfterFirstLine();
    void appendAndTruncate();
    void restartAppendsToSameFile();
    void fullFileContinuesInNextSerial();
    void filesOfADayAreCapped();
    void logFilesAreOwnerOnly();
    void openFailureDropsLines();
    void lineOnDiskWhenLogReturns();

    void qDebugLogger();
};

void TestFileLoggers::cleanup()
{
    LogSystem::getSysLogSystem()->stopLog();
    LogSystem::getSysLogSystem()->setLogger(nullptr);
}

void TestFileLoggers::serialNames_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("short year") << "x-YYMMDD-999.log" << "x-231122-001.log";
    QTest::newRow("long year") << "logYYYYMMDD-99.txt" << "log20231122-01.txt";
    QTest::newRow("lower case") << "x-yymmdd-999.log" << "x-231122-001.log";
    QTest::newRow("mixed case long") << "run-yyyyMMdd-9" << "run-20231122-1";
    QTest::newRow("dash too early") << "a-999.log" << "a-999.log";
    QTest::newRow("no nines") << "app-YYMMDD-log.txt" << "app-YYMMDD-log.txt";
    QTest::newRow("no dash") << "applicationYYMMDD999.log" << "applicationYYMMDD999.log";
    QTest::newRow("no date") << "application-999.log" << "application-999.log";
}

void TestFileLoggers::serialNames()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    if (pattern == expected) {
        // Used unchanged: no folder, so the pattern's own dash is the last one.
        PinnedSerialLogger logger(pattern);
        QCOMPARE(logger.getFileName(), expected);
        return;
    }
    QTemporaryDir dir;
    PinnedSerialLogger logger(dir.filePath(pattern));
    QCOMPARE(logger.getFileName(), dir.filePath(expected));
}

void TestFileLoggers::serialSkipsExistingFiles()
{
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("x-231122-001.log")));
    touch(dir.filePath(QStringLiteral("x-231122-002.log")));
    touch(dir.filePath(QStringLiteral("x-231121-003.log"))); // another day
    PinnedSerialLogger logger(dir.filePath(QStringLiteral("x-YYMMDD-999.log")));
    QCOMPARE(logger.getFileName(), dir.filePath(QStringLiteral("x-231122-003.log")));
}

void TestFileLoggers::serialGrowsPastItsDigits()
{
    QTemporaryDir dir;
    for (int i = 1; i <= 999; ++i)
        touch(dir.filePath(QStringLiteral("x-231122-%1.log").arg(i, 3, 10, QLatin1Char('0'))));
    PinnedSerialLogger logger(dir.filePath(QStringLiteral("x-YYMMDD-999.log")));
    QCOMPARE(logger.getFileName(), dir.filePath(QStringLiteral("x-231122-1000.log")));
}

void TestFileLoggers::nameKeptAcrossMidnight()
{
    QTemporaryDir dir;
    PinnedSerialLogger logger(dir.filePath(QStringLiteral("x-YYMMDD-999.log")));
    const QString first = logger.getFileName();
    logger.day = fixedDay.addDays(1);
    QCOMPARE(logger.getFileName(), first);

    // A logger created the next day names its own file.
    PinnedSerialLogger tomorrow(dir.filePath(QStringLiteral("x-YYMMDD-999.log")), fixedDay.addDays(1));
    QCOMPARE(tomorrow.getFileName(), dir.filePath(QStringLiteral("x-231123-001.log")));
}

void TestFileLoggers::programPattern()
{
    QTemporaryDir dir;
    // A dash in the folder name must not be taken for the serial's dash.
    const QString folder = dir.filePath(QStringLiteral("Tolvik-Log"));
    QVERIFY(QDir().mkpath(folder));
    PinnedSerialLogger logger(folder + QStringLiteral("/TolvikPathmere-YYMMDD-999.log"));
    QCOMPARE(logger.getFileName(), folder + QStringLiteral("/TolvikPathmere-231122-001.log"));
    QCOMPARE(logger.getLogPath(), folder);
    QCOMPARE(logger.getCrashRecordFile(), folder + QStringLiteral("/crash"));

    // The real day by default.
    AutoSerialFileLogger real(folder + QStringLiteral("/TolvikPathmere-YYMMDD-999.log"));
    LogSystem::getSysLogSystem()->setLogger(&real);
    LogSystem::getSysLogSystem()->startLog();
    const QString expected = folder + QStringLiteral("/TolvikPathmere-")
            + QDate::currentDate().toString(QStringLiteral("yyMMdd")) + QStringLiteral("-001.log");
    QVERIFY(QFile::exists(expected));
}

void TestFileLoggers::lineAndHeaderFormat()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("format.log"));
    LogSystem *sys = LogSystem::getSysLogSystem();
    OpenSimpleLogger logger(path, true);
    const int id = sys->registerLoggedModule(QStringLiteral("Pathmere/Pathmere"));
    sys->setLogLevel(LogSystem::LogDetailMsg);
    sys->setLogger(&logger);
    sys->startLog();

    const QTime before = QTime::currentTime();
    sys->log(id, LogSystem::LogMajorMsg, QStringLiteral("Search started on %s, %d adapters"), "all", 2);
    sys->log(id, LogSystem::LogMajorWarning, QStringLiteral("exactly thirteen"));
    const QTime after = QTime::currentTime();

    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(headerPattern.match(QString::fromLatin1(lines.at(0))).hasMatch(), lines.at(0).constData());

    const QByteArray &line = lines.at(1);
    QCOMPARE(line.left(14), QByteArray("MAJOR MSG     "));
    const QTime stamp = QTime::fromString(QString::fromLatin1(line.mid(14, 12)), QStringLiteral("hh:mm:ss.zzz"));
    QVERIFY2(stamp.isValid(), line.constData());
    if (after >= before) // not across midnight
        QVERIFY(stamp >= before.addMSecs(-1) && stamp <= after.addMSecs(1));
    QCOMPARE(line.mid(26), QByteArray(" Pathmere/Pathmere : Search started on all, 2 adapters"));

    QCOMPARE(lines.at(2).left(14), QByteArray("MAJOR WARNING "));
    QCOMPARE(lines.at(2).mid(26), QByteArray(" Pathmere/Pathmere : exactly thirteen"));

    // Nothing but "\n" ends a line.
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(!raw.readAll().contains('\r'));
}

void TestFileLoggers::everyLevelPadded()
{
    const char *const expected[] = {"FATAL         ", "CRITICAL      ", "ERROR         ",
                                    "MAJOR WARNING ", "MAJOR MSG     ", "MINOR WARNING ",
                                    "MINOR MSG     ", "DETAIL MSG    "};
    for (int level = 0; level < 8; ++level) {
        const QString line = FileBasedLogger::formatLine(static_cast<LogSystem::LogLevel>(level),
                                                         QStringLiteral("01:02:03.004"),
                                                         QStringLiteral("M"), QStringLiteral("t"));
        QCOMPARE(line, QString::fromLatin1(expected[level]) + QStringLiteral("01:02:03.004 M : t"));
    }
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"))
                    .match(FileBasedLogger::currentTimeText()).hasMatch());
}

void TestFileLoggers::nonLatin1BecomesQuestionMark()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("latin1.log"));
    OpenSimpleLogger logger(path, true);
    logger.start();
    logger.log(0, LogSystem::LogFatal, QString::fromUtf8("caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80 ok"));
    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 2);
    // é is Latin-1 and stays one byte; each CJK character and the emoji
    // (one code point, two UTF-16 units) come out as question marks.
    QVERIFY2(lines.at(1).endsWith(" : caf\xe9 ?? ? ok") || lines.at(1).endsWith(" : caf\xe9 ?? ?? ok"),
             lines.at(1).constData());
}

void TestFileLoggers::unknownModuleGivesEmptyField()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unknown.log"));
    OpenSimpleLogger logger(path, true);
    // Not attached to the log system: no module names at all.
    logger.start();
    logger.log(0, LogSystem::LogFatal, QStringLiteral("detached"));
    LogSystem::getSysLogSystem()->setLogger(&logger);
    logger.log(999, LogSystem::LogFatal, QStringLiteral("id 999"));
    logger.log(-4, LogSystem::LogFatal, QStringLiteral("id -4"));
    logger.log(0, LogSystem::LogFatal, QStringLiteral("id 0"));
    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(1).mid(26), QByteArray("  : detached"));
    QCOMPARE(lines.at(2).mid(26), QByteArray("  : id 999"));
    QCOMPARE(lines.at(3).mid(26), QByteArray("  : id -4"));
    QCOMPARE(lines.at(4).mid(26), QByteArray(" LogSystem : id 0"));
}

void TestFileLoggers::moduleRegisteredAfterFirstLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("late.log"));
    LogSystem *sys = LogSystem::getSysLogSystem();
    OpenSimpleLogger logger(path, true);
    sys->setLogger(&logger);
    sys->startLog();
    sys->log(0, LogSystem::LogFatal, QStringLiteral("early"));
    const int late = sys->registerLoggedModule(QStringLiteral("Late/Module"));
    sys->log(late, LogSystem::LogFatal, QStringLiteral("late"));
    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(1).mid(26), QByteArray(" LogSystem : early"));
    QCOMPARE(lines.at(2).mid(26), QByteArray(" Late/Module : late"));
}

void TestFileLoggers::appendAndTruncate()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mode.log"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content\n");
    }
    {
        OpenSimpleLogger keep(path, true);
        keep.start();
        keep.log(0, LogSystem::LogFatal, QStringLiteral("appended"));
    }
    QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QByteArray("old content"));
    {
        OpenSimpleLogger fresh(path, false);
        fresh.start();
        fresh.log(0, LogSystem::LogFatal, QStringLiteral("fresh"));
    }
    lines = fileLines(path);
    QCOMPARE(lines.size(), 2);
    QVERIFY(headerPattern.match(QString::fromLatin1(lines.at(0))).hasMatch());
    QVERIFY(lines.at(1).endsWith(" : fresh"));
}

void TestFileLoggers::restartAppendsToSameFile()
{
    QTemporaryDir dir;
    PinnedSerialLogger logger(dir.filePath(QStringLiteral("x-YYMMDD-999.log")));
    logger.start();
    logger.start(); // already open: no second header
    logger.log(0, LogSystem::LogFatal, QStringLiteral("first run"));
    logger.stop();
    logger.log(0, LogSystem::LogFatal, QStringLiteral("while stopped"));
    logger.start();
    logger.log(0, LogSystem::LogFatal, QStringLiteral("second run"));
    logger.stop();

    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList(QStringLiteral("x-231122-001.log")));
    const QList<QByteArray> lines = fileLines(dir.filePath(QStringLiteral("x-231122-001.log")));
    QCOMPARE(lines.size(), 4);
    QVERIFY(headerPattern.match(QString::fromLatin1(lines.at(0))).hasMatch());
    QVERIFY(lines.at(1).endsWith(" : first run"));
    QVERIFY(headerPattern.match(QString::fromLatin1(lines.at(2))).hasMatch());
    QVERIFY(lines.at(3).endsWith(" : second run"));
}

// Lines that come without end (from the network) fill one file up to the
// cap, then the next serial number of the day takes over with its own header.
void TestFileLoggers::fullFileContinuesInNextSerial()
{
    QTemporaryDir dir;
    PinnedSerialLogger logger(dir.filePath(QStringLiteral("TolvikPathmere-YYMMDD-999.log")));
    logger.start();
    const QString first = dir.filePath(QStringLiteral("TolvikPathmere-231122-001.log"));
    const QString second = dir.filePath(QStringLiteral("TolvikPathmere-231122-002.log"));
    const QString line(1000, QLatin1Char('x'));
    const int lines = int(AutoSerialFileLogger::MaxFileSize / 1000) + 10;
    for (int i = 0; i < lines; ++i)
        logger.log(-1, LogSystem::LogMajorMsg, line);
    logger.log(-1, LogSystem::LogMajorMsg, QStringLiteral("after the cap"));
    logger.stop();

    const qint64 firstSize = QFileInfo(first).size();
    QVERIFY(firstSize >= AutoSerialFileLogger::MaxFileSize);
    QVERIFY(firstSize < AutoSerialFileLogger::MaxFileSize + 2048);
    const QList<QByteArray> next = fileLines(second);
    QVERIFY(next.size() >= 2);
    QVERIFY(headerPattern.match(QString::fromLatin1(next.first())).hasMatch());
    QVERIFY(next.last().endsWith(" : after the cap"));
    QCOMPARE(fileLines(first).size() - 1 + next.size() - 1, lines + 1);
}

// A flood of lines fills at most MaxFilesPerDay files a day: the last one
// ends with a line that says so, later lines of the day are dropped, and
// the next day starts a file of its own.
void TestFileLoggers::filesOfADayAreCapped()
{
    QTemporaryDir dir;
    SmallFilesLogger logger(dir.filePath(QStringLiteral("TolvikPathmere-YYMMDD-999.log")));
    logger.start();
    const QString line(100, QLatin1Char('x'));
    const int lines = int(4 * AutoSerialFileLogger::MaxFilesPerDay * SmallFilesLogger::FileSize / 100);
    for (int i = 0; i < lines; ++i)
        logger.log(-1, LogSystem::LogMajorMsg, line);

    QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), AutoSerialFileLogger::MaxFilesPerDay);
    QCOMPARE(files.last(), QStringLiteral("TolvikPathmere-231122-%1.log").arg(AutoSerialFileLogger::MaxFilesPerDay, 3, 10,
                                                                              QLatin1Char('0')));
    qint64 total = 0;
    for (const QString &name : files) {
        const qint64 size = QFileInfo(dir.filePath(name)).size();
        QVERIFY2(size < SmallFilesLogger::FileSize + 512, qPrintable(name));
        total += size;
    }
    QVERIFY(total < AutoSerialFileLogger::MaxFilesPerDay * (SmallFilesLogger::FileSize + 512));
    const QList<QByteArray> last = fileLines(dir.filePath(files.last()));
    QVERIFY(last.last().contains("Log files of the day are full"));

    // Another day: its first file, once the dropping logger looks again.
    logger.day = fixedDay.addDays(1);
    QTest::qWait(1100);
    logger.log(-1, LogSystem::LogMajorMsg, QStringLiteral("next day"));
    logger.stop();
    files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), AutoSerialFileLogger::MaxFilesPerDay + 1);
    QCOMPARE(files.last(), QStringLiteral("TolvikPathmere-231123-001.log"));
    QVERIFY(fileLines(dir.filePath(files.last())).last().endsWith(" : next day"));
}

// Log files hold what the LAN sent: the owner alone reads them, a new one
// and one an earlier version left open to all alike.
void TestFileLoggers::logFilesAreOwnerOnly()
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.log"));
    const QString earlier = dir.filePath(QStringLiteral("earlier.log"));
    touch(earlier);
    QVERIFY(QFile::setPermissions(earlier, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                               | QFileDevice::ReadOther));
    const mode_t oldMask = ::umask(022);
    for (const QString &path : {fresh, earlier}) {
        OpenSimpleLogger logger(path, true);
        logger.start();
        logger.log(0, LogSystem::LogMajorMsg, QStringLiteral("line"));
        logger.stop();
        QCOMPARE(modeOf(path), 0600);
    }
    PinnedSerialLogger serial(dir.filePath(QStringLiteral("x-YYMMDD-999.log")));
    serial.start();
    serial.stop();
    ::umask(oldMask);
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("x-231122-001.log"))), 0600);
}

void TestFileLoggers::openFailureDropsLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/folder/x.log"));
    OpenSimpleLogger logger(path, true);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Unable to open log file \"%1\"!").arg(path)));
    logger.start();
    logger.log(0, LogSystem::LogFatal, QStringLiteral("dropped"));
    logger.stop();
    QVERIFY(!QFile::exists(path));
}

void TestFileLoggers::lineOnDiskWhenLogReturns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("killed.log"));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--log-and-kill"), path});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const QList<QByteArray> lines = fileLines(path);
    QCOMPARE(lines.size(), 2);
    QVERIFY(headerPattern.match(QString::fromLatin1(lines.at(0))).hasMatch());
    QCOMPARE(lines.at(1).left(14), QByteArray("MAJOR MSG     "));
    QCOMPARE(lines.at(1).mid(26), QByteArray(" Child : last words 7"));
}

void TestFileLoggers::qDebugLogger()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY(documents.startsWith(QDir::homePath()));
    OpenQDebugLogger logger;
    QCOMPARE(logger.getLogPath(), documents + QStringLiteral("/Tolvik/Log/Brightfold_Suite/"));
    QCOMPARE(logger.getCrashRecordFile(), documents + QStringLiteral("/Tolvik/Log/Brightfold_Suite//crash"));

    LogSystem *sys = LogSystem::getSysLogSystem();
    sys->setLogger(&logger);
    sys->startLog();
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessages);
    sys->log(0, LogSystem::LogError, QString::fromUtf8("via qDebug \xe4\xb8\xad"));
    qInstallMessageHandler(previous);
    QCOMPARE(captured.size(), 1);
    QCOMPARE(captured.at(0).left(14), QStringLiteral("ERROR         "));
    QCOMPARE(captured.at(0).mid(26), QStringLiteral(" LogSystem : via qDebug ?"));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--log-and-kill") == 0) {
        QCoreApplication app(argc, argv);
        return childLogAndKill(QString::fromLocal8Bit(argv[2]));
    }
    QTemporaryDir home;
    isolateHome(home.path());
    QCoreApplication app(argc, argv);
    TestFileLoggers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fileloggers.moc"
