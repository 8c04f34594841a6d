#include "segmentclient.h"

#include "sessionsharedmemorykey.h"

#include <QFile>
#include <QSharedMemory>

#include <cstring>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

namespace {

key_t keyOf(const QString &file)
{
    return ftok(QFile::encodeName(file).constData(), 'Q');
}

// The lock as the README describes it: one semaphore, -1 to take, +1 to give.
int lockSemaphore(const QString &folder, const QString &key)
{
    const key_t lockKey = keyOf(SessionSharedMemoryKey::semaphoreKeyFile(key, folder));
    return lockKey == -1 ? -1 : semget(lockKey, 1, 0);
}

bool changeLock(int lockId, short change)
{
    sembuf operation {};
    operation.sem_num = 0;
    operation.sem_op = change;
    operation.sem_flg = SEM_UNDO;
    return semop(lockId, &operation, 1) == 0;
}

void putCommand(void *memory, const QByteArray &command)
{
    std::memcpy(memory, command.constData(), size_t(command.size()));
    static_cast<char *>(memory)[command.size()] = '\0';
}

} // namespace

bool SegmentClient::writeWithQt(const QString &folder, const QString &key, const QByteArray &command)
{
    QSharedMemory segment;
    segment.setNativeKey(SessionSharedMemoryKey::segmentKeyFile(key, folder));
    const int lockId = lockSemaphore(folder, key);
    if (lockId == -1 || !segment.attach(QSharedMemory::ReadWrite))
        return false;
    const bool locked = changeLock(lockId, -1);
    if (locked) {
        putCommand(segment.data(), command);
        changeLock(lockId, 1);
    }
    segment.detach();
    return locked;
}

bool SegmentClient::writeWithSysV(const QString &folder, const QString &key, const QByteArray &command)
{
    const key_t memoryKey = keyOf(SessionSharedMemoryKey::segmentKeyFile(key, folder));
    const int lockId = lockSemaphore(folder, key);
    if (memoryKey == -1 || lockId == -1)
        return false;
    const int memoryId = shmget(memoryKey, 0, 0);
    if (memoryId == -1)
        return false;
    void *memory = shmat(memoryId, nullptr, 0);
    if (memory == reinterpret_cast<void *>(-1))
        return false;
    const bool locked = changeLock(lockId, -1);
    if (locked) {
        putCommand(memory, command);
        changeLock(lockId, 1);
    }
    shmdt(memory);
    return locked;
}

QByteArray SegmentClient::read(const QString &folder, const QString &key)
{
    const key_t memoryKey = keyOf(SessionSharedMemoryKey::segmentKeyFile(key, folder));
    const int lockId = lockSemaphore(folder, key);
    const int memoryId = memoryKey == -1 ? -1 : shmget(memoryKey, 0, 0);
    if (memoryId == -1 || lockId == -1)
        return QByteArray();
    shmid_ds status {};
    void *memory = shmat(memoryId, nullptr, SHM_RDONLY);
    if (memory == reinterpret_cast<void *>(-1) || shmctl(memoryId, IPC_STAT, &status) != 0)
        return QByteArray();
    QByteArray result;
    if (changeLock(lockId, -1)) {
        const char *text = static_cast<const char *>(memory);
        result = QByteArray(text, int(qstrnlen(text, uint(status.shm_segsz))));
        if (result.isNull())
            result = QByteArray("");
        changeLock(lockId, 1);
    }
    shmdt(memory);
    return result;
}

bool SegmentClient::exists(const QString &folder, const QString &key)
{
    const key_t memoryKey = keyOf(SessionSharedMemoryKey::segmentKeyFile(key, folder));
    return memoryKey != -1 && shmget(memoryKey, 0, 0) != -1;
}
