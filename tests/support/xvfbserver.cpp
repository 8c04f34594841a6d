#include "xvfbserver.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#ifdef PATHMERE_TEST_HAVE_XLIB
#include <X11/Xlib.h>
#endif

XvfbServer::XvfbServer() = default;

XvfbServer::~XvfbServer()
{
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished(5000);
        }
    }
}

QString XvfbServer::unavailableReason()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return QStringLiteral("Xvfb is not installed (package xvfb)");
    return QString();
}

bool XvfbServer::start(int dpi, const QString &screen)
{
    error = unavailableReason();
    if (!error.isEmpty())
        return false;
    // -displayfd: the server picks a free display and prints its number.
    // -noreset: the last client leaving (a probe, xwininfo) must not reset it.
    server.start(QStringLiteral("Xvfb"), { QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-screen"), QStringLiteral("0"), screen,
                                            QStringLiteral("-dpi"), QString::number(dpi),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset") });
    if (!server.waitForStarted(10000)) {
        error = QStringLiteral("Xvfb did not start: ") + server.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    QByteArray text;
    while (!text.contains('\n')) {
        if (deadline.hasExpired() || server.state() == QProcess::NotRunning) {
            error = QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(server.readAllStandardError());
            return false;
        }
        server.waitForReadyRead(200);
        text += server.readAllStandardOutput();
    }
    displayName = QLatin1Char(':') + QString::fromLatin1(text.trimmed());
    return true;
}

QString XvfbServer::display() const
{
    return displayName;
}

QString XvfbServer::runTool(const QString &program, const QStringList &args, const QString &display)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(program, args);
    if (!tool.waitForFinished(10000))
        return QString();
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

QList<XvfbServer::Window> XvfbServer::windows(pid_t pid) const
{
    QList<Window> result;
    const QString tree = runTool(QStringLiteral("xwininfo"), { QStringLiteral("-root"), QStringLiteral("-children") }, displayName);
    static const QRegularExpression child(QStringLiteral("^\\s+(0x[0-9a-f]+) \"(.*)\":"), QRegularExpression::MultilineOption);
    auto match = child.globalMatch(tree);
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        const QString id = m.captured(1);
        const QString props = runTool(QStringLiteral("xprop"), { QStringLiteral("-id"), id, QStringLiteral("_NET_WM_PID"), QStringLiteral("_NET_WM_STATE") }, displayName);
        if (!props.contains(QStringLiteral("_NET_WM_PID(CARDINAL) = %1\n").arg(pid)))
            continue;
        Window window;
        window.id = id;
        window.title = m.captured(2);
        window.modal = props.contains(QStringLiteral("_NET_WM_STATE_MODAL"));
        const QString info = runTool(QStringLiteral("xwininfo"), { QStringLiteral("-id"), id }, displayName);
        window.viewable = info.contains(QStringLiteral("Map State: IsViewable"));
        result.append(window);
    }
    return result;
}

bool XvfbServer::hasViewableWindow(pid_t pid, const QString &title) const
{
    return !viewableWindow(pid, title).isEmpty();
}

QString XvfbServer::viewableWindow(pid_t pid, const QString &title) const
{
    for (const Window &window : windows(pid)) {
        if (window.viewable && window.title == title)
            return window.id;
    }
    return QString();
}

bool XvfbServer::waitForViewableWindow(pid_t pid, const QString &title, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return hasViewableWindow(pid, title); }, timeoutMs);
}

QSize XvfbServer::windowSize(const QString &id) const
{
    const QString info = runTool(QStringLiteral("xwininfo"), { QStringLiteral("-id"), id }, displayName);
    static const QRegularExpression width(QStringLiteral("Width: (\\d+)"));
    static const QRegularExpression height(QStringLiteral("Height: (\\d+)"));
    return QSize(width.match(info).captured(1).toInt(), height.match(info).captured(1).toInt());
}

bool XvfbServer::closeWindow(const QString &id) const
{
#ifdef PATHMERE_TEST_HAVE_XLIB
    Display *connection = XOpenDisplay(displayName.toLocal8Bit().constData());
    if (!connection)
        return false;
    bool ok = false;
    const ::Window window = static_cast<::Window>(id.toULong(&ok, 16));
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(connection, window, False, NoEventMask, &event);
    XFlush(connection);
    XCloseDisplay(connection);
    return ok && sent != 0;
#else
    Q_UNUSED(id)
    return false;
#endif
}

bool XvfbServer::runXdotool(const QStringList &args) const
{
    QProcess xdotool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), displayName);
    xdotool.setProcessEnvironment(env);
    xdotool.start(QStringLiteral("xdotool"), args);
    return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

bool XvfbServer::typeKeys(const QString &id, const QString &keys) const
{
    return runXdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), id, QStringLiteral("key"), keys });
}

bool XvfbServer::click(const QString &id, const QPoint &at) const
{
    // Through the X server's pointer, as a person's click arrives: whatever
    // window lies on top at that point gets it.
    return runXdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), id, QString::number(at.x()),
                        QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1") });
}
