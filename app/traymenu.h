#ifndef TRAYMENU_H
#define TRAYMENU_H

#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

// The tray icon and its menu: show the window, launch on startup (the
// autostart entry, written by the Hallbridge helper) and exit. The menu's
// parent is the desktop widget, so it outlives the window; this object
// deletes it.
class TrayMenu : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TrayMenu)

public:
    explicit TrayMenu(QObject *parent = nullptr);
    ~TrayMenu() override;

    QMenu *menu() const { return m_menu; }
    QAction *autostartAction() const { return m_autostart; }

    // The check mark follows the autostart entry as it is now.
    void refreshAutostart();
    // Writes or removes the entry as the check mark says.
    void applyAutostart();
    // An activation of the icon, as the tray reports it.
    void activate(QSystemTrayIcon::ActivationReason reason);
    void hideIcon();

signals:
    void showRequested();
    void exitRequested();
    void autostartToggled(bool checked);
    void aboutToShow();
    void activated(QSystemTrayIcon::ActivationReason reason);

private:
    QMenu *m_menu = nullptr;
    QAction *m_show = nullptr;
    QAction *m_autostart = nullptr;
    QAction *m_exit = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
};

#endif // TRAYMENU_H
