// The fatal-signal hook in a forked child: which signals reach the decision,
// that the handler has stack to spare (also after a stack overflow), and how
// the restarted process starts out.

#include "crashhook.h"
#include "crashscene.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char reportVariable[] = "CRASHHOOK_TEST_REPORT";
int decisionPipe = -1;
bool decisionAnswer = false;

bool recordDecision()
{
    const char mark = 'd';
    const ssize_t ignored = ::write(decisionPipe, &mark, 1);
    (void)ignored;
    return decisionAnswer;
}

bool bigStackDecision()
{
    // A modal dialog's event loop needs a deep stack; this needs as much.
    volatile char block[4 * 1024 * 1024];
    for (size_t i = 0; i < sizeof block; i += 4096)
        block[i] = char(i);
    return recordDecision() && block[4096] == char(4096);
}

// Starts the crash dialog the way the log system's launcher does.
bool dialogDecision()
{
    recordDecision();
    return CrashHook::startCrashDialog() && false;
}

// Reports on the pipe whether the allocator's lock is held ('L') before
// deciding.
CrashScene::LockProbe *allocatorProbe = nullptr;
bool allocatorProbingDecision()
{
    if (allocatorProbe->blocks(500)) {
        const char mark = 'L';
        const ssize_t ignored = ::write(decisionPipe, &mark, 1);
        (void)ignored;
    }
    return recordDecision();
}

bool faultingDecision()
{
    recordDecision();
    volatile std::uintptr_t address = 0x20;
    *reinterpret_cast<volatile int *>(address) = 1;
    return true;
}

#pragma GCC diagnostic ignored "-Winfinite-recursion"
[[gnu::noinline]] int recurse(volatile int depth)
{
    volatile char frame[1024];
    frame[0] = char(depth);
    return recurse(depth + 1) + frame[0];
}

void makeFault(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV: {
        volatile std::uintptr_t address = 0x10;
        *reinterpret_cast<volatile int *>(address) = 0;
        break;
    }
    case SIGBUS: {
        // A mapping beyond the end of its (empty) file.
        char name[] = "/tmp/crashhook-bus-XXXXXX";
        const int fd = mkstemp(name);
        unlink(name);
        if (ftruncate(fd, 4096) != 0)
            break;
        volatile char *page = static_cast<char *>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        if (ftruncate(fd, 0) != 0)
            break;
        page[0] = 1;
        break;
    }
    case SIGILL:
        __builtin_trap();
    case SIGFPE: {
        int result = 0;
        const int zero = 0;
        // Hardware division, out of reach of the sanitizers' checks.
        asm volatile("movl $1, %%eax\n\tcltd\n\tidivl %1" : "=&a"(result) : "c"(zero) : "edx");
        (void)result;
        break;
    }
    case SIGABRT:
        std::abort();
    default:
        break;
    }
}

struct ChildResult {
    int terminatingSignal = 0;
    int decisions = 0;
    bool allocatorLocked = false;
};

ChildResult runChild(const std::function<void()> &body, CrashHook::Decision decision, bool answer,
                     const QString &reportFile)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        decisionPipe = fds[1];
        decisionAnswer = answer;
        setenv(reportVariable, QFile::encodeName(reportFile).constData(), 1);
        // What the handler says goes beside the report.
        const int said = ::open(QFile::encodeName(reportFile + QStringLiteral(".said")).constData(),
                                O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (said >= 0)
            ::dup2(said, STDERR_FILENO);
        // A descriptor without close-on-exec that the restart must not keep.
        const int leaked = ::open("/dev/null", O_RDONLY);
        (void)leaked;
        CrashHook::install(decision, QCoreApplication::applicationFilePath());
        body();
        _exit(0);
    }
    ::close(fds[1]);
    // A handler that hangs (on a lock the crashed code held) fails the case
    // instead of the whole suite, and leaves no process behind.
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (waited.elapsed() > 30000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        QThread::msleep(10);
    }
    ChildResult result;
    result.terminatingSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    char buffer[16];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == 'L')
                result.allocatorLocked = true;
            else
                ++result.decisions;
        }
    }
    ::close(fds[0]);
    return result;
}

