#ifndef XVFBSERVER_H
#define XVFBSERVER_H

#include <QProcess>
#include <QSize>
#include <QString>

#include <sys/types.h>

// A private X server for tests that must see what a user sees: which
// top-level windows a process has mapped, and whether one is modal.
class XvfbServer
{
public:
    XvfbServer();
    ~XvfbServer();

    bool start();
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

private:
    static QString runTool(const QString &program, const QStringList &args, const QString &display);

    QProcess server;
    QString displayName;
};

#endif // XVFBSERVER_H
