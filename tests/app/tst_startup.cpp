// Start-up and single instance, seen from outside: the real program runs on a
// private X server with its own HOME and login session, and the test reads
// its log, its shared-memory segment and the windows it maps.

#include "desktopstub.h"
#include "otheruser.h"
#include "pathmeresandbox.h"
#include "privatenetwork.h"
#include "segmentclient.h"
#include "sessionsharedmemorykey.h"
#include "xvfbserver.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/stat.h>

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void logFileNameAndFirstLines();
    void oldLogsRemoved();
    void hideOnlyAsFirstArgument_data();
    void hideOnlyAsFirstArgument();
    void secondStartShowsFirstInstance();
    void secondHiddenStartChangesNothing();
    void closeProgramFromAnotherProcess_data();
    void closeProgramFromAnotherProcess();
    void startAfterKill9();
    void plantedObjectsNeitherEndNorHang_data();
    void plantedObjectsNeitherEndNorHang();
    void logFolderAndFilesArePrivate();

private:

    XvfbServer xserver;
    // A desktop with a system tray: a hidden start stays hidden there.
    DesktopStub tray;
};

void TstStartup::initTestCase()
{
    QVERIFY2(QFile::exists(PathmereSandbox::programPath()), qPrintable(PathmereSandbox::programPath()));
    QVERIFY2(xserver.start(), "Xvfb did not start");
    if (DesktopStub::unavailableReason().isEmpty())
        QVERIFY2(tray.start(xserver.display(), true), qPrintable(tray.errorText()));
    else
        qWarning("no tray host, hidden starts show minimised after a while: %s",
                 qPrintable(DesktopStub::unavailableReason()));
}

void TstStartup::logFileNameAndFirstLines()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QVERIFY(sandbox.isValid());
    QProcess *process = sandbox.start();
    QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size")));

    const QString expectedName = QStringLiteral("TolvikPathmere-%1-001.log").arg(QDate::currentDate().toString(QStringLiteral("yyMMdd")));
    QCOMPARE(sandbox.logFiles(), QStringList { expectedName });

    const QStringList lines = sandbox.logText().split(QLatin1Char('\n'));
    QVERIFY(lines.size() >= 4);
    QVERIFY2(QRegularExpression(QStringLiteral("^-{19} Log file started at \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d -{19}$")).match(lines.at(0)).hasMatch(),
             qPrintable(lines.at(0)));
    const QRegularExpression line(QStringLiteral("^MAJOR MSG     \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d Pathmere/Pathmere : (.*)$"));
    const QStringList expected { QStringLiteral("shareMemory.create success."), QStringLiteral("send message to server.") };
    for (int i = 0; i < expected.size(); ++i) {
        const QRegularExpressionMatch match = line.match(lines.at(i + 1));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i + 1)));
        QCOMPARE(match.captured(1), expected.at(i));
    }
    QVERIFY2(lines.at(3).endsWith(QLatin1String("Pathmere/Pathmere : Screen size 1280x1024")), qPrintable(lines.at(3)));
    QVERIFY(xserver.waitForViewableWindow(pid_t(process->processId()), QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));

    // A normal end leaves exit code 0 and no crash mark.
    QVERIFY(SegmentClient::writeWithQt(sandbox.runtimeFolder(), sandbox.segmentKey(), "Close_Program"));
    QVERIFY(process->waitForFinished(5000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(!QFile::exists(sandbox.crashRecordFile()));
}

void TstStartup::oldLogsRemoved()
{
    PathmereSandbox sandbox;
    QVERIFY(sandbox.isValid());
    QVERIFY(QDir().mkpath(sandbox.logFolder() + QStringLiteral("TolvikPathmere-folder")));
    const QDateTime now = QDateTime::currentDateTime();
    struct Case {
        QString name;
        int ageDays;
        bool kept;
    };
    const QList<Case> cases {
        { QStringLiteral("TolvikPathmere-200101-001.log"), 31, false },
        { QStringLiteral("old-TolvikPathmere-x.txt"), 45, false },
        { QStringLiteral("TolvikPathmere-200102-001.log"), 30, true },
        { QStringLiteral("TolvikPathmere-200103-001.log"), 0, true },
        { QStringLiteral("other-200101-001.log"), 60, true },
        { QStringLiteral("tolvikpathmere-200101-001.log"), 60, true },
        { QStringLiteral("crash"), 60, true },
    };
    for (const Case &c : cases) {
        QFile file(sandbox.logFolder() + c.name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("old line\n");
        // Written out first: a flush at close would set the time again.
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(now.addDays(-c.ageDays), QFileDevice::FileModificationTime));
        file.close();
    }
    // "crash" would make the program show the crash dialog; the folder test
    // only needs a file of another name, so drop the mark again.
    QFile::remove(sandbox.logFolder() + QStringLiteral("crash"));

    QProcess *process = sandbox.start();
    QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size")));
    for (const Case &c : cases) {
        if (c.name == QLatin1String("crash"))
            continue;
        QVERIFY2(QFile::exists(sandbox.logFolder() + c.name) == c.kept, qPrintable(c.name));
    }
    QVERIFY(QDir(sandbox.logFolder() + QStringLiteral("TolvikPathmere-folder")).exists());
    QVERIFY(SegmentClient::writeWithQt(sandbox.runtimeFolder(), sandbox.segmentKey(), "Close_Program"));
    QVERIFY(process->waitForFinished(5000));
}

void TstStartup::hideOnlyAsFirstArgument_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("first") << QStringList { QStringLiteral("-hide") } << true;
    QTest::newRow("first, more after") << QStringList { QStringLiteral("-hide"), QStringLiteral("x") } << true;
    QTest::newRow("second") << QStringList { QStringLiteral("x"), QStringLiteral("-hide") } << false;
    QTest::newRow("upper case") << QStringList { QStringLiteral("-HIDE") } << false;
    QTest::newRow("longer") << QStringList { QStringLiteral("-hidden") } << false;
    QTest::newRow("none") << QStringList() << false;
}

