// The named inter-process lock, seen from a second process: counting, release
// by unlock, destructor and death of the holder, and names that must not meet.
//
// The same binary is the second process: "--try-lock <name>" exits 0 when it
// could take the lock, 1 when not; "--hold-lock <name>" takes it, says "held"
// and waits to be killed.
#include "tolvikinterprocesslock.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

bool takenByOtherProcess(const QString &name)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--try-lock"), name});
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit)
        return false;
    return child.exitCode() == 0;
}

} // namespace

class TestTolvikInterProcessLock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoLocksNeedTwoUnlocks();
    void destructorReleasesWhateverTheCount();
    void killedHolderFreesTheLock();
    void namesStayApart();
    void tempFolderWithoutRuntimeDir();

private:
    QTemporaryDir runtimeDir;
};

void TestTolvikInterProcessLock::initTestCase()
{
    QVERIFY(runtimeDir.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
}

void TestTolvikInterProcessLock::twoLocksNeedTwoUnlocks()
{
    TolvikInterProcessLock lock(QStringLiteral("twice"));
    QVERIFY(lock.lock());
    QVERIFY(lock.lock());
    QVERIFY(!takenByOtherProcess("twice"));
    // Another object, even in this process, does not get it either; and
    // taking the lock does not wait.
    TolvikInterProcessLock sibling(QStringLiteral("twice"));
    QVERIFY(!sibling.lock());
    // Unlocking an object that never locked does nothing.
    sibling.unlock();
    QVERIFY(!takenByOtherProcess("twice"));

    lock.unlock();
    QVERIFY(!takenByOtherProcess("twice"));
    lock.unlock();
    QVERIFY(takenByOtherProcess("twice"));
    QVERIFY(sibling.lock());
    sibling.unlock();

    // More unlocks than locks leave the count alone: one lock, one unlock.
    lock.unlock();
    QVERIFY(lock.lock());
    QVERIFY(!takenByOtherProcess("twice"));
    lock.unlock();
    QVERIFY(takenByOtherProcess("twice"));
    QVERIFY(QFile::exists(runtimeDir.filePath("TolvikLocktwice.lock")));
}

void TestTolvikInterProcessLock::destructorReleasesWhateverTheCount()
{
    auto lock = std::make_unique<TolvikInterProcessLock>(QStringLiteral("scoped"));
    QVERIFY(lock->lock());
    QVERIFY(lock->lock());
    QVERIFY(lock->lock());
    lock.reset();
    QVERIFY(takenByOtherProcess("scoped"));
}

void TestTolvikInterProcessLock::killedHolderFreesTheLock()
{
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock"), QStringLiteral("orphan")});
    QVERIFY(holder.waitForReadyRead(30000));
    QCOMPARE(holder.readAllStandardOutput(), QByteArray("held\n"));
    TolvikInterProcessLock lock(QStringLiteral("orphan"));
    QVERIFY(!lock.lock());
    holder.kill();
    QVERIFY(holder.waitForFinished(30000));
    QVERIFY(lock.lock());
}

// Characters that cannot stand in a file name are encoded, long names
// shortened; neither may make two names share one lock.
void TestTolvikInterProcessLock::namesStayApart()
{
    const QString longName(600, QLatin1Char('x'));
    const QList<QPair<QString, QString>> pairs = {
        {"a/b", "a%2Fb"}, {"a/b", "a_b"}, {"../up", "..%2Fup"}, {longName + "1", longName + "2"}};
    for (const auto &pair : pairs) {
        TolvikInterProcessLock first(pair.first);
        TolvikInterProcessLock second(pair.second);
        QVERIFY2(first.lock(), qPrintable(pair.first.left(20)));
        QVERIFY2(second.lock(), qPrintable(pair.second.left(20)));
        QVERIFY(!takenByOtherProcess(pair.first));
        QVERIFY(!takenByOtherProcess(pair.second));
    }
    // Everything stays inside the folder.
    for (const QString &file : QDir(runtimeDir.path()).entryList(QDir::Files))
        QVERIFY2(file.startsWith("TolvikLock") && file.size() < 256, qPrintable(file));
    QVERIFY(!QDir(runtimeDir.path()).exists("up"));
}

void TestTolvikInterProcessLock::tempFolderWithoutRuntimeDir()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    {
        TolvikInterProcessLock lock(QStringLiteral("fallback"));
        QVERIFY(lock.lock());
        QVERIFY(!takenByOtherProcess("fallback"));
        QVERIFY(QFile::exists(tmp.filePath(QStringLiteral("TolvikLockfallback-%1.lock").arg(getuid()))));
    }
    QVERIFY(takenByOtherProcess("fallback"));
    qunsetenv("TMPDIR");
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--try-lock") == 0) {
        QCoreApplication app(argc, argv);
        TolvikInterProcessLock lock(QString::fromLocal8Bit(argv[2]));
        return lock.lock() ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--hold-lock") == 0) {
        QCoreApplication app(argc, argv);
        TolvikInterProcessLock lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.lock())
            return 1;
        fputs("held\n", stdout);
        fflush(stdout);
        for (;;)
            QThread::sleep(60);
    }
    QCoreApplication app(argc, argv);
    TestTolvikInterProcessLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tolvikinterprocesslock.moc"
