#include "segmentclient.h"

#include "sessionsharedmemorykey.h"

#include <QFile>
#include <QSharedMemory>

#include <cstring>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

bool SegmentClient::writeWithQt(const QString &key, const QByteArray &command)
{
    QSharedMemory segment(key);
    if (!segment.attach(QSharedMemory::ReadWrite) || !segment.lock())
        return false;
    char *text = static_cast<char *>(segment.data());
    std::memcpy(text, command.constData(), size_t(command.size()));
    text[command.size()] = '\0';
    segment.unlock();
    segment.detach();
    return true;
}

bool SegmentClient::writeWithSysV(const QString &key, const QByteArray &command)
{
    const key_t memoryKey = ftok(QFile::encodeName(SessionSharedMemoryKey::segmentKeyFile(key)).constData(), 'Q');
    const key_t lockKey = ftok(QFile::encodeName(SessionSharedMemoryKey::semaphoreKeyFile(key)).constData(), 'Q');
    if (memoryKey == -1 || lockKey == -1)
        return false;
    const int memoryId = shmget(memoryKey, 0, 0);
    const int lockId = semget(lockKey, 1, 0);
    if (memoryId == -1 || lockId == -1)
        return false;
    void *memory = shmat(memoryId, nullptr, 0);
    if (memory == reinterpret_cast<void *>(-1))
        return false;
    sembuf operation {};
    operation.sem_num = 0;
    operation.sem_op = -1;
    operation.sem_flg = SEM_UNDO;
    const bool locked = semop(lockId, &operation, 1) == 0;
    if (locked) {
        std::memcpy(memory, command.constData(), size_t(command.size()));
        static_cast<char *>(memory)[command.size()] = '\0';
        operation.sem_op = 1;
        semop(lockId, &operation, 1);
    }
    shmdt(memory);
    return locked;
}

QByteArray SegmentClient::read(const QString &key)
{
    QSharedMemory segment(key);
    if (!segment.attach(QSharedMemory::ReadOnly) || !segment.lock())
        return QByteArray();
    const char *text = static_cast<const char *>(segment.constData());
    QByteArray result(text, int(qstrnlen(text, uint(segment.size()))));
    if (result.isNull())
        result = QByteArray("");
    segment.unlock();
    segment.detach();
    return result;
}

bool SegmentClient::exists(const QString &key)
{
    const key_t memoryKey = ftok(QFile::encodeName(SessionSharedMemoryKey::segmentKeyFile(key)).constData(), 'Q');
    return memoryKey != -1 && shmget(memoryKey, 0, 0) != -1;
}
