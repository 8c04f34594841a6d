// The single-instance segment in one process: claiming it, the command
// protocol shared by the second start, other programs and the window's poll.

#include "logsystem.h"
#include "singleinstance.h"
#include "sessionsharedmemorykey.h"

#include <QSharedMemory>
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
    SessionSharedMemoryKey::removeStaleSegment(key());
}

void TstSingleInstance::claimOnceAndHandOver()
{
    SingleInstance first(key(), nullptr);
    QVERIFY(first.claimSegment(false));
    QVERIFY(first.ownsSegment());

    SingleInstance second(key(), nullptr);
    QVERIFY(!second.claimSegment(false));
    QVERIFY(!second.ownsSegment());

    QSharedMemory reader(key());
    QVERIFY(reader.attach());
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

    QSharedMemory reader(key());
    QVERIFY(reader.attach());
    const QByteArray bytes(static_cast<const char *>(reader.constData()), reader.size());
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
    QSharedMemory writer(key());
    QVERIFY(writer.attach());
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
    QSharedMemory segment(key());
    QVERIFY(segment.attach());
    char *data = static_cast<char *>(segment.data());
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
    QSharedMemory segment(key());
    QVERIFY(segment.attach());
    std::memset(segment.data(), 'A', size_t(segment.size()));
    // Read up to the segment's end, never beyond, and all of it cleared.
    QCOMPARE(SingleInstance::takeCommand(segment), QByteArray(SingleInstance::segmentSize, 'A'));
    QCOMPARE(QByteArray(static_cast<const char *>(segment.constData()), segment.size()), QByteArray(SingleInstance::segmentSize, '\0'));

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
