#ifndef SOCKETPROCESSES_H
#define SOCKETPROCESSES_H

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QtGlobal>

// Which processes hold given sockets, found the way fuser and ss do: every
// open descriptor under /proc/<pid>/fd that links to "socket:[inode]". A
// process of another user shows its descriptors only to root (or with
// CAP_SYS_PTRACE); such a process is counted, not guessed at.
class SocketProcesses
{
public:
    // A machine with more descriptors than this is not scanned further; the
    // result then says it is incomplete.
    static constexpr int MaxDescriptors = 500000;
    static constexpr int MaxProcesses = 100000;

    struct Holder
    {
        qint64 pid = 0;
        QString name;   // /proc/<pid>/comm, at most 15 characters
    };

    struct Result
    {
        QHash<quint64, QList<Holder>> holders;   // inode -> the processes holding it
        int unreadableProcesses = 0;   // processes whose descriptors could not be read
        bool complete = true;          // false when a limit stopped the scan
    };

    static Result find(const QSet<quint64> &inodes, const QString &procRoot = QStringLiteral("/proc"));

    // The socket inodes one process holds open (this one by default).
    static QSet<quint64> ofProcess(const QString &fdDir = QStringLiteral("/proc/self/fd"));

    // The inode of a descriptor link's text "socket:[12345]"; 0 for any
    // other text.
    static quint64 socketInode(const QByteArray &linkText);

private:
    SocketProcesses() = delete;
};

#endif // SOCKETPROCESSES_H
