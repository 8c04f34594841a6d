#ifndef CREDENTIALKEYRING_H
#define CREDENTIALKEYRING_H

#include "credentialscope.h"

#include <QString>

// Camera logins in the desktop's keyring (the freedesktop Secret Service,
// through libsecret): a user ID and password per camera or per site. The
// password goes to the keyring daemon and comes back from it; it is never
// written to a file of ours or to a log line.
//
// Every call here talks D-Bus and may wait for a keyring prompt: call them
// from a worker thread (KeyringJob does) or from a program without a window
// (the command line).
class CredentialKeyring
{
public:
    enum class Status {
        Found,        // lookup: userId and password filled, scope says where from
        NotFound,     // lookup or forget: no entry of that scope
        Stored,
        Forgotten,    // count says how many entries went
        Unavailable,  // no Secret Service on the session bus; message says so
        Failed        // the keyring answered with an error; message says which
    };

    // Whether the keyring may ask the user to unlock a locked collection.
    // Automatic work (filling the form on a selection) never does.
    enum class Unlock { Never, Ask };

    struct Result
    {
        Status status = Status::Failed;
        QString userId;
        QString password;
        CredentialScope scope;
        int count = 0;
        QString message;
    };

    // Stops a call waiting on the keyring; shared by the caller and the
    // thread that runs the call.
    class Cancellation
    {
    public:
        Cancellation();
        ~Cancellation();
        void cancel();
        void *handle() const { return m_cancellable; }

    private:
        Q_DISABLE_COPY(Cancellation)
        void *m_cancellable;
    };

    // The one sentence a caller shows when there is no keyring.
    static QString unavailableSentence();

    // The camera's own entry first, then its site's; either scope may be
    // invalid (not asked).
    static Result lookup(const CredentialScope &camera, const CredentialScope &site, Unlock unlock,
                         const Cancellation *cancel = nullptr);
    // Replaces what the scope held (another user ID too).
    static Result store(const CredentialScope &scope, const QString &userId, const QString &password,
                        const Cancellation *cancel = nullptr);
    // The scope's entries, whatever user ID they hold.
    static Result forget(const CredentialScope &scope, const Cancellation *cancel = nullptr);
    // Every entry of this MAC, whatever model it was stored with.
    static Result forgetCamera(const QString &mac, const Cancellation *cancel = nullptr);
    // Every entry this program stored, and nothing else in the keyring.
    static Result forgetAll(const Cancellation *cancel = nullptr);

    // True the first time an Unavailable result is made in this process, so
    // the sentence reaches the user once however often the keyring is asked.
    static bool takeUnavailableNotice();

    // Drops the connection to the keyring (tests; before the session bus
    // goes away).
    static void disconnect();

    // libsecret's schema name, the attribute "xdg:schema" of every entry.
    static const char *schemaName();

private:
    CredentialKeyring() = delete;
};

#endif // CREDENTIALKEYRING_H
