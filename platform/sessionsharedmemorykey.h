#ifndef SESSIONSHAREDMEMORYKEY_H
#define SESSIONSHAREDMEMORYKEY_H

#include <QByteArray>
#include <QString>

// The single-instance segment is scoped to the login session. QSharedMemory
// is system-wide System V memory on Linux, so the scope goes into the key:
//
//   key = name + "/session-" + $XDG_SESSION_ID   when XDG_SESSION_ID is set and not empty
//   key = name + "/user-" + <numeric real user id> otherwise
//
// e.g. "Pathmere/session-3" or "Pathmere/user-1000". A Qt program reaches the
// segment with QSharedMemory(key). Without Qt, the System V keys are
//
//   shm key = ftok(T + "/qipc_sharedmemory_" + L + H, 'Q')
//   sem key = ftok(T + "/qipc_systemsem_"    + L + H, 'Q')
//
// where T is the temporary folder (QDir::tempPath(): $TMPDIR, else /tmp),
// L is the key with every character outside A-Z and a-z removed and H is the
// lower-case hexadecimal SHA-1 of the key's UTF-8 bytes. The semaphore (one
// System V semaphore, acquired with semop -1 and SEM_UNDO, released with +1)
// guards the segment's contents: a NUL-terminated ASCII command at offset 0.
//
// System V memory outlives a killed process. removeStaleSegment() attaches
// and detaches once; Qt removes a segment when its last user detaches, so a
// segment that nobody else is attached to disappears and the next create()
// succeeds; the stale lock semaphore and its key file are removed with it.
class SessionSharedMemoryKey
{
public:
    // The key of the current process's login session.
    static QString forCurrentSession(const QString &name);

    // The rule itself, for the session id and user id given.
    static QString compose(const QString &name, const QByteArray &sessionId, uint userId);

    // The files whose ftok() values are the System V keys of the segment and
    // of its lock (see above).
    static QString segmentKeyFile(const QString &key);
    static QString semaphoreKeyFile(const QString &key);

    // Removes the segment of key, and its lock, when no process is attached.
    static void removeStaleSegment(const QString &key);

private:
    SessionSharedMemoryKey() = delete;
    static QString keyFile(const QString &prefix, const QString &key);
};

#endif // SESSIONSHAREDMEMORYKEY_H
