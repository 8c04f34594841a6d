// The session-scoped key of the single-instance segment: the documented rule
// (other programs compute it to send "Close_Program"), where the key files
// live, and the removal of a segment that a killed instance left behind.

#include "sessionsegment.h"
#include "sessionsharedmemorykey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

class TstSessionSharedMemoryKey : public QObject
{
    Q_OBJECT

private slots:
    void rule();
    void currentSession();
    void keyFolder();
    void keyFilesNameTheSegment();
    void staleSegmentRemoved();
    void liveSegmentKept();

private:
    // A key file as a killed program leaves it, and its System V key.
    static key_t makeKeyFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return -1;
        file.close();
        return ftok(QFile::encodeName(path).constData(), 'Q');
    }

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

void TstSessionSharedMemoryKey::keyFolder()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QCOMPARE(SessionSharedMemoryKey::keyFolder(), runtime.path());
    QVERIFY(SessionSharedMemoryKey::segmentKeyFile(QStringLiteral("Pathmere/session-3"))
                .startsWith(runtime.path() + QLatin1Char('/')));
    // Not there, relative or empty: the temporary folder, as Qt's own keys.
    for (const QByteArray &value : {QFile::encodeName(runtime.path() + QStringLiteral("/gone")), QByteArray("run"),
                                    QByteArray()}) {
        qputenv("XDG_RUNTIME_DIR", value);
        QCOMPARE(SessionSharedMemoryKey::keyFolder(), QDir::tempPath());
    }
    if (!saved.isNull())
        qputenv("XDG_RUNTIME_DIR", saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

void TstSessionSharedMemoryKey::keyFilesNameTheSegment()
{
    QTemporaryDir folder;
    const QString key = SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "x/ü 9", 0);
    const QString segmentFile = SessionSharedMemoryKey::segmentKeyFile(key, folder.path());
    const QString semaphoreFile = SessionSharedMemoryKey::semaphoreKeyFile(key, folder.path());
    // L and H of the documented rule: letters of the key, SHA-1 of its UTF-8.
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
    QCOMPARE(segmentFile, folder.path() + QStringLiteral("/qipc_sharedmemory_Pathmeresessionx") + hash);
    QCOMPARE(semaphoreFile, folder.path() + QStringLiteral("/qipc_systemsem_Pathmeresessionx") + hash);

    // The documented ftok() files name the very segment and lock made.
    SessionSegment segment(key, folder.path());
    QCOMPARE(segment.create(512), SessionSegment::Outcome::Created);
    for (const QString &file : {segmentFile, semaphoreFile}) {
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), 0600);
        QCOMPARE(SessionSegment::keyOf(info.st_dev, info.st_ino), ftok(QFile::encodeName(file).constData(), 'Q'));
    }
    const int id = shmget(ftok(QFile::encodeName(segmentFile).constData(), 'Q'), 0, 0);
    QVERIFY(id != -1);
    shmid_ds info {};
    QCOMPARE(shmctl(id, IPC_STAT, &info), 0);
    QCOMPARE(int(info.shm_segsz), 512);
    QCOMPARE(int(info.shm_perm.mode & 0777), 0600);
    QVERIFY(segment.lock());
    const int lock = semget(ftok(QFile::encodeName(semaphoreFile).constData(), 'Q'), 1, 0);
    QVERIFY(lock != -1);
    // Held by us: the semaphore reads 0.
    QCOMPARE(semctl(lock, 0, GETVAL), 0);
    segment.unlock();
    QCOMPARE(semctl(lock, 0, GETVAL), 1);

    // The owner's detach takes everything away.
    segment.detach();
    QCOMPARE(shmget(info.shm_perm.__key, 0, 0), -1);
    QCOMPARE(semget(ftok(QFile::encodeName(semaphoreFile).constData(), 'Q'), 1, 0), -1);
    QVERIFY(!QFile::exists(segmentFile));
    QVERIFY(!QFile::exists(semaphoreFile));
}

void TstSessionSharedMemoryKey::staleSegmentRemoved()
{
    QTemporaryDir folder;
    const QString key = uniqueKey("stale");
    // What a killed owner leaves: the key files, a segment nobody is attached
    // to, and the lock's semaphore.
    const key_t memoryKey = makeKeyFile(SessionSharedMemoryKey::segmentKeyFile(key, folder.path()));
    QVERIFY(shmget(memoryKey, 512, 0600 | IPC_CREAT | IPC_EXCL) != -1);
    const key_t lockKey = makeKeyFile(SessionSharedMemoryKey::semaphoreKeyFile(key, folder.path()));
    QVERIFY(semget(lockKey, 1, 0600 | IPC_CREAT | IPC_EXCL) != -1);

    SessionSegment::removeStale(key, folder.path());
    QCOMPARE(shmget(memoryKey, 0, 0), -1);
    QCOMPARE(semget(lockKey, 1, 0), -1);
    QVERIFY(!QFile::exists(SessionSharedMemoryKey::segmentKeyFile(key, folder.path())));
    QVERIFY(!QFile::exists(SessionSharedMemoryKey::semaphoreKeyFile(key, folder.path())));

    // The same leftovers again: a new start removes them itself and gets the
    // segment, with a lock that is free.
    const key_t againKey = makeKeyFile(SessionSharedMemoryKey::segmentKeyFile(key, folder.path()));
    QVERIFY(shmget(againKey, 512, 0600 | IPC_CREAT | IPC_EXCL) != -1);
    SessionSegment fresh(key, folder.path());
    QCOMPARE(fresh.create(512), SessionSegment::Outcome::Created);
    QVERIFY(fresh.lock(100));
    fresh.unlock();
}

void TstSessionSharedMemoryKey::liveSegmentKept()
{
    QTemporaryDir folder;
    const QString key = uniqueKey("live");
    SessionSegment owner(key, folder.path());
    QCOMPARE(owner.create(512), SessionSegment::Outcome::Created);
    owner.data()[0] = 'x';

    SessionSegment::removeStale(key, folder.path());
    SessionSegment other(key, folder.path());
    QCOMPARE(other.create(512), SessionSegment::Outcome::Attached);
    QVERIFY(!other.isOwner());
    QCOMPARE(other.data()[0], 'x');
    QVERIFY(other.lock());
    // Held: a third party gives up after its time-out instead of hanging.
    SessionSegment third(key, folder.path());
    QCOMPARE(third.attach(), SessionSegment::Outcome::Attached);
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!third.lock(200));
    QVERIFY(waited.elapsed() >= 150);
    other.unlock();
    QVERIFY(third.lock(200));
    third.unlock();
    other.detach();
    QCOMPARE(third.data()[0], 'x');
}

QTEST_GUILESS_MAIN(TstSessionSharedMemoryKey)

#include "tst_sessionsharedmemorykey.moc"
