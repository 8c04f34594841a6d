// What another local user can do to a program of this machine, one act per
// run; OtherUser runs it under a made-up uid. Plain POSIX: no Qt, no files
// of the test's own.
//
//   other-user-probe file PATH MODE          create PATH (O_EXCL); prints key=<ftok>
//   other-user-probe replace PATH MODE       unlink PATH and create it anew; prints key=<ftok>
//   other-user-probe segment KEY MODE TEXT HOLD
//                                            a 512-byte segment under KEY holding TEXT;
//                                            prints id=<shmid>; with HOLD=1 stays attached,
//                                            prints "ready" and waits for its standard input to close
//   other-user-probe semaphore KEY MODE VALUE
//                                            one semaphore under KEY set to VALUE; prints id=<semid>
//   other-user-probe udp PORT TEXT HOLDMS    TEXT to 127.0.0.1:PORT from a socket of its own that
//                                            stays open HOLDMS; prints from=<port>
//   other-user-probe tcp PORT REQUEST        connects to 127.0.0.1:PORT, sends REQUEST (\r and \n
//                                            written as such) and prints what comes back within 3 s
// KEY is decimal or 0x-hexadecimal, MODE octal. Exit code 0 when the act was done.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fail(const char *what)
{
    std::fprintf(stderr, "other-user-probe: %s: %s\n", what, std::strerror(errno));
    return 1;
}

key_t keyArgument(const char *text)
{
    return key_t(std::strtoul(text, nullptr, 0));
}

mode_t modeArgument(const char *text)
{
    return mode_t(std::strtoul(text, nullptr, 8));
}

std::string unescaped(const char *text)
{
    std::string out;
    for (const char *p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] == 'r') {
            out += '\r';
            ++p;
        } else if (p[0] == '\\' && p[1] == 'n') {
            out += '\n';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

int makeFile(const char *path, mode_t mode, bool replace)
{
    if (replace && unlink(path) != 0)
        return fail("unlink");
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0)
        return fail("open");
    fchmod(fd, mode);
    close(fd);
    std::printf("key=%d\n", int(ftok(path, 'Q')));
    return 0;
}

void waitForStdinToClose()
{
    char buffer[64];
    while (read(0, buffer, sizeof buffer) > 0) {
    }
}

int plantSegment(key_t key, mode_t mode, const char *text, bool hold)
{
    const int id = shmget(key, 512, int(mode) | IPC_CREAT | IPC_EXCL);
    if (id < 0)
        return fail("shmget");
    void *memory = shmat(id, nullptr, 0);
    if (memory == reinterpret_cast<void *>(-1))
        return fail("shmat");
    std::strncpy(static_cast<char *>(memory), text, 511);
    std::printf("id=%d\n", id);
    if (hold) {
        std::printf("ready\n");
        std::fflush(stdout);
        waitForStdinToClose();
    }
    shmdt(memory);
    return 0;
}

int plantSemaphore(key_t key, mode_t mode, int value)
{
    const int id = semget(key, 1, int(mode) | IPC_CREAT | IPC_EXCL);
    if (id < 0)
        return fail("semget");
    union {
        int value;
        semid_ds *buffer;
        unsigned short *array;
    } argument {};
    argument.value = value;
    if (semctl(id, 0, SETVAL, argument) != 0)
        return fail("semctl");
    std::printf("id=%d\n", id);
    return 0;
}

sockaddr_in loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int sendDatagram(int port, const char *text, int holdMs)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self = loopback(0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&self), sizeof self) != 0)
        return fail("bind");
    socklen_t size = sizeof self;
    getsockname(fd, reinterpret_cast<sockaddr *>(&self), &size);
    const sockaddr_in target = loopback(port);
    if (sendto(fd, text, std::strlen(text), 0, reinterpret_cast<const sockaddr *>(&target), sizeof target) < 0)
        return fail("sendto");
    std::printf("from=%d\n", int(ntohs(self.sin_port)));
    std::fflush(stdout);
    usleep(useconds_t(holdMs) * 1000);
    close(fd);
    return 0;
}

int tcpExchange(int port, const char *request)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in target = loopback(port);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0)
        return fail("connect");
    const std::string bytes = unescaped(request);
    if (write(fd, bytes.data(), bytes.size()) < 0)
        std::fprintf(stderr, "other-user-probe: write: %s\n", std::strerror(errno));
    pollfd waiting {fd, POLLIN, 0};
    char buffer[4096];
    while (poll(&waiting, 1, 3000) > 0) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        fwrite(buffer, 1, size_t(got), stdout);
    }
    close(fd);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string act = argc > 1 ? argv[1] : "";
    if ((act == "file" || act == "replace") && argc == 4)
        return makeFile(argv[2], modeArgument(argv[3]), act == "replace");
    if (act == "segment" && argc == 6)
        return plantSegment(keyArgument(argv[2]), modeArgument(argv[3]), argv[4], std::strcmp(argv[5], "1") == 0);
    if (act == "semaphore" && argc == 5)
        return plantSemaphore(keyArgument(argv[2]), modeArgument(argv[3]), std::atoi(argv[4]));
    if (act == "udp" && argc == 5)
        return sendDatagram(std::atoi(argv[2]), argv[3], std::atoi(argv[4]));
    if (act == "tcp" && argc == 4)
        return tcpExchange(std::atoi(argv[2]), argv[3]);
    std::fprintf(stderr, "other-user-probe: unknown act (see the source's head)\n");
    return 2;
}
