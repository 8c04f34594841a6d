#include "tolviksystemosal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Room for ".lock", the user id and some slack below NAME_MAX (255 bytes).
constexpr int maxEncodedName = 200;

// Handles map to descriptors so that a stale or foreign handle can never
// close a descriptor the process uses for something else.
struct HandleTable
{
    QMutex lock;
    QHash<uint32_t, int> descriptors;
    uint32_t lastHandle = 0;
};

HandleTable &handles()
{
    static HandleTable *const table = new HandleTable;
    return *table;
}

QString lockFilePath(const QString &name)
{
    // Unreserved characters stay, everything else (the slash and the percent
    // sign included) is encoded, so distinct names give distinct files.
    QByteArray encoded = QUrl::toPercentEncoding(name);
    if (encoded.size() > maxEncodedName) {
        const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex();
        encoded = encoded.left(maxEncodedName - hash.size() - 1) + '-' + hash;
    }
    const QString fileName = QString::fromLatin1(encoded);

    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(QFile::decodeName(runtimeDir))
        && QDir(QFile::decodeName(runtimeDir)).exists())
        return QFile::decodeName(runtimeDir) + QLatin1Char('/') + fileName + QStringLiteral(".lock");
    return QDir::tempPath() + QLatin1Char('/') + fileName + QLatin1Char('-')
            + QString::number(getuid()) + QStringLiteral(".lock");
}

} // namespace

uint32_t osalIpcLock(const ushort *name)
{
    if (!name)
        return 0;
    const QByteArray path = QFile::encodeName(lockFilePath(QString::fromUtf16(name)));

    // No symbolic links: in the shared temp folder another user could plant
    // one pointing at a file of ours.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return 0;

    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        ::close(fd);
        return 0;
    }

    HandleTable &table = handles();
    QMutexLocker locker(&table.lock);
    uint32_t handle = table.lastHandle;
    do {
        ++handle;
    } while (handle == 0 || table.descriptors.contains(handle));
    table.lastHandle = handle;
    table.descriptors.insert(handle, fd);
    return handle;
}

void osalIpcUnlock(uint32_t handle)
{
    int fd = -1;
    {
        HandleTable &table = handles();
        QMutexLocker locker(&table.lock);
        const auto it = table.descriptors.find(handle);
        if (it == table.descriptors.end())
            return;
        fd = it.value();
        table.descriptors.erase(it);
    }
    // Closing the only descriptor of this open file releases the lock.
    ::close(fd);
}

qint64 osalFreeSpace(const ushort *path)
{
    if (!path)
        return -1;
    const QByteArray nativePath = QFile::encodeName(QString::fromUtf16(path));
    struct statvfs info;
    int result;
    do {
        result = ::statvfs(nativePath.constData(), &info);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}
