#include "camsimprocess.h"

#include "testlan.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QThread>

CamsimProcess::CamsimProcess(QObject *parent)
    : QObject(parent)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &CamsimProcess::readOutput);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

CamsimProcess::~CamsimProcess()
{
    stop();
}

bool CamsimProcess::start(int cameraSide, const QStringList &arguments, int readyTimeoutMs)
{
    const QStringList namespaces = TestLan::cameraNamespaces();
    if (cameraSide < 0 || cameraSide >= namespaces.size()) {
        m_error = QStringLiteral("no camera namespace %1").arg(cameraSide);
        return false;
    }
    m_events.clear();
    m_pending.clear();
    QStringList args{QStringLiteral("netns"), QStringLiteral("exec"), namespaces.at(cameraSide),
                     TestLan::camsimPath(), QStringLiteral("--interface"), TestLan::cameraInterface()};
    args += arguments;
    m_process.start(QStringLiteral("ip"), args);
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("camsim did not start: %1").arg(m_process.errorString());
        return false;
    }
    const bool ready = waitUntil([this] {
        return count(QStringLiteral("ready")) > 0 || count(QStringLiteral("error")) > 0
            || m_process.state() == QProcess::NotRunning;
    }, readyTimeoutMs);
    if (!ready || count(QStringLiteral("ready")) == 0) {
        m_error = QStringLiteral("camsim not ready: %1 %2")
                      .arg(QString::fromLocal8Bit(m_process.readAllStandardError()),
                           events(QStringLiteral("error")).isEmpty()
                               ? QString()
                               : events(QStringLiteral("error")).first().value(QStringLiteral("message")).toString());
        stop();
        return false;
    }
    return true;
}

void CamsimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    readOutput();
}

QList<QJsonObject> CamsimProcess::events(const QString &name) const
{
    QList<QJsonObject> matching;
    for (const QJsonObject &event : m_events) {
        if (event.value(QStringLiteral("event")).toString() == name)
            matching.append(event);
    }
    return matching;
}

void CamsimProcess::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    int newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            m_events.append(doc.object());
    }
}

bool CamsimProcess::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
