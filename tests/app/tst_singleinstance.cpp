// The single-instance segment in one process: claiming it, the command
// protocol shared by the second start, other programs and the window's poll.

#include "logsystem.h"
#include "sessionsegment.h"
#include "singleinstance.h"
#include "sessionsharedmemorykey.h"

#include <QtTest>

#include <cstring>

#include <unistd.h>

class TstSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void claimOnceAndHandOver();
    void hiddenSecondClaimWritesNothing();
    void releasedSegmentCanBeClaimedAgain();
    void shorterCommandAfterLongerOne();
    void takeClearsOnlyTheCommand();
    void unterminatedFullSegment();
    void restartRunsOnlyWhenScheduled();

private:
    QString key() const
    {
        return SessionSharedMemoryKey::compose(QStringLiteral("Pathmere"), "single-" + QByteArray::number(getpid()), 0);
    }
};

void TstSingleInstance::initTestCase()
{
    // appLog needs the log system; nothing is started, so lines are dropped.
    LogSystem::getSysLogSystem();
}

void TstSingleInstance::cleanup()
{
    SessionSegment::removeStale(key());
}

void TstSingleInstance::claimOnceAndHandOver()
{
    SingleInstance first(key(), nullptr);
    QVERIFY(first.claimSegment(false));
    QVERIFY(first.ownsSegment());

    SingleInstance second(key(), nullptr);
    QVERIFY(!second.claimSegment(false));
    QVERIFY(!second.ownsSegment());

    SessionSegment reader(key());
    QCOMPARE(reader.attach(), SessionSegment::Outcome::Attached);
    QCOMPARE(SingleInstance::takeCommand(reader), QByteArray("Show_Normal_UI"));
    QCOMPARE(SingleInstance::takeCommand(reader), QByteArray());
    reader.detach();
}

void TstSingleInstance::hiddenSecondClaimWritesNothing()
{
    SingleInstance first(key(), nullptr);
    QVERIFY(first.claimSegment(true));
    SingleInstance second(key(), nullptr);
    QVERIFY(!second.claimSegment(true));

    SessionSegment reader(key());
    QCOMPARE(reader.attach(), SessionSegment::Outcome::Attached);
    const QByteArray bytes(reader.data(), reader.size());
    QCOMPARE(bytes, QByteArray(SingleInstance::segmentSize, '\0'));
    reader.detach();
}

void TstSingleInstance::releasedSegmentCanBeClaimedAgain()
{
    SingleInstance first(key(), nullptr);
    QVERIFY(first.claimSegment(false));
    first.releaseSegment();
    QVERIFY(!first.ownsSegment());
    SingleInstance next(key(), nullptr);
    QVERIFY(next.claimSegment(false));
}

void TstSingleInstance::shorterCommandAfterLongerOne()
{
    SingleInstance owner(key(), nullptr);
    QVERIFY(owner.claimSegment(false));
    SessionSegment writer(key());
    QCOMPARE(writer.attach(), SessionSegment::Outcome::Attached);
    // Two commands before the poll: the later one wins whole.
    QVERIFY(SingleInstance::writeCommand(writer, "Show_Normal_UI"));
    QVERIFY(SingleInstance::writeCommand(writer, "Close_Program"));
    QCOMPARE(SingleInstance::takeCommand(writer), QByteArray("Close_Program"));
    writer.detach();
}

void TstSingleInstance::takeClearsOnlyTheCommand()
{
    SingleInstance owner(key(), nullptr);
    QVERIFY(owner.claimSegment(false));
    SessionSegment segment(key());
    QCOMPARE(segment.attach(), SessionSegment::Outcome::Attached);
    char *data = segment.data();
    std::memcpy(data, "Close_Program\0tail", 18);
    QCOMPARE(SingleInstance::takeCommand(segment), QByteArray("Close_Program"));
    QCOMPARE(QByteArray(data, 14), QByteArray(14, '\0'));
    QCOMPARE(QByteArray(data + 14, 4), QByteArray("tail"));
    segment.detach();
}

void TstSingleInstance::unterminatedFullSegment()
{
    SingleInstance owner(key(), nullptr);
    QVERIFY(owner.claimSegment(false));
    SessionSegment segment(key());
    QCOMPARE(segment.attach(), SessionSegment::Outcome::Attached);
    std::memset(segment.data(), 'A', size_t(segment.size()));
    // Read up to the segment's end, never beyond, and all of it cleared.
    QCOMPARE(SingleInstance::takeCommand(segment), QByteArray(SingleInstance::segmentSize, 'A'));
    QCOMPARE(QByteArray(segment.data(), segment.size()), QByteArray(SingleInstance::segmentSize, '\0'));

    // A command too long for the segment is cut, and still terminated.
    QVERIFY(SingleInstance::writeCommand(segment, QByteArray(600, 'B')));
    QCOMPARE(SingleInstance::takeCommand(segment), QByteArray(SingleInstance::segmentSize - 1, 'B'));
    segment.detach();
}

void TstSingleInstance::restartRunsOnlyWhenScheduled()
{
    SingleInstance instance(key(), nullptr);
    QVERIFY(!instance.hasScheduledRestart());
    QVERIFY(!instance.runScheduledRestart());
    instance.scheduleRestart({ QStringLiteral("-another") });
    QVERIFY(instance.hasScheduledRestart());
}

QTEST_GUILESS_MAIN(TstSingleInstance)

#include "tst_singleinstance.moc"
