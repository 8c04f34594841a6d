#ifndef CRASHHOOK_H
#define CRASHHOOK_H

#include <QString>

#include <cstddef>

// Process-wide hook for the fatal signals SIGSEGV, SIGBUS, SIGILL and SIGFPE.
//
// The handler runs on an alternate signal stack, so a stack overflow is caught
// as well, and the stack is large enough for the decision to run a modal Qt
// dialog. It asks the decision whether to restart; on true it starts
// restartExecutable again, detached (own session, descriptors above stderr
// closed, signal mask cleared) and without arguments. In every case the
// process then dies of the original signal, so its parent sees a crash.
//
// SIGABRT is deliberately left alone: qFatal() and abort() must end the
// process without starting it again, otherwise a fatal start-up error turns
// into a restart loop.
//
// The alternate stack belongs to the thread that calls install(); a fault on
// another thread runs the handler on that thread's own stack.
class CrashHook
{
public:
    // Returns true when the crashed program is to be started again.
    using Decision = bool (*)();

    static constexpr std::size_t alternateStackSize = 16 * 1024 * 1024;

    // Installs the handlers and the alternate stack. A second call replaces
    // the decision and the executable. Returns false when a handler or the
    // alternate stack could not be set up.
    static bool install(Decision decision, const QString &restartExecutable);

    // Restores the default actions (the alternate stack stays mapped, a
    // signal may still be running on it).
    static void uninstall();

    static bool isInstalled();

private:
    CrashHook() = delete;
};

#endif // CRASHHOOK_H
