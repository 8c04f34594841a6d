#ifndef XVFBSERVER_H
#define XVFBSERVER_H

#include <QPoint>
#include <QProcess>
#include <QSize>
#include <QString>

#include <sys/types.h>

// A private X server for tests that must see what a user sees: which
// top-level windows a process has mapped, whether one is modal, and sizes at
// a given DPI. -displayfd lets the server pick a free display, so parallel
// runs never collide; the server ends with the object.
class XvfbServer
{
public:
    XvfbServer();
    ~XvfbServer();

    // Empty when Xvfb is installed; otherwise why not (the test skips).
    static QString unavailableReason();

    bool start(int dpi = 96, const QString &screen = QStringLiteral("1280x1024x24"));
    // Why the last start() failed.
    QString errorText() const { return error; }
    QString display() const;

    struct Window {
        QString id;
        QString title;
        bool viewable = false;
        bool modal = false;
    };
    // Top-level windows of the process pid (by _NET_WM_PID).
    QList<Window> windows(pid_t pid) const;
    bool hasViewableWindow(pid_t pid, const QString &title) const;
    bool waitForViewableWindow(pid_t pid, const QString &title, int timeoutMs) const;
    // Size of a window as xwininfo reports it.
    QSize windowSize(const QString &id) const;
    // What the title bar's close button does: WM_DELETE_WINDOW to the window.
    // False when the test was built without Xlib.
    bool closeWindow(const QString &id) const;
    // Gives the window the input focus and types keys as xdotool names them
    // ("ctrl+q"). False when xdotool is missing or failed.
    bool typeKeys(const QString &id, const QString &keys) const;
    // A left click at a point of the window (window coordinates), through
    // the pointer: a window lying over that point takes it instead.
    bool click(const QString &id, const QPoint &at) const;
    // The viewable top-level window of the process with that title; empty
    // when there is none.
    QString viewableWindow(pid_t pid, const QString &title) const;

private:
    bool runXdotool(const QStringList &args) const;
    static QString runTool(const QString &program, const QStringList &args, const QString &display);

    QProcess server;
    QString displayName;
    QString error;
};

#endif // XVFBSERVER_H