bool waitForFile(const QString &path, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path + QStringLiteral(".done"))) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The handler survives the start and names the process it started: the one
// that wrote the report.
bool handlerNamesStartedProcess(const QString &report, const QList<QByteArray> &lines, const char *what)
{
    QFile said(report + QStringLiteral(".said"));
    if (!said.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = said.readAll();
    for (const QByteArray &line : lines) {
        if (line.startsWith("pid="))
            return text.contains(QByteArray("Pathmere: ") + what + " as process " + line.mid(4) + '\n');
    }
    return false;
}

QList<QByteArray> reportLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
}

// What every process the handler starts must find, or what it lacks: no
// blocked signal (the fatal signals were blocked in the handler; the new
// process must be able to catch its own crash), a session of its own, and
// nothing beyond stdin, stdout and stderr (not the pipe, not the leak).
QByteArray startProblem(const QList<QByteArray> &lines)
{
    for (const char *expected : { "SigBlk: 0000000000000000", "sessionLeader=yes", "inheritedDescriptors=0" }) {
        if (!lines.contains(expected))
            return "no \"" + QByteArray(expected) + "\" in: " + lines.join(' ');
    }
    return QByteArray();
}

// What the restarted process finds: its arguments, signal mask, session and
// open descriptors.
void writeReport(const char *path, int argc, char *argv[])
{
    // Counted first, before this function opens anything itself.
    int inherited = 0;
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    for (const QFileInfo &fd : fds) {
        // The listing's own descriptor is gone (empty target) or names /proc.
        const QString target = fd.symLinkTarget();
        if (fd.fileName().toInt() > 2 && !target.isEmpty() && !target.startsWith(QLatin1String("/proc/")))
            ++inherited;
    }

    QFile report(QFile::decodeName(path));
    if (!report.open(QIODevice::WriteOnly))
        _exit(1);
    report.write("argc=" + QByteArray::number(argc) + '\n');
    for (int i = 1; i < argc; ++i)
        report.write("arg=" + QByteArray(argv[i]) + '\n');
    report.write("pid=" + QByteArray::number(getpid()) + '\n');
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigBlk:"))
            report.write(line.simplified() + '\n');
    }
    report.write("sessionLeader=" + QByteArray(getsid(0) == getpid() ? "yes" : "no") + '\n');
    report.write("inheritedDescriptors=" + QByteArray::number(inherited) + '\n');
    report.close();
    QFile(QFile::decodeName(path) + QStringLiteral(".done")).open(QIODevice::WriteOnly);
}

} // namespace

class TstCrashHook : public QObject
{
    Q_OBJECT

private slots:
    void fatalSignalsReachDecision_data();
    void fatalSignalsReachDecision();
    void restartedProcessStartsClean();
    void noRestartWhenDeclined();
    void abortIsNotHooked();
    void stackOverflowIsCaught();
    void decisionHasStackToSpare();
    void faultInsideDecisionEndsProcess();
    void crashDialogStartsPreparedCommand();
    void startsWhileAllocatorLocked();

private:
    QTemporaryDir dir;
};

void TstCrashHook::fatalSignalsReachDecision_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGSEGV") << int(SIGSEGV);
    QTest::newRow("SIGBUS") << int(SIGBUS);
    QTest::newRow("SIGILL") << int(SIGILL);
    QTest::newRow("SIGFPE") << int(SIGFPE);
}

void TstCrashHook::fatalSignalsReachDecision()
{
    QFETCH(int, signalNumber);
    const ChildResult result = runChild([signalNumber] { makeFault(signalNumber); }, recordDecision, false,
                                        dir.filePath(QStringLiteral("unused")));
    QCOMPARE(result.decisions, 1);
    // The process still dies of its own signal.
    QCOMPARE(result.terminatingSignal, signalNumber);
}

void TstCrashHook::restartedProcessStartsClean()
{
    const QString report = dir.filePath(QStringLiteral("restart"));
    const ChildResult result = runChild([] { makeFault(SIGSEGV); }, recordDecision, true, report);
    QCOMPARE(result.decisions, 1);
    QCOMPARE(result.terminatingSignal, int(SIGSEGV));
    QVERIFY(waitForFile(report, 10000));
    const QList<QByteArray> lines = reportLines(report);
    QVERIFY(lines.contains("argc=1"));
    QVERIFY(handlerNamesStartedProcess(report, lines, "started again"));
    const QByteArray problem = startProblem(lines);
    QVERIFY2(problem.isEmpty(), problem.constData());
}

