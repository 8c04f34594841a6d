#ifndef DESKTOPSTUB_H
#define DESKTOPSTUB_H

#include "jsonlinesprocess.h"

#include <QString>

// The x-desktop-stub program on a test's X server (see xdesktopstub.cpp): what
// the windows ask of a window manager, and with a tray a system tray host
// that docks the icons. Start the tray later than the program to play a
// tray host that comes up after it; stop() takes the tray away again.
class DesktopStub : public JsonLinesProcess
{
    Q_OBJECT
    Q_DISABLE_COPY(DesktopStub)

public:
    explicit DesktopStub(QObject *parent = nullptr);

    // Empty when the stub was built (it needs Xlib); otherwise why not.
    static QString unavailableReason();

    // Starts on the display and waits until it listens. False with
    // errorText() when it did not come up (say, another tray owns the screen).
    bool start(const QString &display, bool tray, int readyTimeoutMs = 15000);
    QString errorText() const { return m_error; }

    // Window ids as XvfbServer gives them ("0x..." in lower case).
    bool iconifyRequested(const QString &windowId) const;
    // Whether the window's first mapping asked for the minimised state.
    bool mappedIconic(const QString &windowId) const;
    int dockCount() const { return count(QStringLiteral("dock")); }

private:
    QString m_error;
};

#endif // DESKTOPSTUB_H