void TstStartup::hideOnlyAsFirstArgument()
{
    QFETCH(QStringList, args);
    QFETCH(bool, hidden);
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    const pid_t pid = sandbox.startReady(args);
    QVERIFY(pid > 0);
    QCOMPARE(sandbox.logText().contains(QLatin1String("Start hide shareMemory.create success.")), hidden);
    if (hidden) {
        // Give a wrongly shown window time to be mapped.
        QTest::qWait(1500);
        QVERIFY(!xserver.hasViewableWindow(pid, QStringLiteral("Pathmere")));
    } else {
        QVERIFY(xserver.waitForViewableWindow(pid, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));
    }
}

void TstStartup::secondStartShowsFirstInstance()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    const pid_t first = sandbox.startReady({ QStringLiteral("-hide") });
    QVERIFY(first > 0);
    QVERIFY(!xserver.hasViewableWindow(first, QStringLiteral("Pathmere")));

    // Hold the first instance still so the command can be seen before its
    // poll takes it.
    QCOMPARE(::kill(first, SIGSTOP), 0);
    QCOMPARE(sandbox.run({}), 0);
    QCOMPARE(SegmentClient::read(sandbox.runtimeFolder(), sandbox.segmentKey()), QByteArray("Show_Normal_UI"));
    QVERIFY(sandbox.logText().contains(QLatin1String("shareMemory.create fail.")));
    QVERIFY(sandbox.logText().contains(QLatin1String("shareMemory Show_Normal_UI.")));
    QCOMPARE(::kill(first, SIGCONT), 0);

    QVERIFY(xserver.waitForViewableWindow(first, QStringLiteral("Pathmere"), 5000));
    QTRY_COMPARE_WITH_TIMEOUT(SegmentClient::read(sandbox.runtimeFolder(), sandbox.segmentKey()), QByteArray(""), 3000);
    QVERIFY(PathmereSandbox::isAlive(first));
    QCOMPARE(sandbox.processes(), QList<pid_t> { first });
}

void TstStartup::secondHiddenStartChangesNothing()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    const pid_t first = sandbox.startReady({ QStringLiteral("-hide") });
    QVERIFY(first > 0);
    QCOMPARE(::kill(first, SIGSTOP), 0);
    const QString logBefore = sandbox.logText();
    QCOMPARE(sandbox.run({ QStringLiteral("-hide") }), 0);
    QCOMPARE(SegmentClient::read(sandbox.runtimeFolder(), sandbox.segmentKey()), QByteArray(""));
    // The second start writes its own log file, but nothing about the segment.
    const QString logAfter = sandbox.logText();
    QVERIFY(!logAfter.mid(logBefore.size()).contains(QLatin1String("shareMemory")));
    QCOMPARE(::kill(first, SIGCONT), 0);
    QTest::qWait(1500);
    QVERIFY(!xserver.hasViewableWindow(first, QStringLiteral("Pathmere")));
    QCOMPARE(sandbox.processes(), QList<pid_t> { first });
}

void TstStartup::closeProgramFromAnotherProcess_data()
{
    QTest::addColumn<bool>("systemV");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("QSharedMemory, shown") << false << false;
    QTest::newRow("System V calls, hidden") << true << true;
}

