#include "dpiscaler.h"

#include "applog.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

DpiScaler::DpiScaler(double scale)
    : m_scale(scale)
{
}

double DpiScaler::desktopScale()
{
    return QApplication::desktop()->logicalDpiX() / 96.0;
}

int DpiScaler::scaled(int value) const
{
    return int(std::trunc(value * m_scale));
}

QRect DpiScaler::scaled(const QRect &rect) const
{
    return QRect(scaled(rect.x()), scaled(rect.y()), scaled(rect.width()), scaled(rect.height()));
}

QSize DpiScaler::scaled(const QSize &size) const
{
    return QSize(scaled(size.width()), scaled(size.height()));
}

void DpiScaler::scaleChildren(QWidget *root) const
{
    const QList<QWidget *> children = root->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child->isWindow())
            continue;
        child->setGeometry(scaled(child->geometry()));
        if (qobject_cast<QGroupBox *>(child))
            scaleChildren(child);
    }
}

double DpiScaler::scaleFixedForm(QWidget *window, const QSize &designSize)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->geometry();
        appLog(LogSystem::LogMajorMsg, "Screen size %dx%d", geometry.width(), geometry.height());
    }
    const DpiScaler scaler(desktopScale());
    window->setFixedSize(scaler.scaled(designSize));
    scaler.scaleChildren(window);
    return scaler.scale();
}
