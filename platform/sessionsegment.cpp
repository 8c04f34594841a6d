#include "sessionsegment.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The project id that Qt's QSharedMemory gave ftok(); other programs use it.
constexpr int ProjectId = 'Q';

QString modeText(mode_t mode)
{
    return QStringLiteral("%1").arg(uint(mode & 07777), 4, 8, QLatin1Char('0'));
}

QString errnoText(const char *call)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno)));
}

// Linux's semctl() takes its fourth argument as this union, which the
// program declares itself.
union SemaphoreArgument {
    int value;
    semid_ds *buffer;
    unsigned short *array;
};

bool semaphoreStatus(int id, semid_ds *status)
{
    SemaphoreArgument argument {};
    argument.buffer = status;
    return semctl(id, 0, IPC_STAT, argument) == 0;
}

void setSemaphoreValue(int id, int value)
{
    SemaphoreArgument argument {};
    argument.value = value;
    semctl(id, 0, SETVAL, argument);
}

} // namespace

SessionSegment::SessionSegment(QString key, QString folder)
    : key(std::move(key))
    , folder(std::move(folder))
{
}

SessionSegment::~SessionSegment()
{
    detach();
}

bool SessionSegment::isPrivateObject(uid_t ownerUid, uid_t creatorUid, mode_t mode, uid_t me)
{
    return ownerUid == me && creatorUid == me && (mode & 0777) == PrivateMode;
}

bool SessionSegment::isPrivateKeyFile(uid_t ownerUid, mode_t mode, uid_t me)
{
    return S_ISREG(mode) && ownerUid == me && (mode & 07777) == PrivateMode;
}

key_t SessionSegment::keyOf(dev_t device, ino_t inode)
{
    return key_t((quint32(inode) & 0xffffu) | ((quint32(device) & 0xffu) << 16) | (quint32(ProjectId & 0xff) << 24));
}

QString SessionSegment::pathOf(KeyFile which) const
{
    return which == KeyFile::Segment ? SessionSharedMemoryKey::segmentKeyFile(key, folder)
                                     : SessionSharedMemoryKey::semaphoreKeyFile(key, folder);
}

void SessionSegment::refuse(const QString &text)
{
    reasons.append(text);
}

key_t SessionSegment::openKeyFile(KeyFile which, bool create, bool *missing)
{
    *missing = false;
    const QString path = pathOf(which);
    const QByteArray name = QFile::encodeName(path);
    // Never through a symbolic link, and the key taken from the very file
    // that was checked (ftok() would look the name up once more).
    int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0),
                    PrivateMode);
    const bool created = fd >= 0 && create;
    if (fd < 0 && create && errno == EEXIST)
        fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            *missing = true;
        } else if (errno == ELOOP) {
            refuse(QStringLiteral("key file %1 is a symbolic link").arg(path));
        } else {
            refuse(QStringLiteral("key file %1: %2").arg(path, errnoText("open")));
        }
        return -1;
    }
    // The umask may have taken bits away; the file is ours to set.
    if (created)
        fchmod(fd, PrivateMode);
    struct stat info {};
    const bool known = fstat(fd, &info) == 0;
    ::close(fd);
    if (!known) {
        refuse(QStringLiteral("key file %1: %2").arg(path, errnoText("fstat")));
        return -1;
    }
    if (!isPrivateKeyFile(info.st_uid, info.st_mode, getuid())) {
        refuse(QStringLiteral("key file %1 belongs to uid %2 with mode %3, not to uid %4 with mode 0600")
                   .arg(path).arg(info.st_uid).arg(modeText(info.st_mode)).arg(getuid()));
        return -1;
    }
    return keyOf(info.st_dev, info.st_ino);
}

bool SessionSegment::renewKeyFile(KeyFile which)
{
    // Only a file that passed openKeyFile() gets here: ours, in a folder we
    // may write. The new file is made while the old one still exists, so it
    // gets another inode (a file system may hand a freed one out again at
    // once), and with it another System V key; the rename is atomic.
    const QByteArray path = QFile::encodeName(pathOf(which));
    QByteArray pattern = path + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    fchmod(fd, PrivateMode);
    ::close(fd);
    if (::rename(pattern.constData(), path.constData()) != 0) {
        ::unlink(pattern.constData());
        return false;
    }
    return true;
}

