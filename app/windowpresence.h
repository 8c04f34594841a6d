#ifndef WINDOWPRESENCE_H
#define WINDOWPRESENCE_H

#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

class FirstFrameGate;
class QWidget;
class SearchManager;
class SegmentPoll;
class TrayMenu;

// Whether and how the main window can be seen: the tray and its menu, the
// session segment's commands from a second start, the wait for a tray after
// a hidden start, and the search coordinator's monitoring of the adapters,
// which runs only while the window can be seen.
//
// Without a tray the window must stay reachable: closing minimises it, Ctrl+Q
// quits, and a hidden start shows it minimised once the tray has had time to
// come up (autostart runs at login, often before the tray host).
//
// The window's first frame goes before everything it does not need: the
// icons (the window's, the tray's), the work given to afterFirstFrame() and the announcement that the
// window is shown (the day's update check hangs on it) wait until it is
// painted, or not at all when the window starts hidden (FirstFrameGate).
class WindowPresence : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(WindowPresence)

public:
    // How long a start with "-hide" waits for a tray before it shows the
    // window minimised. PATHMERE_TRAY_WAIT_MS may shorten it (tests).
    static constexpr int TrayWaitMs = 5000;

    // window and searchManager outlive this object.
    WindowPresence(QWidget *window, SearchManager *searchManager, const QString &sessionKey,
                   QObject *parent = nullptr);
    ~WindowPresence() override;

    TrayMenu *tray() const { return trayMenu; }
    SegmentPoll *segment() const { return segmentPoll; }

    void start(bool hidden);
    // Runs work once the window's first frame is painted (at once after it).
    void afterFirstFrame(std::function<void()> work);
    void showNormal();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    // The window was asked to close (its close button, the window manager).
    void closeRequested();
    void quit();
    // The command a second start left in the segment, if any, obeyed.
    void takeSegmentCommand();

signals:
    // Every showing but the segment's "Show_Normal_UI"; first tells the
    // first one of the run.
    void shown(bool first);

private:
    void showMinimizedWithoutTray();
    void announceShown();

    QWidget *const window;
    SearchManager *const searchManager;
    TrayMenu *trayMenu = nullptr;
    SegmentPoll *segmentPoll = nullptr;
    FirstFrameGate *firstFrame = nullptr;
    bool firstShowPending = true;
};

#endif // WINDOWPRESENCE_H
