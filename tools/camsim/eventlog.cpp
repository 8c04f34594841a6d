#include "eventlog.h"

#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>

EventLog::EventLog()
{
    m_clock.start();
}

double EventLog::elapsedMs() const
{
    return static_cast<double>(m_clock.nsecsElapsed() / 1000) / 1000.0;
}

void EventLog::write(const QString &event, QJsonObject fields) const
{
    fields.insert(QStringLiteral("event"), event);
    fields.insert(QStringLiteral("t"), elapsedMs());
    fields.insert(QStringLiteral("wall"), static_cast<double>(QDateTime::currentMSecsSinceEpoch()));
    const QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}
