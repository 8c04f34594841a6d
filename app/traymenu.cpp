#include "traymenu.h"

#include "applog.h"
#include "autostartentry.h"

#include <QAction>
#include <QApplication>
#include <QDesktopWidget>
#include <QIcon>
#include <QMenu>
#include <QTimer>

namespace {

std::function<bool()> &availabilityProbe()
{
    static std::function<bool()> probe;
    return probe;
}

} // namespace

TrayMenu::TrayMenu(QObject *parent)
    : QObject(parent)
{
    m_show = new QAction(tr("Pathmere"), this);
    m_autostart = new QAction(tr("Launch on startup"), this);
    m_autostart->setCheckable(true);
    m_autostart->setChecked(AutostartEntry().isEnabled());
    m_exit = new QAction(tr("Exit"), this);
    connect(m_show, &QAction::triggered, this, &TrayMenu::showRequested);
    connect(m_exit, &QAction::triggered, this, &TrayMenu::exitRequested);
    connect(m_autostart, &QAction::triggered, this, &TrayMenu::applyAutostart);

    m_menu = new QMenu(QApplication::desktop());
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_menu->addAction(m_show);
    m_menu->addAction(m_autostart);
    m_menu->addSeparator();
    m_menu->addAction(m_exit);
    // The check mark shows the entry as it is each time the menu opens.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayMenu::refreshAutostart);

    m_trayPoll = new QTimer(this);
    m_trayPoll->setInterval(TrayPollMs);
    // Nobody waits on the exact moment; let the system batch the wake-ups.
    m_trayPoll->setTimerType(Qt::VeryCoarseTimer);
    connect(m_trayPoll, &QTimer::timeout, this, &TrayMenu::lookForTray);
}

void TrayMenu::start()
{
    if (m_icon || m_trayPoll->isActive())
        return;
    if (trayAvailable()) {
        createIcon();
    } else {
        appLog(LogSystem::LogMajorMsg, "No system tray yet, looking for one.");
        m_trayPoll->start();
    }
}

TrayMenu::~TrayMenu()
{
    disconnect(m_menu, nullptr, this, nullptr);
    delete m_menu;
}

void TrayMenu::setAvailabilityProbe(std::function<bool()> probe)
{
    availabilityProbe() = std::move(probe);
}

bool TrayMenu::trayAvailable()
{
    const std::function<bool()> &probe = availabilityProbe();
    return probe ? probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayMenu::lookForTray()
{
    if (m_icon || !trayAvailable())
        return;
    appLog(LogSystem::LogMajorMsg, "System tray found.");
    createIcon();
}

void TrayMenu::createIcon()
{
    m_trayPoll->stop();
    m_icon = new QSystemTrayIcon(this);
    m_icon->setIcon(QIcon(QStringLiteral(":/resource/sys_tray.png")));
    m_icon->setToolTip(toolTip());
    m_icon->setContextMenu(m_menu);
    m_icon->setVisible(true);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayMenu::activate);
}

bool TrayMenu::hasTray()
{
    if (!m_icon) {
        lookForTray();
        return m_icon != nullptr;
    }
    return trayAvailable();
}

void TrayMenu::refreshAutostart()
{
    m_autostart->setChecked(AutostartEntry().isEnabled());
}

void TrayMenu::applyAutostart()
{
    // The action's state decides, not the signal's argument.
    AutostartEntry::startHelper(m_autostart->isChecked());
}

void TrayMenu::activate(QSystemTrayIcon::ActivationReason reason)
{
    emit activated(reason);
}

QString TrayMenu::toolTip() const
{
    return m_statusLine.isEmpty() ? QStringLiteral("Pathmere") : QStringLiteral("Pathmere\n") + m_statusLine;
}

void TrayMenu::setStatusLine(const QString &line)
{
    m_statusLine = line;
    if (m_icon)
        m_icon->setToolTip(toolTip());
}

void TrayMenu::hideIcon()
{
    if (m_icon)
        m_icon->hide();
}
