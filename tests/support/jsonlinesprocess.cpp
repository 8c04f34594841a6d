#include "jsonlinesprocess.h"

#include <QJsonDocument>

JsonLinesProcess::JsonLinesProcess(QObject *parent)
    : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &JsonLinesProcess::readOutput);
}

JsonLinesProcess::~JsonLinesProcess()
{
    stop(5000);
}

void JsonLinesProcess::keepErrorOutput()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] {
        m_stderr += QString::fromUtf8(m_process.readAllStandardError());
    }, Qt::UniqueConnection);
}

void JsonLinesProcess::reset()
{
    m_events.clear();
    m_pending.clear();
    m_stderr.clear();
}

void JsonLinesProcess::stop(int graceMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(graceMs)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    readOutput();
}

QList<QJsonObject> JsonLinesProcess::events(const QString &name, const QString &key, const QString &value) const
{
    QList<QJsonObject> matching;
    for (const QJsonObject &event : m_events) {
        if (event.value(QStringLiteral("event")).toString() != name)
            continue;
        if (!key.isEmpty() && event.value(key).toString() != value)
            continue;
        matching.append(event);
    }
    return matching;
}

void JsonLinesProcess::readOutput()
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
    if (m_pending.size() > MaxLineBytes) {
        qWarning("%s: dropped %d bytes without a line end", qPrintable(m_process.program()), int(m_pending.size()));
        m_pending.clear();
    }
}
