#include "privatestore.h"

#include "applog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens path without following a link (nor blocking on a pipe), checks that
// it is of type (S_IFREG, S_IFDIR) and ours, narrows it to mode and closes it.
bool narrowOpen(const QByteArray &path, int flags, unsigned type, unsigned mode)
{
    const int fd = ::open(path.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && (st.st_mode & S_IFMT) == type && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 07777) != mode)
        ok = ::fchmod(fd, mode) == 0;
    ::close(fd);
    return ok;
}

bool refused(const QString &path)
{
    appLog(LogSystem::LogMajorMsg, "Update data refused: %s is not a private file of this user.", qPrintable(path));
    return false;
}

} // namespace

bool PrivateStore::makeFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    const QByteArray path = QFile::encodeName(clean);
    if (::mkdir(path.constData(), folderMode) != 0 && errno == ENOENT) {
        // Parents are ordinary folders (~/.local/share); only ours is narrowed.
        QDir().mkpath(QFileInfo(clean).absolutePath());
        ::mkdir(path.constData(), folderMode);
    }
    if (narrowOpen(path, O_RDONLY | O_DIRECTORY, S_IFDIR, folderMode))
        return true;
    appLog(LogSystem::LogMajorMsg, "Update data folder %s is not a private folder of this user.", qPrintable(folder));
    return false;
}

bool PrivateStore::prepareFile(const QString &path)
{
    return narrowOpen(QFile::encodeName(path), O_RDONLY | O_CREAT, S_IFREG, fileMode) || refused(path);
}

bool PrivateStore::narrowFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT;
    return narrowOpen(name, O_RDONLY, S_IFREG, fileMode) || refused(path);
}

bool PrivateStore::createNew(const QString &path, QFile *file)
{
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return false;
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
    if (fd < 0)
        return false;
    // The umask cannot widen it, but may narrow it further; say what we mean.
    ::fchmod(fd, fileMode);
    file->setFileName(path);
    if (!file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}
