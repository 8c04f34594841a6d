#ifndef FIRSTFRAMEGATE_H
#define FIRSTFRAMEGATE_H

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

// Holds work the window's first frame does not need (servers, probes, the
// icon) until that frame has been painted, so a start shows the window as
// early as the form alone allows. The work runs from the event loop once the
// window's first paint is done, in the order it was added; work added after
// that runs at once.
//
// A window that is never painted (a start without showing it, a window
// minimised from the outset) must not hold the work back for good: release()
// lets it go at once, and without a paint it goes after MaxWaitMs anyway.
class FirstFrameGate : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FirstFrameGate)

public:
    static constexpr int MaxWaitMs = 1000;

    // window outlives this object (its child, as a rule).
    explicit FirstFrameGate(QWidget *window, QObject *parent = nullptr);

    void add(std::function<void()> work);
    // No frame worth waiting for: the work held so far runs now.
    void release();
    bool isOpen() const { return open; }

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // Once, after the held work has run.
    void opened();

private:
    QWidget *const window;
    QTimer fallback;
    std::vector<std::function<void()>> held;
    bool open = false;
    bool painted = false;
};

#endif // FIRSTFRAMEGATE_H
