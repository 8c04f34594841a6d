#include "sessionsharedmemorykey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

QString SessionSharedMemoryKey::forCurrentSession(const QString &name)
{
    return compose(name, qgetenv("XDG_SESSION_ID"), static_cast<uint>(getuid()));
}

QString SessionSharedMemoryKey::compose(const QString &name, const QByteArray &sessionId, uint userId)
{
    if (!sessionId.isEmpty())
        return name + QStringLiteral("/session-") + QString::fromUtf8(sessionId);
    return name + QStringLiteral("/user-") + QString::number(userId);
}

QString SessionSharedMemoryKey::keyFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return QDir::cleanPath(runtime);
    return QDir::tempPath();
}

QString SessionSharedMemoryKey::segmentKeyFile(const QString &key, const QString &folder)
{
    return keyFile(QStringLiteral("qipc_sharedmemory_"), key, folder);
}

QString SessionSharedMemoryKey::semaphoreKeyFile(const QString &key, const QString &folder)
{
    return keyFile(QStringLiteral("qipc_systemsem_"), key, folder);
}

QString SessionSharedMemoryKey::keyFile(const QString &prefix, const QString &key, const QString &folder)
{
    QString result = prefix;
    for (const QChar ch : key) {
        if ((ch >= QLatin1Char('a') && ch <= QLatin1Char('z')) || (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z')))
            result += ch;
    }
    result += QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
    return folder + QLatin1Char('/') + result;
}