void TstStartup::closeProgramFromAnotherProcess()
{
    QFETCH(bool, systemV);
    QFETCH(bool, hidden);
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QProcess *process = sandbox.start(hidden ? QStringList { QStringLiteral("-hide") } : QStringList());
    QVERIFY(sandbox.waitForLog(QStringLiteral("Screen size")));
    QTest::qWait(200);

    QElapsedTimer elapsed;
    elapsed.start();
    const QByteArray command("Close_Program");
    QVERIFY(systemV ? SegmentClient::writeWithSysV(sandbox.runtimeFolder(), sandbox.segmentKey(), command)
                    : SegmentClient::writeWithQt(sandbox.runtimeFolder(), sandbox.segmentKey(), command));
    QVERIFY(process->waitForFinished(5000));
    // One poll period plus the way out.
    QVERIFY2(elapsed.elapsed() < 2500, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(!SegmentClient::exists(sandbox.runtimeFolder(), sandbox.segmentKey()));
    QVERIFY(sandbox.waitForProcessCount(0, 2000));
}

void TstStartup::startAfterKill9()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    const pid_t first = sandbox.startReady();
    QVERIFY(first > 0);
    QCOMPARE(::kill(first, SIGKILL), 0);
    QVERIFY(PathmereSandbox::waitForExit(first, 5000));
    // System V memory outlives the killed owner.
    QVERIFY(SegmentClient::exists(sandbox.runtimeFolder(), sandbox.segmentKey()));

    const pid_t second = sandbox.startReady();
    QVERIFY(second > 0);
    QCOMPARE(sandbox.logText().count(QStringLiteral("shareMemory.create success.")), 2);
    QVERIFY(!sandbox.logText().contains(QLatin1String("shareMemory.create fail.")));
    QVERIFY(xserver.waitForViewableWindow(second, QStringLiteral("Pathmere"), PathmereSandbox::StartTimeoutMs));

    // The new segment works: a third start hands over to the second.
    QCOMPARE(sandbox.run({}), 0);
    QCOMPARE(sandbox.processes(), QList<pid_t> { second });
}

void TstStartup::plantedObjectsNeitherEndNorHang_data()
{
    QTest::addColumn<QString>("plant");
    QTest::newRow("segment held open under the key") << QStringLiteral("segment");
    QTest::newRow("lock taken for good") << QStringLiteral("semaphore");
    QTest::newRow("key file swapped while running") << QStringLiteral("swap");
}

// Another user (uid 4242) gets at the key files where anyone can: without
// $XDG_RUNTIME_DIR they go to the temporary folder, here a sticky folder
// open to all, as /tmp is. Whatever is planted, the program starts, is not
// held up, and does not obey.
void TstStartup::plantedObjectsNeitherEndNorHang()
{
    OTHERUSER_REQUIRE();
    QFETCH(QString, plant);
    QTemporaryDir base;
    const QString shared = base.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkdir(shared));
    QCOMPARE(::chmod(QFile::encodeName(base.path()).constData(), 0711), 0);
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);

    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    sandbox.unsetEnv(QStringLiteral("XDG_RUNTIME_DIR"));
    sandbox.setEnv(QStringLiteral("TMPDIR"), shared);
    QCOMPARE(sandbox.runtimeFolder(), shared);
    const QString segmentFile = SessionSharedMemoryKey::segmentKeyFile(sandbox.segmentKey(), shared);
    const QString semaphoreFile = SessionSharedMemoryKey::semaphoreKeyFile(sandbox.segmentKey(), shared);

    OtherUser attacker(OtherUser::Attacker);
    if (plant == QLatin1String("segment")) {
        const key_t key = attacker.makeFile(segmentFile);
        QVERIFY(key != -1);
        QVERIFY(attacker.plantSegment(key, "Close_Program", true) >= 0);
    } else if (plant == QLatin1String("semaphore")) {
        const key_t key = attacker.makeFile(semaphoreFile);
        QVERIFY(key != -1);
        QVERIFY(attacker.plantSemaphore(key, 0) >= 0);
    } else {
        QVERIFY(attacker.makeFile(segmentFile) != -1);
    }

    QProcess *process = sandbox.start();
    QVERIFY2(sandbox.waitForLog(QStringLiteral("Screen size"), PathmereSandbox::StartTimeoutMs),
             qPrintable(sandbox.logText() + sandbox.output()));
    if (plant == QLatin1String("swap")) {
        const key_t swapped = attacker.replaceFile(segmentFile);
        QVERIFY(swapped != -1);
        QVERIFY(attacker.plantSegment(swapped, "Close_Program", false) >= 0);
    }
    // Three polls of the segment later it still runs.
    QTest::qWait(3200);
    QCOMPARE(process->state(), QProcess::Running);
    const QString log = sandbox.logText();
    QVERIFY2(log.contains(QLatin1String("Refused shared memory: ")), qPrintable(log));
    QVERIFY(!log.contains(QLatin1String("shareMemory.create fail.")));
}

// The log holds the cameras' names and addresses and what the LAN sent:
// its folder is the user's alone, and so are its files.
void TstStartup::logFolderAndFilesArePrivate()
{
    PathmereSandbox sandbox;
    sandbox.useDisplay(xserver.display());
    QVERIFY(sandbox.startReady() > 0);
    const auto modeOf = [](const QString &path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    };
    const QString documents = sandbox.home() + QStringLiteral("/Documents");
    for (const QString &folder : {documents + QStringLiteral("/Tolvik"), documents + QStringLiteral("/Tolvik/Log"),
                                  sandbox.logFolder()})
        QCOMPARE(modeOf(folder), 0700);
    const QStringList files = sandbox.logFiles();
    QVERIFY(!files.isEmpty());
    for (const QString &file : files)
        QCOMPARE(modeOf(sandbox.logFolder() + file), 0600);
}

int main(int argc, char *argv[])
{
    // The program listens on a machine-wide loopback port and every start
    // sends to it; a network namespace of our own keeps other runs out.
    const bool isolated = PrivateNetwork::enter();
    QCoreApplication app(argc, argv);
    PrivateNetwork::loopbackUp(isolated);
    TstStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
