#include "dpiscaler.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QGroupBox>
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
