#include "firstframegate.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <QtTest>

#include <memory>

// What a window holds back until its first frame: nothing of it runs before
// the paint, all of it soon after, in order, and never twice.
class TestFirstFrameGate : public QObject
{
    Q_OBJECT

private slots:
    void heldUntilAfterFirstPaint();
    void laterWorkRunsAtOnce();
    void releaseRunsHeldWorkOnce();
    void unpaintedWindowReleasedAfterMaxWait();
    void gateGoneDropsWork();
};

namespace {

// Records whether the window had been painted when the work ran.
class PaintCounter : public QWidget
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

} // namespace

void TestFirstFrameGate::heldUntilAfterFirstPaint()
{
    PaintCounter window;
    window.resize(120, 80);
    FirstFrameGate gate(&window);
    QStringList ran;
    int paintsSeenByWork = -1;
    gate.add([&] {
        ran << QStringLiteral("first");
        paintsSeenByWork = window.paints;
    });
    gate.add([&] { ran << QStringLiteral("second"); });
    QSignalSpy opened(&gate, &FirstFrameGate::opened);

    // Events of a window not yet shown open nothing.
    QCoreApplication::processEvents();
    QVERIFY(ran.isEmpty());
    QVERIFY(!gate.isOpen());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(ran, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    QVERIFY(paintsSeenByWork >= 1);
    QCOMPARE(opened.count(), 1);

    // Later paints run nothing again.
    window.update();
    QTest::qWait(50);
    QCOMPARE(ran.size(), 2);
    QCOMPARE(opened.count(), 1);
}

void TestFirstFrameGate::laterWorkRunsAtOnce()
{
    QWidget window;
    FirstFrameGate gate(&window);
    gate.release();
    QVERIFY(gate.isOpen());
    bool ran = false;
    gate.add([&] { ran = true; });
    QVERIFY(ran);
}

void TestFirstFrameGate::releaseRunsHeldWorkOnce()
{
    QWidget window;
    FirstFrameGate gate(&window);
    QStringList ran;
    gate.add([&] {
        ran << QStringLiteral("outer");
        // Work that adds work: the gate is open by now.
        gate.add([&] { ran << QStringLiteral("inner"); });
    });
    gate.release();
    QCOMPARE(ran, (QStringList{QStringLiteral("outer"), QStringLiteral("inner")}));

    // A paint or the fallback afterwards runs nothing twice.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    gate.release();
    QCOMPARE(ran.size(), 2);
}

void TestFirstFrameGate::unpaintedWindowReleasedAfterMaxWait()
{
    // Never shown, so never painted: the work still runs, not much later
    // than the longest wait.
    QWidget window;
    QElapsedTimer clock;
    clock.start();
    FirstFrameGate gate(&window);
    qint64 ranAfter = -1;
    gate.add([&] { ranAfter = clock.elapsed(); });
    QTest::qWait(FirstFrameGate::MaxWaitMs / 2);
    QCOMPARE(ranAfter, qint64(-1));
    QTRY_VERIFY_WITH_TIMEOUT(ranAfter >= 0, FirstFrameGate::MaxWaitMs * 5);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(ranAfter >= FirstFrameGate::MaxWaitMs * 95 / 100, qPrintable(QString::number(ranAfter)));
}

void TestFirstFrameGate::gateGoneDropsWork()
{
    // A window closed before its first frame: the work of a gate that is
    // gone never runs (it would use parts that are gone too).
    auto window = std::make_unique<PaintCounter>();
    bool ran = false;
    {
        FirstFrameGate gate(window.get());
        gate.add([&] { ran = true; });
    }
    QTest::qWait(FirstFrameGate::MaxWaitMs + 200);
    QVERIFY(!ran);
    // The window shows and paints without the filter of a gate that is gone.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(window->paints >= 1);
    QVERIFY(!ran);
}

QTEST_MAIN(TestFirstFrameGate)
#include "tst_firstframegate.moc"
