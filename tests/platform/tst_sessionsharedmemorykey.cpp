// The session-scoped key of the single-instance segment: the documented rule
// (other programs compute it to send "Close_Program") and the removal of a
// segment that a killed instance left behind.

#include "sessionsharedmemorykey.h"

#include <QFile>
#include <QSharedMemory>
#include <QtTest>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

class TstSessionSharedMemoryKey : public QObject
{
    Q_OBJECT

private slots:
    void rule();
    void currentSession();
    void keyFilesAreQtNativeKeys();
    void staleSegmentRemoved();
    void liveSegmentKept();

private:
    static QString uniqueKey(const char *tag)
    {
        return SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), QByteArray("keytest-") + tag + '-' + QByteArray::number(getpid()), 0);
    }
};

void TstSessionSharedMemoryKey::rule()
{
    QCOMPARE(SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "3", 1000), QStringLiteral("Pathmere/session-3"));
    QCOMPARE(SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "c2", 0), QStringLiteral("Pathmere/session-c2"));
    QCOMPARE(SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), QByteArray(), 1000), QStringLiteral("Pathmere/user-1000"));
    QCOMPARE(SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "", 0), QStringLiteral("Pathmere/user-0"));
    // Different sessions of one user never share a segment.
    QVERIFY(SessionSharedMemoryKey::segmentKeyFile(SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "3", 1000))
            != SessionSharedMemoryKey::segmentKeyFile(SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "4", 1000)));
}

void TstSessionSharedMemoryKey::currentSession()
{
    const QByteArray saved = qgetenv("XDG_SESSION_ID");
    qputenv("XDG_SESSION_ID", "17");
    QCOMPARE(SessionSharedMemoryKey::forCurrentSession(QStringLiteral("Pathmere")), QStringLiteral("Pathmere/session-17"));
    qunsetenv("XDG_SESSION_ID");
    QCOMPARE(SessionSharedMemoryKey::forCurrentSession(QStringLiteral("Pathmere")), QStringLiteral("Pathmere/user-%1").arg(getuid()));
    qputenv("XDG_SESSION_ID", "");
    QCOMPARE(SessionSharedMemoryKey::forCurrentSession(QStringLiteral("Pathmere")), QStringLiteral("Pathmere/user-%1").arg(getuid()));
    if (!saved.isNull())
        qputenv("XDG_SESSION_ID", saved);
    else
        qunsetenv("XDG_SESSION_ID");
}

void TstSessionSharedMemoryKey::keyFilesAreQtNativeKeys()
{
    const QString key = SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "x/ü 9", 0);
    QSharedMemory segment(key);
    QCOMPARE(segment.nativeKey(), SessionSharedMemoryKey::segmentKeyFile(key));
    QVERIFY(SessionSharedMemoryKey::segmentKeyFile(key).contains(QLatin1String("/qipc_sharedmemory_Pathmeresessionx")));
    QVERIFY(SessionSharedMemoryKey::semaphoreKeyFile(key).contains(QLatin1String("/qipc_systemsem_Pathmeresessionx")));

    // The documented ftok() files name the very segment Qt creates.
    QVERIFY(segment.create(512));
    const key_t memoryKey = ftok(QFile::encodeName(SessionSharedMemoryKey::segmentKeyFile(key)).constData(), 'Q');
    const int id = shmget(memoryKey, 0, 0);
    QVERIFY(id != -1);
    shmid_ds info {};
    QCOMPARE(shmctl(id, IPC_STAT, &info), 0);
    QCOMPARE(int(info.shm_segsz), 512);
    QVERIFY(segment.lock());
    const key_t lockKey = ftok(QFile::encodeName(SessionSharedMemoryKey::semaphoreKeyFile(key)).constData(), 'Q');
    const int lock = semget(lockKey, 1, 0);
    QVERIFY(lock != -1);
    // Held by us: the semaphore reads 0.
    QCOMPARE(semctl(lock, 0, GETVAL), 0);
    segment.unlock();
    QCOMPARE(semctl(lock, 0, GETVAL), 1);
    segment.detach();
}

void TstSessionSharedMemoryKey::staleSegmentRemoved()
{
    const QString key = uniqueKey("stale");
    // What a killed owner leaves: the key files, a segment nobody is attached
    // to, and the lock's semaphore.
    {
        QFile file(SessionSharedMemoryKey::segmentKeyFile(key));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const key_t memoryKey = ftok(QFile::encodeName(SessionSharedMemoryKey::segmentKeyFile(key)).constData(), 'Q');
    QVERIFY(shmget(memoryKey, 512, 0600 | IPC_CREAT | IPC_EXCL) != -1);
    {
        QFile file(SessionSharedMemoryKey::semaphoreKeyFile(key));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const key_t lockKey = ftok(QFile::encodeName(SessionSharedMemoryKey::semaphoreKeyFile(key)).constData(), 'Q');
    QVERIFY(semget(lockKey, 1, 0600 | IPC_CREAT | IPC_EXCL) != -1);

    QSharedMemory blocked(key);
    QVERIFY(!blocked.create(512));
    QCOMPARE(blocked.error(), QSharedMemory::AlreadyExists);

    SessionSharedMemoryKey::removeStaleSegment(key);
    QCOMPARE(shmget(memoryKey, 0, 0), -1);
    QCOMPARE(semget(lockKey, 1, 0), -1);
    QVERIFY(!QFile::exists(SessionSharedMemoryKey::segmentKeyFile(key)));
    QVERIFY(!QFile::exists(SessionSharedMemoryKey::semaphoreKeyFile(key)));

    QSharedMemory fresh(key);
    QVERIFY2(fresh.create(512), qPrintable(fresh.errorString()));
    fresh.detach();
}

void TstSessionSharedMemoryKey::liveSegmentKept()
{
    const QString key = uniqueKey("live");
    QSharedMemory owner(key);
    QVERIFY(owner.create(512));
    static_cast<char *>(owner.data())[0] = 'x';

    SessionSharedMemoryKey::removeStaleSegment(key);
    QSharedMemory other(key);
    QVERIFY(!other.create(512));
    QVERIFY(other.attach());
    QCOMPARE(static_cast<const char *>(other.constData())[0], 'x');
    QVERIFY(other.lock());
    other.unlock();
    other.detach();
    owner.detach();
}

QTEST_GUILESS_MAIN(TstSessionSharedMemoryKey)

#include "tst_sessionsharedmemorykey.moc"
