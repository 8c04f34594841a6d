#include "crashscene.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <unistd.h>

CrashScene::LockProbe::LockProbe(std::function<void()> probeCall) : call(std::move(probeCall))
{
    if (::pipe(askPipe) != 0 || ::pipe(answerPipe) != 0)
        return;
    thread = std::thread([this] {
        char ask = 0;
        while (::read(askPipe[0], &ask, 1) == 1 && ask == '?') {
            call();
            const char done = '!';
            if (::write(answerPipe[1], &done, 1) != 1)
                return;
        }
    });
}

CrashScene::LockProbe::~LockProbe()
{
    const char stop = 'q';
    if (::write(askPipe[1], &stop, 1) == 1 && thread.joinable())
        thread.join();
    for (const int fd : { askPipe[0], askPipe[1], answerPipe[0], answerPipe[1] }) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool CrashScene::LockProbe::blocks(int timeoutMs) noexcept
{
    if (blocked)
        return true;
    const char ask = '?';
    if (::write(askPipe[1], &ask, 1) != 1)
        return false;
    pollfd answer { answerPipe[0], POLLIN, 0 };
    if (::poll(&answer, 1, timeoutMs) == 1) {
        char done = 0;
        return ::read(answerPipe[0], &done, 1) != 1;
    }
    blocked = true;
    return true;
}

bool CrashScene::crashInsideMalloc()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    // Called through volatile pointers, so that the compiler cannot see the
    // allocations through and drop them.
    void *(*volatile allocate)(std::size_t) = std::malloc;
    void (*volatile release)(void *) = std::free;

    // Three neighbouring chunks, large enough to pass over the per-thread
    // cache and the fast bins: freed, the middle one cannot merge with a
    // neighbour and waits in the unsorted list as a chunk of its own. What
    // the heap held before decides where chunks come from, so try until
    // three stand side by side; the others stay taken.
    constexpr std::size_t request = 0x4f8;
    constexpr std::ptrdiff_t chunkSize = 0x500;
    char *middle = nullptr;
    for (int attempt = 0; attempt < 256 && !middle; ++attempt) {
        auto *const before = static_cast<char *>(allocate(request));
        auto *const candidate = static_cast<char *>(allocate(request));
        auto *const after = static_cast<char *>(allocate(request));
        if (candidate - before == chunkSize && after - candidate == chunkSize)
            middle = candidate;
    }
    if (!middle)
        return false;
    release(middle);
    // A free chunk's user area starts with its forward and back links; the
    // next malloc that sorts the unsorted list follows the back link. The
    // request is large (no cache, no small bin) and of a size nothing else
    // fits exactly, so the sorting reaches this chunk.
    volatile std::uintptr_t *const backLink = reinterpret_cast<std::uintptr_t *>(middle) + 1;
    *backLink = 0x10;
    release(allocate(0x6e8));
    // Only reached when the allocator is not glibc's.
    return false;
#endif
}

void CrashScene::crashHere()
{
    volatile std::uintptr_t address = 0x18;
    *reinterpret_cast<volatile int *>(address) = 1;
    std::abort();
}

void CrashScene::say(const char *text) noexcept
{
    const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}
