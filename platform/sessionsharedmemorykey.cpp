#include "sessionsharedmemorykey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSharedMemory>

#include <QFile>

#include <sys/ipc.h>
#include <sys/sem.h>
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

QString SessionSharedMemoryKey::segmentKeyFile(const QString &key)
{
    return keyFile(QStringLiteral("qipc_sharedmemory_"), key);
}

QString SessionSharedMemoryKey::semaphoreKeyFile(const QString &key)
{
    return keyFile(QStringLiteral("qipc_systemsem_"), key);
}

QString SessionSharedMemoryKey::keyFile(const QString &prefix, const QString &key)
{
    QString result = prefix;
    for (const QChar ch : key) {
        if ((ch >= QLatin1Char('a') && ch <= QLatin1Char('z')) || (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z')))
            result += ch;
    }
    result += QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
    return QDir::tempPath() + QLatin1Char('/') + result;
}

void SessionSharedMemoryKey::removeStaleSegment(const QString &key)
{
    QSharedMemory probe(key);
    if (!probe.attach(QSharedMemory::ReadOnly))
        return;
    probe.detach();
    if (QFile::exists(segmentKeyFile(key)))
        return; // somebody else is attached: a live instance

    // The segment's last user was killed, so was the owner of its lock: the
    // lock's semaphore and key file would stay behind for good. create()
    // makes a fresh one.
    const QByteArray semaphoreFile = QFile::encodeName(semaphoreKeyFile(key));
    const key_t semaphoreKey = ftok(semaphoreFile.constData(), 'Q');
    if (semaphoreKey != -1) {
        const int semaphore = semget(semaphoreKey, 1, 0);
        if (semaphore != -1)
            semctl(semaphore, 0, IPC_RMID);
    }
    QFile::remove(QFile::decodeName(semaphoreFile));
}
