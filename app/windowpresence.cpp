#include "windowpresence.h"

#include "applog.h"
#include "firstframegate.h"
#include "searchmanager.h"
#include "segmentpoll.h"
#include "traymenu.h"

#include <QCoreApplication>
#include <QIcon>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

namespace {

int trayWaitMs()
{
    bool ok = false;
    const int shortened = qEnvironmentVariableIntValue("PATHMERE_TRAY_WAIT_MS", &ok);
    return ok && shortened >= 0 && shortened < WindowPresence::TrayWaitMs ? shortened : WindowPresence::TrayWaitMs;
}

} // namespace

WindowPresence::WindowPresence(QWidget *window, SearchManager *searchManager, const QString &sessionKey,
                               QObject *parent)
    : QObject(parent)
    , window(window)
    , searchManager(searchManager)
    , trayMenu(new TrayMenu(this))
    , segmentPoll(new SegmentPoll(sessionKey, this))
    , firstFrame(new FirstFrameGate(window, this))
{
    // Loading and scaling the image is nothing the first frame shows.
    firstFrame->add([window] { window->setWindowIcon(QIcon(QStringLiteral(":/Pathmere.png"))); });
    firstFrame->add([this] { trayMenu->start(); });
    // With a tray, its "Exit" is the way out; without one, this is.
    auto *quitShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q), window);
    quitShortcut->setContext(Qt::WindowShortcut);
    connect(quitShortcut, &QShortcut::activated, this, [this] {
        if (!trayMenu->hasTray())
            quit();
    });
}

WindowPresence::~WindowPresence()
{
    // The icon goes before the window it stands for.
    delete trayMenu;
}

void WindowPresence::afterFirstFrame(std::function<void()> work)
{
    firstFrame->add(std::move(work));
}

void WindowPresence::start(bool hidden)
{
    searchManager->setMonitoring(!hidden);
    if (!hidden) {
        announceShown();
        return;
    }
    // No frame is coming before the user asks for one.
    firstFrame->release();
    QTimer::singleShot(trayWaitMs(), this, &WindowPresence::showMinimizedWithoutTray);
}

void WindowPresence::showMinimizedWithoutTray()
{
    // Shown in the meantime ("Show_Normal_UI"), or reachable through the tray.
    if (window->isVisible() || trayMenu->hasTray())
        return;
    appLog(LogSystem::LogMajorMsg, "No system tray, show minimized.");
    // On the task bar the window is as good as shown: its adapter list must
    // keep up. The daily update check still waits for a real showing.
    searchManager->setMonitoring(true);
    window->showMinimized();
}

void WindowPresence::announceShown()
{
    const bool first = firstShowPending;
    firstShowPending = false;
    firstFrame->add([this, first] { emit shown(first); });
}

void WindowPresence::showNormal()
{
    searchManager->setMonitoring(true);
    window->showNormal();
    announceShown();
}

void WindowPresence::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        showNormal();
}

void WindowPresence::closeRequested()
{
    if (!trayMenu->hasTray()) {
        // A hidden window could not be brought back, and it serves the web
        // page; it goes to the task bar like any minimised window.
        window->showMinimized();
        return;
    }
    searchManager->setMonitoring(false);
    window->hide();
}

void WindowPresence::quit()
{
    trayMenu->hideIcon();
    QCoreApplication::quit();
}

void WindowPresence::takeSegmentCommand()
{
    switch (segmentPoll->takeCommand()) {
    case SegmentPoll::ShowWindow:
        searchManager->setMonitoring(true);
        window->show();
        break;
    case SegmentPoll::CloseProgram:
        quit();
        break;
    case SegmentPoll::NoCommand:
        break;
    }
}
