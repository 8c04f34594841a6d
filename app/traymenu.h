#ifndef TRAYMENU_H
#define TRAYMENU_H

#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

class QAction;
class QMenu;
class QTimer;

// The tray icon and its menu: show the window, launch on startup (the
// autostart entry, written by the Hallbridge helper) and exit. The menu's
// parent is the desktop widget, so it outlives the window; this object
// deletes it.
//
// Many desktops show no tray at all, and at login the tray host may come up
// after the program: while there is none, a cheap timer looks for one and
// the icon is made as soon as it appears.
class TrayMenu : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TrayMenu)

public:
    // How often a missing tray is looked for. Each look is one round trip
    // to the display server; the timer stops once the icon exists.
    static constexpr int TrayPollMs = 2000;

    explicit TrayMenu(QObject *parent = nullptr);
    ~TrayMenu() override;

    // Looks for the tray and makes the icon, or starts looking for one.
    // Apart from the constructor: the look is a round trip to the display
    // server that a window's first frame need not wait for.
    void start();

    QMenu *menu() const { return m_menu; }
    QAction *autostartAction() const { return m_autostart; }

    // Whether a tray shows the icon now, so a hidden window can be brought
    // back through it. Looks once more first: a tray that appeared since the
    // last poll counts, and one that went away does not.
    bool hasTray();

    // The check mark follows the autostart entry as it is now.
    void refreshAutostart();
    // Writes or removes the entry as the check mark says.
    void applyAutostart();
    // An activation of the icon, as the tray reports it.
    void activate(QSystemTrayIcon::ActivationReason reason);
    void hideIcon();
    // A second line of the icon's tool tip under "Pathmere" (empty: none),
    // for news nobody asked for, such as a failed check of the day.
    void setStatusLine(const QString &line);
    QString toolTip() const;

    // Replaces the question "is there a system tray?" for the whole process;
    // an empty function restores the platform's answer. For tests on
    // platforms that never have a tray (offscreen).
    static void setAvailabilityProbe(std::function<bool()> probe);

signals:
    void showRequested();
    void exitRequested();
    void activated(QSystemTrayIcon::ActivationReason reason);

private:
    static bool trayAvailable();
    // A tray that was missing at start is looked for again.
    void lookForTray();
    void createIcon();

    QMenu *m_menu = nullptr;
    QAction *m_show = nullptr;
    QAction *m_autostart = nullptr;
    QAction *m_exit = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
    QTimer *m_trayPoll = nullptr;
    QString m_statusLine;
};

#endif // TRAYMENU_H
