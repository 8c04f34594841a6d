// The session segment refuses every key file and System V object that is not
// this user's alone, and is still made when someone plants objects under
// its keys. Another local user is played by uid 4242 (see OtherUser).

#include "otheruser.h"
#include "sessionsegment.h"
#include "sessionsharedmemorykey.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString key(const char *tag)
{
    return SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), QByteArray("segtest-") + tag, 0);
}

// A key file of ours as an earlier run leaves it; its System V key.
key_t ownKeyFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return -1;
    file.close();
    return ftok(QFile::encodeName(path).constData(), 'Q');
}

bool mentions(const QStringList &refusals, const QString &text)
{
    for (const QString &refusal : refusals) {
        if (refusal.contains(text))
            return true;
    }
    return false;
}

} // namespace

class TstSessionSegment : public QObject
{
    Q_OBJECT

private slots:
    void ownershipRules();
    void objectsPlantedUnderOurKeysAreRefused();
    void keyFileOfAnotherUserIsRefused();
    void keyFileThatIsALinkIsRefused();
    void segmentOfOursWithWideModeIsRefused();
};

void TstSessionSegment::ownershipRules()
{
    const uid_t me = 1000;
    QVERIFY(SessionSegment::isPrivateObject(me, me, 0600, me));
    QVERIFY(SessionSegment::isPrivateObject(me, me, 01600, me));   // kernel state bits above the permissions
    QVERIFY(!SessionSegment::isPrivateObject(me, me, 0666, me));
    QVERIFY(!SessionSegment::isPrivateObject(me, me, 0640, me));
    QVERIFY(!SessionSegment::isPrivateObject(me, me, 0400, me));
    // Handed over to us by its maker, or made by us for someone else.
    QVERIFY(!SessionSegment::isPrivateObject(me, 4242, 0600, me));
    QVERIFY(!SessionSegment::isPrivateObject(4242, me, 0600, me));

    QVERIFY(SessionSegment::isPrivateKeyFile(me, S_IFREG | 0600, me));
    QVERIFY(!SessionSegment::isPrivateKeyFile(me, S_IFREG | 0640, me));
    QVERIFY(!SessionSegment::isPrivateKeyFile(me, S_IFREG | 04600, me));
    QVERIFY(!SessionSegment::isPrivateKeyFile(4242, S_IFREG | 0600, me));
    QVERIFY(!SessionSegment::isPrivateKeyFile(me, S_IFLNK | 0600, me));
    QVERIFY(!SessionSegment::isPrivateKeyFile(me, S_IFIFO | 0600, me));
}

// Nobody else can put a file into our runtime folder, but a key is only a
// number: another user plants a segment holding "Close_Program" and a lock
// held for good under the keys of the key files an earlier run left there.
void TstSessionSegment::objectsPlantedUnderOurKeysAreRefused()
{
    OTHERUSER_REQUIRE();
    QTemporaryDir runtime;
    const QString name = key("planted");
    const QString segmentFile = SessionSharedMemoryKey::segmentKeyFile(name, runtime.path());
    const QString semaphoreFile = SessionSharedMemoryKey::semaphoreKeyFile(name, runtime.path());
    const key_t segmentKey = ownKeyFile(segmentFile);
    const key_t semaphoreKey = ownKeyFile(semaphoreFile);
    QVERIFY(segmentKey != -1 && semaphoreKey != -1);

    OtherUser attacker(OtherUser::Attacker);
    QVERIFY(attacker.plantSegment(segmentKey, "Close_Program", true) >= 0);
    QVERIFY(attacker.plantSemaphore(semaphoreKey, 0) >= 0);

    // A client looking for a running program refuses what it finds.
    SessionSegment client(name, runtime.path());
    QCOMPARE(client.attach(), SessionSegment::Outcome::Refused);
    QVERIFY2(mentions(client.refusals(), QStringLiteral("uid 4242")), qPrintable(client.refusals().join('\n')));
    QVERIFY(!client.isAttached());

    // A start refuses them too, makes its own under new keys, and its lock
    // is its own: taken at once, not after the planted one's time-out.
    SessionSegment owner(name, runtime.path());
    const SessionSegment::Outcome made = owner.create(512);
    QVERIFY2(made == SessionSegment::Outcome::Created, qPrintable(owner.refusals().join('\n')));
    QVERIFY2(mentions(owner.refusals(), QStringLiteral("uid 4242")), qPrintable(owner.refusals().join('\n')));
    QCOMPARE(QByteArray(owner.data(), 16), QByteArray(16, '\0'));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(owner.lock(2000));
    QVERIFY(clock.elapsed() < 500);
    owner.unlock();
    QVERIFY(ftok(QFile::encodeName(segmentFile).constData(), 'Q') != segmentKey);
    QVERIFY(ftok(QFile::encodeName(semaphoreFile).constData(), 'Q') != semaphoreKey);

    // The next client reaches the new segment, and that one only.
    owner.data()[0] = 'x';
    SessionSegment next(name, runtime.path());
    QCOMPARE(next.attach(), SessionSegment::Outcome::Attached);
    QCOMPARE(next.data()[0], 'x');
}