int SessionSegment::openSemaphore(key_t semaphoreKey, bool create, bool *foreign, bool *missing, bool *made)
{
    *foreign = false;
    *missing = false;
    if (made)
        *made = false;
    if (create) {
        const int id = semget(semaphoreKey, 1, int(PrivateMode) | IPC_CREAT | IPC_EXCL);
        if (id >= 0) {
            setSemaphoreValue(id, 1);
            if (made)
                *made = true;
            return id;
        }
        if (errno != EEXIST) {
            refuse(errnoText("semget"));
            return -1;
        }
    }
    const int id = semget(semaphoreKey, 1, 0);
    if (id < 0) {
        if (errno == ENOENT)
            *missing = true;
        else if (errno == EACCES || errno == EINVAL)
            *foreign = true;   // someone else's, of another size or mode
        if (!*missing)
            refuse(QStringLiteral("lock semaphore of key 0x%1: %2").arg(uint(semaphoreKey), 8, 16, QLatin1Char('0')).arg(errnoText("semget")));
        return -1;
    }
    semid_ds status {};
    if (!semaphoreStatus(id, &status)) {
        *foreign = errno == EACCES;
        refuse(QStringLiteral("lock semaphore %1: %2").arg(id).arg(errnoText("semctl")));
        return -1;
    }
    if (!isPrivateObject(status.sem_perm.uid, status.sem_perm.cuid, status.sem_perm.mode, getuid())) {
        *foreign = true;
        refuse(QStringLiteral("lock semaphore %1 belongs to uid %2 (made by uid %3) with mode %4")
                   .arg(id).arg(status.sem_perm.uid).arg(status.sem_perm.cuid).arg(modeText(status.sem_perm.mode)));
        return -1;
    }
    return id;
}

bool SessionSegment::mapSegment(int id)
{
    void *const address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        refuse(errnoText("shmat"));
        return false;
    }
    shmid_ds status {};
    if (shmctl(id, IPC_STAT, &status) != 0 || status.shm_segsz < 1) {
        shmdt(address);
        refuse(errnoText("shmctl"));
        return false;
    }
    memory = static_cast<char *>(address);
    bytes = int(qMin<size_t>(status.shm_segsz, size_t(INT_MAX)));
    segmentId = id;
    return true;
}

SessionSegment::Outcome SessionSegment::create(int size)
{
    detach();
    reasons.clear();
    const uid_t me = getuid();
    // A lock made here is not left behind when no segment comes of it.
    int madeLock = -1;
    const auto giveUp = [&](Outcome outcome) {
        if (madeLock >= 0) {
            semctl(madeLock, 0, IPC_RMID);
            ::unlink(QFile::encodeName(pathOf(KeyFile::Semaphore)).constData());
        }
        return outcome;
    };
    for (int attempt = 0; attempt < MaxKeyAttempts; ++attempt) {
        bool missing = false;
        const key_t semaphoreKey = openKeyFile(KeyFile::Semaphore, true, &missing);
        if (semaphoreKey == -1)
            return giveUp(Outcome::Refused);
        bool foreign = false;
        bool made = false;
        const int lockId = openSemaphore(semaphoreKey, true, &foreign, &missing, &made);
        if (lockId < 0) {
            if (foreign && renewKeyFile(KeyFile::Semaphore))
                continue;
            return giveUp(foreign ? Outcome::Refused : Outcome::Failed);
        }
        if (made)
            madeLock = lockId;
        const key_t segmentKey = openKeyFile(KeyFile::Segment, true, &missing);
        if (segmentKey == -1)
            return giveUp(Outcome::Refused);

        int id = shmget(segmentKey, size_t(size), int(PrivateMode) | IPC_CREAT | IPC_EXCL);
        if (id >= 0) {
            if (!mapSegment(id)) {
                shmctl(id, IPC_RMID, nullptr);
                return giveUp(Outcome::Failed);
            }
            semaphoreId = lockId;
            owner = true;
            // A lock left by a killed owner is taken afresh.
            setSemaphoreValue(lockId, 1);
            return Outcome::Created;
        }
        if (errno != EEXIST) {
            refuse(errnoText("shmget"));
            return giveUp(Outcome::Failed);
        }
        id = shmget(segmentKey, 0, 0);
        shmid_ds status {};
        const bool known = id >= 0 && shmctl(id, IPC_STAT, &status) == 0;
        if (!known || !isPrivateObject(status.shm_perm.uid, status.shm_perm.cuid, status.shm_perm.mode, me)) {
            if (known) {
                refuse(QStringLiteral("segment %1 belongs to uid %2 (made by uid %3) with mode %4")
                           .arg(id).arg(status.shm_perm.uid).arg(status.shm_perm.cuid).arg(modeText(status.shm_perm.mode)));
            } else {
                refuse(QStringLiteral("segment of key 0x%1 is not ours to read").arg(uint(segmentKey), 8, 16, QLatin1Char('0')));
            }
            if (renewKeyFile(KeyFile::Segment))
                continue;
            return giveUp(Outcome::Refused);
        }
        if (status.shm_nattch == 0) {
            // Its owner was killed: nobody will ever detach it.
            shmctl(id, IPC_RMID, nullptr);
            continue;
        }
        if (!mapSegment(id))
            return Outcome::Failed;
        semaphoreId = lockId;
        return Outcome::Attached;
    }
    refuse(QStringLiteral("gave up after %1 key files").arg(MaxKeyAttempts));
    return giveUp(Outcome::Refused);
}

