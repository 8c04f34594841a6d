#include "crashhook.h"

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <vector>

#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const int fatalSignals[] = { SIGSEGV, SIGBUS, SIGILL, SIGFPE };

// A program with its argument and environment vectors, built outside any
// crash, so that starting it from the handler allocates nothing.
struct PreparedCommand
{
    std::vector<QByteArray> strings;
    std::vector<char *> argv;
    std::vector<char *> envp;
    const char *path = nullptr;
};

std::unique_ptr<PreparedCommand> prepareCommand(const QString &program, const QStringList &arguments)
{
    auto command = std::make_unique<PreparedCommand>();
    int environmentSize = 0;
    while (environ && environ[environmentSize])
        ++environmentSize;
    // Reserved up front: the vectors below point into these strings.
    command->strings.reserve(std::size_t(1 + arguments.size() + environmentSize));
    command->strings.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        command->strings.push_back(argument.toLocal8Bit());
    for (int i = 0; i < environmentSize; ++i)
        command->strings.emplace_back(environ[i]);

    const std::size_t argc = std::size_t(1 + arguments.size());
    for (std::size_t i = 0; i < command->strings.size(); ++i)
        (i < argc ? command->argv : command->envp).push_back(command->strings[i].data());
    command->argv.push_back(nullptr);
    command->envp.push_back(nullptr);
    command->path = command->argv.front();
    return command;
}

// Everything the handler touches is set up in advance: it must not allocate,
// the heap may be what broke. A command, once published, stays: a crash on
// another thread may be starting it while a new one replaces it.
CrashHook::Decision crashDecision = nullptr;
std::atomic<const PreparedCommand *> restartCommand { nullptr };
std::atomic<const PreparedCommand *> crashDialogCommand { nullptr };
QMutex commandsLock;
std::vector<std::unique_ptr<PreparedCommand>> commands; // commandsLock
std::atomic<int> handling { 0 };
bool installed = false;
void *alternateStack = nullptr;

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");
static_assert(std::atomic<const PreparedCommand *>::is_always_lock_free, "the handler reads commands lock-free");

void publish(std::atomic<const PreparedCommand *> &slot, std::unique_ptr<PreparedCommand> command)
{
    QMutexLocker locker(&commandsLock);
    slot.store(command.get());
    commands.push_back(std::move(command));
}

