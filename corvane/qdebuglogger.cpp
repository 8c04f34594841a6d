#include "qdebuglogger.h"

#include "filebasedlogger.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

QDebugLogger::QDebugLogger() = default;

QDebugLogger::~QDebugLogger() = default;

void QDebugLogger::moduleRegistered(QString name, int id)
{
    Q_UNUSED(name)
    Q_UNUSED(id)
}

void QDebugLogger::start()
{
}

void QDebugLogger::stop()
{
}

void QDebugLogger::log(int moduleId, LogSystem::LogLevel level, QString message)
{
    const QStringList modules = getRegisteredModules();
    const QString module = moduleId >= 0 && moduleId < modules.size() ? modules.at(moduleId) : QString();
    const QString line = FileBasedLogger::formatLine(level, FileBasedLogger::currentTimeText(), module, message);
    // Same Latin-1 text as the file loggers write.
    qDebug().noquote() << QString::fromLatin1(line.toLatin1());
}

QString QDebugLogger::getLogPath()
{
    const QString folder = QStringLiteral("%1/Tolvik/Log/Brightfold_Suite")
            .arg(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return QDir(folder).absolutePath() + QLatin1Char('/');
}

QString QDebugLogger::getCrashRecordFile()
{
    return getLogPath() + QStringLiteral("/crash");
}
