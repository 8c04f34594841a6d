#include "socketprocesses.h"

#include <QFile>

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

class Directory
{
public:
    explicit Directory(const QByteArray &path) : dir(::opendir(path.constData())) {}
    ~Directory() { if (dir) ::closedir(dir); }
    Directory(const Directory &) = delete;
    Directory &operator=(const Directory &) = delete;
    DIR *const dir;
};

bool allDigits(const char *name)
{
    if (!*name)
        return false;
    for (const char *p = name; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}

// The socket inode a descriptor link names, or 0.
quint64 linkInode(const QByteArray &path)
{
    char link[64];
    const ssize_t length = ::readlink(path.constData(), link, sizeof link);
    if (length <= 0 || length >= ssize_t(sizeof link))
        return 0;
    return SocketProcesses::socketInode(QByteArray::fromRawData(link, int(length)));
}

QString commOf(const QByteArray &processDir)
{
    QFile file(QString::fromLocal8Bit(processDir + "/comm"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // The kernel keeps at most 16 bytes with the NUL; a longer read is no comm.
    return QString::fromUtf8(file.read(64).trimmed());
}

} // namespace

quint64 SocketProcesses::socketInode(const QByteArray &linkText)
{
    static const char prefix[] = "socket:[";
    const int prefixSize = int(sizeof prefix) - 1;
    if (!linkText.startsWith(prefix) || !linkText.endsWith(']'))
        return 0;
    const int digits = linkText.size() - prefixSize - 1;
    if (digits < 1 || digits > 20)
        return 0;
    quint64 value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = linkText.at(prefixSize + i);
        if (c < '0' || c > '9')
            return 0;
        const quint64 next = value * 10 + quint64(c - '0');
        if (next / 10 != value)
            return 0;
        value = next;
    }
    return value;
}

SocketProcesses::Result SocketProcesses::find(const QSet<quint64> &inodes, const QString &procRoot)
{
    Result result;
    if (inodes.isEmpty())
        return result;
    const QByteArray root = QFile::encodeName(procRoot);
    const Directory proc(root);
    if (!proc.dir) {
        result.complete = false;
        return result;
    }
    int processes = 0;
    int descriptors = 0;
    while (const dirent *entry = ::readdir(proc.dir)) {
        if (!allDigits(entry->d_name))
            continue;
        if (++processes > MaxProcesses) {
            result.complete = false;
            break;
        }
        const QByteArray processDir = root + '/' + entry->d_name;
        const QByteArray fdDir = processDir + "/fd";
        const Directory fds(fdDir);
        if (!fds.dir) {
            // Gone meanwhile, or another user's.
            if (errno == EACCES || errno == EPERM)
                ++result.unreadableProcesses;
            continue;
        }
        QString name;
        bool named = false;
        while (const dirent *fd = ::readdir(fds.dir)) {
            if (!allDigits(fd->d_name))
                continue;
            if (++descriptors > MaxDescriptors) {
                result.complete = false;
                return result;
            }
            const quint64 inode = linkInode(fdDir + '/' + fd->d_name);
            if (inode == 0 || !inodes.contains(inode))
                continue;
            if (!named) {
                name = commOf(processDir);
                named = true;
            }
            Holder holder;
            holder.pid = QByteArray(entry->d_name).toLongLong();
            holder.name = name;
            QList<Holder> &list = result.holders[inode];
            bool listed = false;
            for (const Holder &h : qAsConst(list))
                listed = listed || h.pid == holder.pid;
            if (!listed)
                list.append(holder);
        }
    }
    return result;
}

QSet<quint64> SocketProcesses::ofProcess(const QString &fdDir)
{
    QSet<quint64> inodes;
    const QByteArray dirPath = QFile::encodeName(fdDir);
    const Directory fds(dirPath);
    if (!fds.dir)
        return inodes;
    int descriptors = 0;
    while (const dirent *fd = ::readdir(fds.dir)) {
        if (!allDigits(fd->d_name))
            continue;
        if (++descriptors > MaxDescriptors)
            break;
        const quint64 inode = linkInode(dirPath + '/' + fd->d_name);
        if (inode != 0)
            inodes.insert(inode);
    }
    return inodes;
}
