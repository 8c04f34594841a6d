#include "keyringjob.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// One thread, so calls keep their order; owned by the application, whose
// end waits for the (cancelled) calls still running.
QThreadPool *keyringPool()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
    }
    return pool;
}

} // namespace

KeyringJob::KeyringJob(const Call &call, QObject *parent)
    : QObject(parent)
    , m_cancel(std::make_shared<CredentialKeyring::Cancellation>())
{
    qRegisterMetaType<CredentialKeyring::Result>();
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &KeyringJob::callFinishedFunc);
    const std::shared_ptr<CredentialKeyring::Cancellation> cancel = m_cancel;
    m_watcher.setFuture(QtConcurrent::run(keyringPool(), [call, cancel] { return call(cancel.get()); }));
}

KeyringJob::~KeyringJob()
{
    m_cancel->cancel();
}

void KeyringJob::callFinishedFunc()
{
    m_result = m_watcher.result();
    m_done = true;
    emit finished(m_result);
}

KeyringJob *KeyringJob::lookup(const CredentialScope &camera, const CredentialScope &site,
                               CredentialKeyring::Unlock unlock, QObject *parent)
{
    return new KeyringJob(
        [camera, site, unlock](const CredentialKeyring::Cancellation *cancel) {
            return CredentialKeyring::lookup(camera, site, unlock, cancel);
        },
        parent);
}

KeyringJob *KeyringJob::store(const CredentialScope &scope, const QString &userId, const QString &password,
                              QObject *parent)
{
    return new KeyringJob(
        [scope, userId, password](const CredentialKeyring::Cancellation *cancel) {
            return CredentialKeyring::store(scope, userId, password, cancel);
        },
        parent);
}

KeyringJob *KeyringJob::forget(const CredentialScope &scope, QObject *parent)
{
    return new KeyringJob(
        [scope](const CredentialKeyring::Cancellation *cancel) { return CredentialKeyring::forget(scope, cancel); },
        parent);
}

KeyringJob *KeyringJob::forgetAll(QObject *parent)
{
    return new KeyringJob(
        [](const CredentialKeyring::Cancellation *cancel) { return CredentialKeyring::forgetAll(cancel); }, parent);
}
