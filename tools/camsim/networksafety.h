#ifndef NETWORKSAFETY_H
#define NETWORKSAFETY_H

#include <QString>

// camsim answers broadcasts and sends VISCA and Wake-on-LAN traffic, so it
// must only ever run inside a test LAN: never in the host's own network
// namespace, and never putting anything but a documentation address on an
// interface. Nothing here opens a socket: the namespace check has to be done
// before the first one exists.
class NetworkSafety
{
public:
    // 192.0.2.0/24, 198.51.100.0/24 and 203.0.113.0/24 (RFC 5737).
    static bool isDocumentationAddress(const QString &ip);
    static QString documentationRanges();

    // Network namespace inode numbers around this process; 0 when unknown.
    struct Namespaces
    {
        quint64 self = 0;          // this process's
        quint64 init = 0;          // PID 1's, when it may be read
        quint64 outermost = 0;     // the outermost ancestor's that may be read
        quint64 hint = 0;          // named by PATHMERE_HOST_NETNS
        // The namespace belongs to a user namespace created below the
        // initial one (unshare -Urn), so it cannot be the host's.
        bool nestedOwner = false;
    };

    // Reads /proc (and PATHMERE_HOST_NETNS) for this process.
    static Namespaces probe();
    // Empty when camsim may run in the namespace described, else the reason
    // it must not.
    static QString refusal(const Namespaces &ns);

    // The host's network namespace has this fixed inode number on kernels
    // that give the initial namespaces static numbers; a namespace created
    // later never gets a number this low.
    static constexpr quint64 StaticInitNetInode = 0xEFFFFFF9u;
    static constexpr quint64 InitUserNsInode = 0xEFFFFFFDu;

private:
    static quint64 inodeOf(const QString &path);
    static quint64 parseHint(const QString &hint);
};

#endif // NETWORKSAFETY_H
