#include "firstframegate.h"

#include <QEvent>
#include <QWidget>

FirstFrameGate::FirstFrameGate(QWidget *window, QObject *parent)
    : QObject(parent)
    , window(window)
{
    window->installEventFilter(this);
    fallback.setSingleShot(true);
    fallback.setInterval(MaxWaitMs);
    connect(&fallback, &QTimer::timeout, this, &FirstFrameGate::release);
    fallback.start();
}

void FirstFrameGate::add(std::function<void()> work)
{
    if (open)
        work();
    else
        held.push_back(std::move(work));
}

void FirstFrameGate::release()
{
    if (open)
        return;
    open = true;
    fallback.stop();
    window->removeEventFilter(this);
    // Work may add work; what it adds runs at once, the gate being open.
    const std::vector<std::function<void()>> work = std::move(held);
    held.clear();
    for (const std::function<void()> &item : work)
        item();
    emit opened();
}

bool FirstFrameGate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && event->type() == QEvent::Paint && !painted) {
        painted = true;
        // The paint is still being handled here and its pixels reach the
        // screen when it returns: the work goes on the next turn of the loop.
        QTimer::singleShot(0, this, &FirstFrameGate::release);
    }
    return QObject::eventFilter(watched, event);
}