// Without $XDG_RUNTIME_DIR the key files go to the temporary folder, where
// anyone may create a file first.
void TstSessionSegment::keyFileOfAnotherUserIsRefused()
{
    OTHERUSER_REQUIRE();
    QTemporaryDir base;
    const QString shared = base.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkdir(shared));
    QCOMPARE(::chmod(QFile::encodeName(base.path()).constData(), 0711), 0);
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);

    const QString name = key("foreignfile");
    OtherUser attacker(OtherUser::Attacker);
    const key_t planted = attacker.makeFile(SessionSharedMemoryKey::segmentKeyFile(name, shared));
    QVERIFY(planted != -1);
    QVERIFY(attacker.plantSegment(planted, "Close_Program", true) >= 0);

    SessionSegment owner(name, shared);
    QCOMPARE(owner.create(512), SessionSegment::Outcome::Refused);
    QVERIFY2(mentions(owner.refusals(), QStringLiteral("belongs to uid 4242")), qPrintable(owner.refusals().join('\n')));
    QVERIFY(!owner.isAttached());
    SessionSegment client(name, shared);
    QCOMPARE(client.attach(), SessionSegment::Outcome::Refused);
    QVERIFY(!client.isAttached());
}

void TstSessionSegment::keyFileThatIsALinkIsRefused()
{
    QTemporaryDir runtime;
    const QString name = key("link");
    const QString target = runtime.filePath(QStringLiteral("elsewhere"));
    QVERIFY(ownKeyFile(target) != -1);
    QVERIFY(QFile::link(target, SessionSharedMemoryKey::semaphoreKeyFile(name, runtime.path())));
    SessionSegment owner(name, runtime.path());
    QCOMPARE(owner.create(512), SessionSegment::Outcome::Refused);
    QVERIFY(mentions(owner.refusals(), QStringLiteral("symbolic link")));
}

void TstSessionSegment::segmentOfOursWithWideModeIsRefused()
{
    QTemporaryDir runtime;
    const QString name = key("wide");
    SessionSegment owner(name, runtime.path());
    QCOMPARE(owner.create(512), SessionSegment::Outcome::Created);
    // Someone (a tool of ours, a mistake) opened the segment to everybody:
    // no longer ours alone, so a client keeps away from it.
    const int id = shmget(ftok(QFile::encodeName(SessionSharedMemoryKey::segmentKeyFile(name, runtime.path())).constData(), 'Q'), 0, 0);
    QVERIFY(id != -1);
    shmid_ds status {};
    QCOMPARE(shmctl(id, IPC_STAT, &status), 0);
    status.shm_perm.mode = 0666;
    QCOMPARE(shmctl(id, IPC_SET, &status), 0);
    SessionSegment client(name, runtime.path());
    QCOMPARE(client.attach(), SessionSegment::Outcome::Refused);
    QVERIFY(mentions(client.refusals(), QStringLiteral("mode 0666")));
}

QTEST_GUILESS_MAIN(TstSessionSegment)

#include "tst_sessionsegment.moc"
