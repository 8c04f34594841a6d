#ifndef CRASHHOOK_H
#define CRASHHOOK_H

#include <QString>
#include <QStringList>

#include <cstddef>

// Process-wide hook for the fatal signals SIGSEGV, SIGBUS, SIGILL and SIGFPE.
//
// The handler runs on an alternate signal stack, so a stack overflow is caught
// as well. It asks the decision whether to restart; on true it starts
// restartExecutable again, detached (own session, descriptors above stderr
// closed, signal mask cleared) and without arguments. The decision may
// instead start the crash-dialog program with startCrashDialog(). In every
// case the process then dies of the original signal, so its parent sees a
// crash.
//
// Inside the handler only async-signal-safe calls are made: the heap, the
// log lock or any other lock may be what the crashed thread held. Both
// commands, with their arguments and environment, are built in advance, and
// a process is started with clone (sharing the memory until execve, as
// vfork does) and execve.
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

    // The crash-dialog program for startCrashDialog(): its path, its
    // arguments and this process's environment as it is now, built here,
    // outside any crash. A later call replaces them.
    static void setCrashDialog(const QString &program, const QStringList &arguments);
    // Starts the program set with setCrashDialog(), detached like a restart.
    // For the decision, inside the handler: async-signal-safe. False when
    // none is set or it could not be started.
    static bool startCrashDialog() noexcept;

private:
    CrashHook() = delete;
};

#endif // CRASHHOOK_H
