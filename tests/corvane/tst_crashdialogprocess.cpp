// A program that crashes where a crash handler can lean on nothing still
// gets its crash dialog: inside a log call (the log lock held) and inside
// malloc (the allocator's lock held). The handler only starts the
// crash-dialog program, which shows the dialog, saves the zip of the log
// folder and says so on the crashed program's stderr. The crashing program
// is this executable, started again as a child.

#include "crashhook.h"
#include "crashscene.h"
#include "errorhandledialoglauncher.h"
#include "logsystem.h"
#include "simplefilelogger.h"
#include "testhome.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <QtGui/private/qzipreader_p.h>

#include <malloc.h>

#include <memory>
#include <thread>

namespace {

const char childSwitch[] = "--crashing-child";
const QString crashLine = QStringLiteral("crash here");

QString crashDialogProgram()
{
    return qEnvironmentVariable("PATHMERE_BIN_DIR") + QStringLiteral("/corvane-crashdialog");
}

// A file logger that faults inside the log call that carries crashLine, so
// the crash happens with the log system's logger lock held.
class CrashingLogger : public SimpleFileLogger
{
public:
    using SimpleFileLogger::SimpleFileLogger;

protected:
    void log(int moduleId, LogSystem::LogLevel level, QString message) override
    {
        if (message.contains(crashLine))
            CrashScene::crashHere();
        SimpleFileLogger::log(moduleId, level, message);
    }
    void logLatin1(int moduleId, LogSystem::LogLevel level, const char *text, int size) override
    {
        if (QByteArray::fromRawData(text, size).contains(crashLine.toLatin1()))
            CrashScene::crashHere();
        SimpleFileLogger::logLatin1(moduleId, level, text, size);
    }
};

CrashScene::LockProbe *lockProbe = nullptr;

// The program's decision, after asking the probe whether the lock of the
// scene is held: the test is only worth something if it is.
bool probingDecision()
{
    CrashScene::say(lockProbe->blocks(500) ? "probe: blocked\n" : "probe: free\n");
    return LogSystem::handlerCrash();
}

// The child: set up as the program is (launcher, crash hook, file logger,
// no restart so the dialog is due at once), then crash in the scene named.
int runCrashingChild(int argc, char *argv[])
{
    const QString scene = QString::fromLocal8Bit(argv[2]);
    const QString folder = QString::fromLocal8Bit(argv[3]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    (void)argc;

    LogSystem *const sys = LogSystem::getSysLogSystem();
    ErrorHandleDialogLauncher launcher(crashDialogProgram());
    launcher.setProcessStarter(&CrashHook::setCrashDialog, &CrashHook::startCrashDialog);
    LogSystem::setCrashDialogLauncher(&launcher);
    QDir().mkpath(folder + QStringLiteral("/Log"));
    CrashingLogger logger(folder + QStringLiteral("/Log/child.log"), false);
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->setLogger(&logger);
    sys->setWindowTitle(QStringLiteral("Crash scene"));
    sys->setAutoRestart(false);
    const int module = sys->registerLoggedModule(QStringLiteral("Crash/Scene"));

    std::function<void()> probeCall = [sys, module] { sys->log(module, LogSystem::LogMajorMsg, "probe"); };
    if (scene == QLatin1String("malloc"))
        probeCall = [] { volatile std::size_t inUse = mallinfo2().uordblks; (void)inUse; };
    CrashScene::LockProbe probe(probeCall);
    lockProbe = &probe;
    CrashHook::install(probingDecision, QString());
    sys->startLog();
    sys->log(module, LogSystem::LogMajorMsg, "line before the crash");
    // Not blocked while nobody holds the lock.
    if (probe.blocks(5000))
        return 3;

    if (scene == QLatin1String("log")) {
        // On a thread of its own: any thread's crash gets the dialog.
        std::thread worker([sys, module] { sys->log(module, LogSystem::LogMajorMsg, "%s", qPrintable(crashLine)); });
        worker.join();
    } else if (scene == QLatin1String("malloc")) {
        CrashScene::crashInsideMalloc();
    }
    return 4;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCrashDialogProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void crashInsideLogCallShowsDialog();
    void crashWithAllocatorLockedShowsDialog();
    void programRefusesWhatItCannotUse();

private:
    // Runs the child in scene; checks what the crash dialog did and returns
    // the child's stderr, with the helper's lines in it.
    void crashAndSave(const QString &scene);

    TestHome home;
};

void TestCrashDialogProcess::initTestCase()
{
    QVERIFY2(QFileInfo(crashDialogProgram()).isExecutable(), qPrintable(crashDialogProgram()));
    QVERIFY(home.isValid());
}

void TestCrashDialogProcess::crashAndSave(const QString &scene)
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString zip = work.filePath(QStringLiteral("saved crash.zip"));
    const QString output = work.filePath(QStringLiteral("stderr.txt"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    home.applyTo(&environment);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("CORVANE_CRASHDIALOG_SAVE_AS"), zip);
    QProcess child;
    child.setProcessEnvironment(environment);
    // A file, not a pipe: the crash dialog writes to it after the child died.
    child.setStandardOutputFile(output);
    child.setStandardErrorFile(output);
    child.start(QCoreApplication::applicationFilePath(), { QLatin1String(childSwitch), scene, work.path() });
    QVERIFY(child.waitForStarted());
    const qint64 childPid = child.processId();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // The dialog ran in a process of its own, for the crashed one, and ended
    // after the zip was saved.
    QTRY_VERIFY_WITH_TIMEOUT(readAll(output).contains("corvane-crashdialog: closed"), 30000);
    const QString text = QString::fromLocal8Bit(readAll(output));
    QVERIFY2(text.contains(QLatin1String("Pathmere: fatal signal 11")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("probe: blocked")), qPrintable(text));
    const QRegularExpressionMatch started =
            QRegularExpression(QStringLiteral("started the crash dialog as process (\\d+)")).match(text);
    QVERIFY2(started.hasMatch(), qPrintable(text));
    QVERIFY(started.captured(1).toLongLong() != childPid);
    QVERIFY2(text.contains(QStringLiteral("corvane-crashdialog: crash dialog for process %1\n").arg(childPid)),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("corvane-crashdialog: saved the crash logs to ") + zip), qPrintable(text));
    QVERIFY(!text.contains(QLatin1String("started again")));

    // The zip holds the crashed program's log folder, with what was logged
    // before the crash.
    QZipReader reader(zip);
    QCOMPARE(reader.status(), QZipReader::NoError);
    QStringList names;
    const auto entries = reader.fileInfoList();
    for (const auto &entry : entries)
        names << entry.filePath;
    QCOMPARE(names, QStringList({ QStringLiteral("Log/child.log") }));
    const QByteArray log = reader.fileData(QStringLiteral("Log/child.log"));
    QVERIFY2(log.contains(" Crash/Scene : line before the crash\n"), log.constData());
    QVERIFY(!log.contains(crashLine.toLatin1()));
}

void TestCrashDialogProcess::crashInsideLogCallShowsDialog()
{
    crashAndSave(QStringLiteral("log"));
}

void TestCrashDialogProcess::crashWithAllocatorLockedShowsDialog()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers bring their own allocator, which this scene cannot break");
#endif
    crashAndSave(QStringLiteral("malloc"));
}

void TestCrashDialogProcess::programRefusesWhatItCannotUse()
{
    struct Case {
        QStringList arguments;
        const char *reason;
    };
    const Case cases[] = {
        { {}, "no --crashed-pid" },
        { { QStringLiteral("--crashed-pid"), QStringLiteral("x") }, "--crashed-pid takes one process id" },
        { { QStringLiteral("--crashed-pid"), QStringLiteral("7"), QStringLiteral("-title"), QStringLiteral("t") },
          "unknown argument \"-title\"" },
        { { QStringLiteral("--crashed-pid"), QStringLiteral("7"), QStringLiteral("--zip-folder"), QStringLiteral("Log") },
          "--zip-folder without its value" },
    };
    for (const Case &c : cases) {
        QProcess program;
        program.start(crashDialogProgram(), c.arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
        const QByteArray said = program.readAllStandardError();
        QCOMPARE(said, QByteArray("corvane-crashdialog: cannot use the command line: ") + c.reason + '\n');
    }
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], childSwitch) == 0)
        return runCrashingChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestCrashDialogProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashdialogprocess.moc"