SessionSegment::Outcome SessionSegment::attach()
{
    detach();
    reasons.clear();
    bool missing = false;
    const key_t segmentKey = openKeyFile(KeyFile::Segment, false, &missing);
    if (segmentKey == -1)
        return missing ? Outcome::Missing : Outcome::Refused;
    const key_t semaphoreKey = openKeyFile(KeyFile::Semaphore, false, &missing);
    if (semaphoreKey == -1)
        return missing ? Outcome::Missing : Outcome::Refused;

    const int id = shmget(segmentKey, 0, 0);
    if (id < 0) {
        if (errno == ENOENT)
            return Outcome::Missing;
        refuse(QStringLiteral("segment of key 0x%1: %2").arg(uint(segmentKey), 8, 16, QLatin1Char('0')).arg(errnoText("shmget")));
        return Outcome::Refused;
    }
    shmid_ds status {};
    if (shmctl(id, IPC_STAT, &status) != 0) {
        refuse(QStringLiteral("segment %1: %2").arg(id).arg(errnoText("shmctl")));
        return Outcome::Refused;
    }
    if (!isPrivateObject(status.shm_perm.uid, status.shm_perm.cuid, status.shm_perm.mode, getuid())) {
        refuse(QStringLiteral("segment %1 belongs to uid %2 (made by uid %3) with mode %4")
                   .arg(id).arg(status.shm_perm.uid).arg(status.shm_perm.cuid).arg(modeText(status.shm_perm.mode)));
        return Outcome::Refused;
    }
    bool foreign = false;
    const int lockId = openSemaphore(semaphoreKey, false, &foreign, &missing, nullptr);
    if (lockId < 0)
        return missing ? Outcome::Missing : Outcome::Refused;
    if (!mapSegment(id))
        return Outcome::Failed;
    semaphoreId = lockId;
    return Outcome::Attached;
}

void SessionSegment::detach()
{
    if (locked)
        unlock();
    if (memory) {
        shmdt(memory);
        memory = nullptr;
        bytes = 0;
    }
    if (owner) {
        owner = false;
        shmctl(segmentId, IPC_RMID, nullptr);
        semctl(semaphoreId, 0, IPC_RMID);
        ::unlink(QFile::encodeName(pathOf(KeyFile::Segment)).constData());
        ::unlink(QFile::encodeName(pathOf(KeyFile::Semaphore)).constData());
    }
    segmentId = -1;
    semaphoreId = -1;
}

bool SessionSegment::lock(int timeoutMs)
{
    if (!memory || semaphoreId < 0 || locked)
        return false;
    timespec deadline {};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const qint64 endNs = qint64(deadline.tv_sec) * 1000000000 + deadline.tv_nsec + qint64(timeoutMs) * 1000000;
    for (;;) {
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const qint64 leftNs = endNs - (qint64(now.tv_sec) * 1000000000 + now.tv_nsec);
        if (leftNs <= 0)
            return false;
        const timespec wait { time_t(leftNs / 1000000000), long(leftNs % 1000000000) };
        sembuf operation {};
        operation.sem_num = 0;
        operation.sem_op = -1;
        operation.sem_flg = SEM_UNDO;
        if (semtimedop(semaphoreId, &operation, 1, &wait) == 0) {
            locked = true;
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

void SessionSegment::unlock()
{
    if (!locked)
        return;
    locked = false;
    sembuf operation {};
    operation.sem_num = 0;
    operation.sem_op = 1;
    operation.sem_flg = SEM_UNDO;
    semop(semaphoreId, &operation, 1);
}

void SessionSegment::removeStale(const QString &key, const QString &folder)
{
    SessionSegment probe(key, folder);
    bool missing = false;
    const key_t segmentKey = probe.openKeyFile(KeyFile::Segment, false, &missing);
    const key_t semaphoreKey = probe.openKeyFile(KeyFile::Semaphore, false, &missing);
    const uid_t me = getuid();
    if (segmentKey != -1) {
        const int id = shmget(segmentKey, 0, 0);
        shmid_ds status {};
        if (id >= 0 && shmctl(id, IPC_STAT, &status) == 0) {
            if (!isPrivateObject(status.shm_perm.uid, status.shm_perm.cuid, status.shm_perm.mode, me))
                return;
            if (status.shm_nattch > 0)
                return;   // a live program's
            shmctl(id, IPC_RMID, nullptr);
        }
    }
    if (semaphoreKey != -1) {
        const int id = semget(semaphoreKey, 1, 0);
        semid_ds status {};
        if (id >= 0 && semaphoreStatus(id, &status)
            && isPrivateObject(status.sem_perm.uid, status.sem_perm.cuid, status.sem_perm.mode, me))
            semctl(id, 0, IPC_RMID);
    }
    if (segmentKey != -1)
        ::unlink(QFile::encodeName(probe.pathOf(KeyFile::Segment)).constData());
    if (semaphoreKey != -1)
        ::unlink(QFile::encodeName(probe.pathOf(KeyFile::Semaphore)).constData());
}
