#ifndef CRASHSCENE_H
#define CRASHSCENE_H

#include <functional>
#include <thread>

// Crashes in the places where a crash handler must not lean on anything: a
// fault inside the allocator while it holds its lock, and a probe that tells
// the handler whether some call would block right now (because the crashed
// thread holds the lock it needs). For the suites that check that a crash
// still reaches the crash dialog or the restart.
class CrashScene
{
public:
    // A thread that runs `call` once each time probe() asks, so a handler can
    // find out whether the call blocks at that moment. Start it before the
    // crash: starting a thread allocates.
    class LockProbe
    {
    public:
        explicit LockProbe(std::function<void()> call);
        ~LockProbe();

        // True when the call has not returned within timeoutMs. Only
        // async-signal-safe calls: for a crash handler. Once it reported a
        // blocked call, it reports blocked again without asking.
        bool blocks(int timeoutMs) noexcept;

    private:
        LockProbe(const LockProbe &) = delete;
        LockProbe &operator=(const LockProbe &) = delete;

        std::function<void()> call;
        int askPipe[2] = { -1, -1 };
        int answerPipe[2] = { -1, -1 };
        bool blocked = false;
        std::thread thread;
    };

    // Faults (SIGSEGV) inside malloc while it holds the lock of the main
    // thread's arena: the unsorted list of free chunks is broken so that
    // malloc reads through an unmapped address. Needs glibc's allocator and
    // at least one other live thread (a single-threaded process takes no
    // allocator lock); returns false without a fault when the allocator is
    // someone else's (the sanitizers replace it).
    static bool crashInsideMalloc();

    // Faults (SIGSEGV) here.
    [[noreturn]] static void crashHere();

    // Says on stderr with async-signal-safe calls only.
    static void say(const char *text) noexcept;

private:
    CrashScene() = delete;
};

#endif // CRASHSCENE_H