void TstCrashHook::noRestartWhenDeclined()
{
    const QString report = dir.filePath(QStringLiteral("declined"));
    const ChildResult result = runChild([] { makeFault(SIGSEGV); }, recordDecision, false, report);
    QCOMPARE(result.decisions, 1);
    QVERIFY(!waitForFile(report, 1000));
}

void TstCrashHook::abortIsNotHooked()
{
    const QString report = dir.filePath(QStringLiteral("abort"));
    const ChildResult result = runChild([] { makeFault(SIGABRT); }, recordDecision, true, report);
    QCOMPARE(result.decisions, 0);
    QCOMPARE(result.terminatingSignal, int(SIGABRT));
    QVERIFY(!waitForFile(report, 1000));
}

void TstCrashHook::stackOverflowIsCaught()
{
    const ChildResult result = runChild([] { recurse(0); }, recordDecision, false, dir.filePath(QStringLiteral("unused")));
    QCOMPARE(result.decisions, 1);
    QCOMPARE(result.terminatingSignal, int(SIGSEGV));
}

void TstCrashHook::decisionHasStackToSpare()
{
    const ChildResult result = runChild([] { makeFault(SIGSEGV); }, bigStackDecision, false, dir.filePath(QStringLiteral("unused")));
    QCOMPARE(result.decisions, 1);
    QCOMPARE(result.terminatingSignal, int(SIGSEGV));
}

void TstCrashHook::faultInsideDecisionEndsProcess()
{
    const QString report = dir.filePath(QStringLiteral("nested"));
    const ChildResult result = runChild([] { makeFault(SIGBUS); }, faultingDecision, true, report);
    // One decision, no second one for the fault inside it, and no restart.
    QCOMPARE(result.decisions, 1);
    QCOMPARE(result.terminatingSignal, int(SIGSEGV));
    QVERIFY(!waitForFile(report, 1000));
}

// The decision may start the crash-dialog program instead of a restart: the
// command prepared before the crash, started as cleanly as a restart.
void TstCrashHook::crashDialogStartsPreparedCommand()
{
    const QString report = dir.filePath(QStringLiteral("dialog"));
    const ChildResult result = runChild([] {
        CrashHook::setCrashDialog(QStringLiteral("/nonexistent/first"), { QStringLiteral("replaced") });
        CrashHook::setCrashDialog(QCoreApplication::applicationFilePath(),
                                  { QStringLiteral("--pid"), QStringLiteral("two words"), QString() });
        makeFault(SIGSEGV);
    }, dialogDecision, false, report);
    QCOMPARE(result.decisions, 1);
    QCOMPARE(result.terminatingSignal, int(SIGSEGV));
    QVERIFY(waitForFile(report, 10000));
    const QList<QByteArray> lines = reportLines(report);
    QCOMPARE(lines.mid(0, 4), QList<QByteArray>({ "argc=4", "arg=--pid", "arg=two words", "arg=" }));
    QVERIFY(handlerNamesStartedProcess(report, lines, "started the crash dialog"));
    const QByteArray problem = startProblem(lines);
    QVERIFY2(problem.isEmpty(), problem.constData());
}

// A crash inside malloc, with the allocator's lock held: the handler must
// still start the new process, so it may not allocate on the way.
void TstCrashHook::startsWhileAllocatorLocked()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers bring their own allocator, which this scene cannot break");
#endif
    const QString report = dir.filePath(QStringLiteral("allocator"));
    const ChildResult result = runChild([] {
        // A second live thread, or glibc's allocator takes no lock at all.
        allocatorProbe = new CrashScene::LockProbe([] {
            volatile std::size_t inUse = mallinfo2().uordblks;
            (void)inUse;
        });
        if (allocatorProbe->blocks(5000))
            _exit(3);
        CrashScene::crashInsideMalloc();
    }, allocatorProbingDecision, true, report);
    QVERIFY(result.allocatorLocked);
    QCOMPARE(result.decisions, 1);
    QCOMPARE(result.terminatingSignal, int(SIGSEGV));
    QVERIFY(waitForFile(report, 10000));
}

int main(int argc, char *argv[])
{
    if (const char *report = getenv(reportVariable)) {
        writeReport(report, argc, argv);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TstCrashHook test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashhook.moc"
