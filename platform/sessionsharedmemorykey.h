#ifndef SESSIONSHAREDMEMORYKEY_H
#define SESSIONSHAREDMEMORYKEY_H

#include <QByteArray>
#include <QString>

// The single-instance segment is scoped to the login session. System V
// memory is system-wide on Linux, so the scope goes into the key:
//
//   key = name + "/session-" + $XDG_SESSION_ID   when XDG_SESSION_ID is set and not empty
//   key = name + "/user-" + <numeric real user id> otherwise
//
// e.g. "Pathmere/session-3" or "Pathmere/user-1000". The System V keys are
//
//   shm key = ftok(T + "/qipc_sharedmemory_" + L + H, 'Q')
//   sem key = ftok(T + "/qipc_systemsem_"    + L + H, 'Q')
//
// where T is the key folder (keyFolder(): $XDG_RUNTIME_DIR, which only its
// user can enter, else the temporary folder), L is the key with every
// character outside A-Z and a-z removed and H is the lower-case hexadecimal
// SHA-1 of the key's UTF-8 bytes. The semaphore (one System V semaphore,
// acquired with semop -1 and SEM_UNDO, released with +1) guards the segment's
// contents: a NUL-terminated ASCII command at offset 0. SessionSegment
// creates, checks and removes them.
class SessionSharedMemoryKey
{
public:
    // The key of the current process's login session.
    static QString forCurrentSession(const QString &name);

    // The rule itself, for the session id and user id given.
    static QString compose(const QString &name, const QByteArray &sessionId, uint userId);

    // Where the key files live for this process: $XDG_RUNTIME_DIR when it
    // names an existing absolute folder, otherwise QDir::tempPath(). In the
    // runtime folder no other user can plant or swap a key file.
    static QString keyFolder();

    // The files whose ftok() values are the System V keys of the segment and
    // of its lock (see above), in folder.
    static QString segmentKeyFile(const QString &key, const QString &folder = keyFolder());
    static QString semaphoreKeyFile(const QString &key, const QString &folder = keyFolder());

private:
    SessionSharedMemoryKey() = delete;
    static QString keyFile(const QString &prefix, const QString &key, const QString &folder);
};

#endif // SESSIONSHAREDMEMORYKEY_H