void writeText(const char *text)
{
    const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void writeNumber(int value)
{
    char digits[16];
    int length = 0;
    unsigned int rest = value < 0 ? 0u : static_cast<unsigned int>(value);
    do {
        digits[length++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest && length < static_cast<int>(sizeof digits));
    char text[sizeof digits + 1];
    for (int i = 0; i < length; ++i)
        text[i] = digits[length - 1 - i];
    text[length] = '\0';
    writeText(text);
}

void closeDescriptorsAbove(int lowest)
{
    if (::close_range(unsigned(lowest) + 1, ~0u, 0) == 0)
        return;
    rlimit limit {};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
            ? limit.rlim_cur
            : 65536;
    for (rlim_t fd = rlim_t(lowest) + 1; fd < last; ++fd)
        ::close(int(fd));
}

// What the started child needs; it writes back why execve failed.
struct StartRequest
{
    const PreparedCommand *command = nullptr;
    volatile int execError = 0;
};

// The child's stack: it borrows this process's memory until execve, but not
// the stack of the handler that starts it (under AddressSanitizer a vfork
// from a handler on the alternate stack killed the parent).
alignas(16) char childStack[128 * 1024];

// Runs in the child, on childStack, until execve: system calls only.
int startChild(void *argument)
{
    auto *const request = static_cast<StartRequest *>(argument);
    ::setsid();
    closeDescriptorsAbove(STDERR_FILENO);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
    const PreparedCommand &command = *request->command;
    ::execve(command.path, command.argv.data(), command.envp.data());
    request->execError = errno != 0 ? errno : ENOEXEC;
    ::_exit(127);
}

// Starts the command detached: its own session, no descriptor above stderr
// (sockets, the log file and the display connection stay with the dying
// process) and no blocked signal (the handler runs with the fatal signals
// blocked, and a started process inherits the mask; the next instance must
// be able to catch its own crash). A clone that shares the memory and holds
// this thread until execve, as posix_spawn does inside, rather than fork or
// posix_spawn themselves: fork runs the atfork handlers and takes the
// allocator's locks, which a crashed process may hold, and posix_spawn's
// file actions allocate. One start at a time (the handler runs once).
// Returns the process id, or -1.
pid_t startDetached(const PreparedCommand &command) noexcept
{
    StartRequest request;
    request.command = &command;
    const pid_t child =
            ::clone(startChild, childStack + sizeof childStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &request);
    if (child > 0 && request.execError != 0) {
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

void onFatalSignal(int signalNumber, siginfo_t *, void *)
{
    // A second thread faulting while the first one decides, or a fault the
    // decision itself causes on another thread: no second decision.
    if (handling.exchange(1) != 0) {
        std::signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        return;
    }

    writeText("Pathmere: fatal signal ");
    writeNumber(signalNumber);
    writeText(", running the crash handler\n");

    const bool restart = crashDecision ? crashDecision() : false;
    const PreparedCommand *const restartWith = restartCommand.load();
    if (restart && restartWith) {
        const pid_t child = startDetached(*restartWith);
        if (child > 0) {
            writeText("Pathmere: started again as process ");
            writeNumber(child);
            writeText("\n");
        } else {
            writeText("Pathmere: could not start again\n");
        }
    }

    // The signal is blocked while the handler runs, so the raised copy is
    // delivered with the default action as soon as the handler returns: the
    // process ends with the original signal (a re-executed faulting
    // instruction would do the same).
    std::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

bool setUpAlternateStack()
{
    if (!alternateStack) {
        const long page = sysconf(_SC_PAGESIZE);
        const std::size_t total = CrashHook::alternateStackSize + static_cast<std::size_t>(page);
        void *memory = mmap(nullptr, total, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED)
            return false;
        // Guard page below the stack: an overflow of the handler itself
        // faults instead of silently writing into whatever lies below.
        mprotect(memory, static_cast<std::size_t>(page), PROT_NONE);
        alternateStack = memory;
    }
    const long page = sysconf(_SC_PAGESIZE);
    stack_t stack {};
    stack.ss_sp = static_cast<char *>(alternateStack) + page;
    stack.ss_size = CrashHook::alternateStackSize;
    stack.ss_flags = 0;
    return sigaltstack(&stack, nullptr) == 0;
}

} // namespace

bool CrashHook::install(Decision decision, const QString &restartExecutable)
{
    crashDecision = decision;
    if (restartExecutable.isEmpty())
        restartCommand.store(nullptr);
    else
        publish(restartCommand, prepareCommand(restartExecutable, {}));

    bool ok = setUpAlternateStack();

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    // A second fatal signal while the decision runs kills the process at
    // once instead of nesting another decision.
    for (const int signalNumber : fatalSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (const int signalNumber : fatalSignals)
        ok = sigaction(signalNumber, &action, nullptr) == 0 && ok;

    installed = true;
    handling = 0;
    return ok;
}

void CrashHook::uninstall()
{
    for (const int signalNumber : fatalSignals)
        std::signal(signalNumber, SIG_DFL);
    installed = false;
    crashDecision = nullptr;
}

bool CrashHook::isInstalled()
{
    return installed;
}

void CrashHook::setCrashDialog(const QString &program, const QStringList &arguments)
{
    publish(crashDialogCommand, prepareCommand(program, arguments));
}

bool CrashHook::startCrashDialog() noexcept
{
    const PreparedCommand *const command = crashDialogCommand.load();
    if (!command)
        return false;
    const pid_t child = startDetached(*command);
    if (child <= 0) {
        writeText("Pathmere: could not start the crash dialog\n");
        return false;
    }
    writeText("Pathmere: started the crash dialog as process ");
    writeNumber(child);
    writeText("\n");
    return true;
}
