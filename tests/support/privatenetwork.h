#ifndef PRIVATENETWORK_H
#define PRIVATENETWORK_H

#include <QString>

// Window tests press "Search" and "Apply", and those send broadcasts. Before
// Qt starts, the test process moves into a network namespace of its own that
// has nothing but a loopback interface, so nothing can leave it: as root with
// unshare(CLONE_NEWNET), otherwise inside an unprivileged user namespace.
class PrivateNetwork
{
public:
    // Call first thing in main(), while the process has one thread.
    static bool enter();
    // True when entered and the namespace has no IPv4 address besides
    // loopback (call after QCoreApplication exists).
    static bool isolated();
    static QString reason();
    // Runs ip(8) with args inside the namespace; true on exit code 0.
    static bool ip(const QStringList &args);
    // After enter() and QCoreApplication: brings the namespace's loopback
    // up, or warns that the test runs in the shared namespace.
    static void loopbackUp(bool entered);

private:
    PrivateNetwork() = delete;
};

#endif // PRIVATENETWORK_H
