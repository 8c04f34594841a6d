// The sweep's progress line: its text at several widths, and that it is
// drawn on a terminal only (a pipe or file never sees it).
#include "sweepprogressbar.h"

#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

SweepProgress midway()
{
    SweepProgress progress(SweepPlan(1000, 1000, 2000));   // 4 s of sending, 2 s of listening
    progress.datagramsSent = 1200;
    progress.elapsedMs = 1200;
    progress.cameras = 7;
    return progress;
}

QByteArray drain(int fd)
{
    QByteArray all;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        all.append(buffer, int(n));
    }
    return all;
}

} // namespace

class TestSweepProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void lineFitsTheWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("wide") << 100
            << "[########...................................]   20%  600/2000 probes  pass 1/2  7 cameras  5 s left";
        QTest::newRow("no room for the bar") << 60 << " 20%  600/2000 probes  pass 1/2  7 cameras  5 s left";
        QTest::newRow("no room for the probes") << 45 << " 20%  pass 1/2  7 cameras  5 s left";
        QTest::newRow("cut at the edge") << 12 << " 20%  pass ";
    }

    void lineFitsTheWidth()
    {
        QFETCH(int, width);
        const QString text = SweepProgressBar::line(midway(), width);
        QTEST(text, "expected");
        QVERIFY(text.size() < width);
    }

    void lineAtTheEnd()
    {
        SweepProgress done = midway();
        done.datagramsSent = 4000;
        done.cameras = 1;
        done.finished = true;
        QCOMPARE(SweepProgressBar::line(done, 60), QStringLiteral("100%  2000/2000 probes  pass 2/2  1 camera  0 ms left"));
    }

    void drawsOnATerminalOnly()
    {
        int pipeEnds[2];
        QVERIFY(::pipe2(pipeEnds, O_NONBLOCK) == 0);
        SweepProgressBar onPipe(pipeEnds[1]);
        QVERIFY(!onPipe.isEnabled());
        onPipe.show(midway());
        onPipe.finish();
        QVERIFY(drain(pipeEnds[0]).isEmpty());
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);

        int master = -1;
        int terminal = -1;
        if (::openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0)
            QSKIP("no pseudo-terminal to be had here");
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        SweepProgressBar onTerminal(terminal);
        QVERIFY(onTerminal.isEnabled());
        onTerminal.finish();   // nothing drawn yet: nothing to end
        onTerminal.show(midway());
        onTerminal.show(midway());
        onTerminal.finish();
        QTest::qWait(20);
        const QByteArray written = drain(master);
        QCOMPARE(written.count('\r'), 2 + 1);   // the terminal turns the final "\n" into "\r\n"
        QCOMPARE(written.count("\x1b[K"), 2);
        QVERIFY(written.contains("7 cameras"));
        QVERIFY(written.endsWith('\n'));
        ::close(master);
        ::close(terminal);
    }
};

QTEST_GUILESS_MAIN(TestSweepProgressBar)
#include "tst_sweepprogressbar.moc"
