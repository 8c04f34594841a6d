#include "crashhook.h"

#include <QFile>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

extern char **environ;

namespace {

const int fatalSignals[] = { SIGSEGV, SIGBUS, SIGILL, SIGFPE };

// Everything the handler touches is set up in advance: it must not allocate
// before the decision runs, the heap may be what broke.
CrashHook::Decision crashDecision = nullptr;
char restartPath[PATH_MAX] = {};
std::atomic<int> handling { 0 };
bool installed = false;
void *alternateStack = nullptr;

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

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

// posix_spawn rather than fork(): fork runs the atfork handlers and takes
// the allocator's locks, which a crashed process may hold.
void startAgain()
{
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return;
    // The handler runs with the fatal signals blocked and a spawned process
    // inherits the mask: without a cleared mask the next instance could not
    // catch its own crash.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attributes);
        return;
    }
    // Sockets, the log file and the display connection stay with the dying
    // process; the new one opens its own.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    char *const arguments[] = { restartPath, nullptr };
    pid_t child = 0;
    if (posix_spawn(&child, restartPath, &actions, &attributes, arguments, environ) == 0) {
        writeText("Pathmere: started again as process ");
        writeNumber(child);
        writeText("\n");
    } else {
        writeText("Pathmere: could not start again\n");
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
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
    if (restart && restartPath[0] != '\0')
        startAgain();

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
    const QByteArray path = QFile::encodeName(restartExecutable);
    if (path.size() < static_cast<int>(sizeof restartPath)) {
        std::memcpy(restartPath, path.constData(), static_cast<std::size_t>(path.size()));
        restartPath[path.size()] = '\0';
    } else {
        restartPath[0] = '\0';
    }

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
