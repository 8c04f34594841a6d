#ifndef KEYRINGJOB_H
#define KEYRINGJOB_H

#include "credentialkeyring.h"

#include <QFutureWatcher>
#include <QMetaType>
#include <QObject>

#include <functional>
#include <memory>

// One keyring call off the GUI thread, ending in one finished(result) on
// the thread that made the job. The calls run one after another in the
// order they were made (a store, then a lookup, sees the stored login).
//
// A worker thread rather than libsecret's asynchronous calls: those answer
// on GLib's main context, which Qt turns only while its GLib event
// dispatcher is in use (Debian's default, but QT_NO_GLIB=1 switches it off,
// and every call would then hang without a word). A thread works under
// either dispatcher. Deleting the job cancels its call; finished is then
// never emitted.
class KeyringJob : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KeyringJob)

public:
    static KeyringJob *lookup(const CredentialScope &camera, const CredentialScope &site,
                              CredentialKeyring::Unlock unlock, QObject *parent);
    static KeyringJob *store(const CredentialScope &scope, const QString &userId, const QString &password,
                             QObject *parent);
    static KeyringJob *forget(const CredentialScope &scope, QObject *parent);
    static KeyringJob *forgetAll(QObject *parent);
    ~KeyringJob() override;

    bool isFinished() const { return m_done; }
    CredentialKeyring::Result result() const { return m_result; }

signals:
    void finished(const CredentialKeyring::Result &result);

private:
    using Call = std::function<CredentialKeyring::Result(const CredentialKeyring::Cancellation *)>;
    KeyringJob(const Call &call, QObject *parent);
    void callFinishedFunc();

    std::shared_ptr<CredentialKeyring::Cancellation> m_cancel;
    QFutureWatcher<CredentialKeyring::Result> m_watcher;
    CredentialKeyring::Result m_result;
    bool m_done = false;
};

Q_DECLARE_METATYPE(CredentialKeyring::Result)

#endif // KEYRINGJOB_H
