#include "desktopstub.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QtTest>

namespace {

QString stubPath()
{
    // Built beside the test executables.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/x-desktop-stub");
}

} // namespace

DesktopStub::DesktopStub(QObject *parent)
    : JsonLinesProcess(parent)
{
    keepErrorOutput();
}

QString DesktopStub::unavailableReason()
{
    if (!QFileInfo(stubPath()).isExecutable())
        return QStringLiteral("x-desktop-stub was not built (it needs Xlib, package libx11-dev)");
    return QString();
}

bool DesktopStub::start(const QString &display, bool tray, int readyTimeoutMs)
{
    m_error = unavailableReason();
    if (!m_error.isEmpty())
        return false;
    reset();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    process().setProcessEnvironment(env);
    process().start(stubPath(), tray ? QStringList { QStringLiteral("--tray") } : QStringList());
    if (!process().waitForStarted(5000)) {
        m_error = QStringLiteral("x-desktop-stub did not start: ") + process().errorString();
        return false;
    }
    const bool settled = QTest::qWaitFor([this] {
        return count(QStringLiteral("ready")) > 0 || count(QStringLiteral("error")) > 0 || !isRunning();
    }, readyTimeoutMs);
    if (!settled || count(QStringLiteral("ready")) == 0) {
        const QList<QJsonObject> errors = events(QStringLiteral("error"));
        m_error = QStringLiteral("x-desktop-stub not ready: %1 %2")
                      .arg(errorOutput(), errors.isEmpty() ? QString()
                                                          : errors.first().value(QStringLiteral("message")).toString());
        stop();
        return false;
    }
    return true;
}

bool DesktopStub::iconifyRequested(const QString &windowId) const
{
    return !events(QStringLiteral("iconify"), QStringLiteral("window"), windowId).isEmpty();
}

bool DesktopStub::mappedIconic(const QString &windowId) const
{
    const QList<QJsonObject> maps = events(QStringLiteral("map"), QStringLiteral("window"), windowId);
    return !maps.isEmpty() && maps.first().value(QStringLiteral("iconic")).toBool();
}
