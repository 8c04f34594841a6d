// Many threads logging into one file while others register modules: every
// line arrives whole, once, in each thread's order, under its module's name.
#include "logsystem.h"
#include "logtestsupport.h"
#include "simplefilelogger.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <vector>

class TestLogSystemThreads : public QObject
{
    Q_OBJECT

private slots:
    void fourThreadsIntoOneFile();
};

void TestLogSystemThreads::fourThreadsIntoOneFile()
{
    constexpr int threadCount = 4;
    constexpr int linesPerThread = 20000;

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("threads.log"));
    LogSystem *sys = LogSystem::getSysLogSystem();
    SimpleFileLogger logger(path, false);
    sys->setLogLevel(LogSystem::LogMajorMsg);
    sys->setLogger(&logger);
    sys->startLog();

    QAtomicInt go(0);
    std::vector<QThread *> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.push_back(QThread::create([t, sys, &go] {
            // Registration races with the other threads' lines on purpose.
            const int id = sys->registerLoggedModule(QStringLiteral("Worker/%1").arg(t));
            while (!go.loadAcquire())
                QThread::yieldCurrentThread();
            for (int i = 0; i < linesPerThread; ++i)
                sys->log(id, LogSystem::LogMajorMsg, QStringLiteral("worker %d line %d"), t, i);
        }));
    }
    // A thread that keeps registering new modules while the workers log.
    threads.push_back(QThread::create([sys, &go] {
        while (!go.loadAcquire())
            QThread::yieldCurrentThread();
        for (int i = 0; i < 200; ++i) {
            sys->registerLoggedModule(QStringLiteral("Late/%1").arg(i));
            sys->log(0, LogSystem::LogDetailMsg, QStringLiteral("filtered %d"), i);
        }
    }));
    for (QThread *thread : threads)
        thread->start();
    go.storeRelease(1);
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(120000));
        delete thread;
    }
    sys->stopLog();
    sys->setLogger(nullptr);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Header, the lines, and the empty piece after the last "\n".
    QCOMPARE(lines.size(), 1 + threadCount * linesPerThread + 1);
    QVERIFY(lines.first().startsWith("------------------- Log file started at "));
    QVERIFY(lines.last().isEmpty());

    const QRegularExpression pattern(QStringLiteral(
            "^MAJOR MSG     \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d Worker/(\\d) : worker (\\d) line (\\d+)$"));
    int next[threadCount] = {};
    for (int i = 1; i <= threadCount * linesPerThread; ++i) {
        const QString line = QString::fromLatin1(lines.at(i));
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch())
            QFAIL(qPrintable(QStringLiteral("line %1 damaged: %2").arg(i).arg(line)));
        const int module = match.captured(1).toInt();
        const int worker = match.captured(2).toInt();
        QCOMPARE(module, worker);
        QVERIFY(worker >= 0 && worker < threadCount);
        QCOMPARE(match.captured(3).toInt(), next[worker]);
        ++next[worker];
    }
    for (int t = 0; t < threadCount; ++t)
        QCOMPARE(next[t], linesPerThread);
}

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    isolateHome(home.path());
    QCoreApplication app(argc, argv);
    TestLogSystemThreads test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logsystemthreads.moc"
