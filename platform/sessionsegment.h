#ifndef SESSIONSEGMENT_H
#define SESSIONSEGMENT_H

#include "sessionsharedmemorykey.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

// The single-instance segment and its lock semaphore as System V objects,
// named by the key files of SessionSharedMemoryKey, and used only when they
// are this user's alone.
//
// System V keys are a 32-bit number that any local user can use: whoever
// creates an object under a key first owns it. So every key file must be a
// regular file of ours with mode 0600, and every segment and semaphore found
// under a key must have been created by us, belong to us and carry mode
// 0600. Anything else is refused and never read or obeyed. The key files sit
// in $XDG_RUNTIME_DIR, where nobody else can put or swap one; an object
// planted under a guessed key makes create() give its key file a new inode
// (a new key) and try again. Waiting for the lock is bounded, so even a
// semaphore of ours that someone holds cannot hang the program.
class SessionSegment
{
public:
    enum class Outcome {
        Created,    // this object made the segment, zero-filled, and owns it
        Attached,   // a live segment of ours exists; this object is attached to it
        Missing,    // attach(): there is no segment (no program runs)
        Refused,    // what the key names is not ours alone; refusals() says what
        Failed      // a system call failed; refusals() says which
    };

    static constexpr int LockTimeoutMs = 1000;
    // New key files tried when objects of others sit under their keys.
    static constexpr int MaxKeyAttempts = 8;
    static constexpr mode_t PrivateMode = 0600;

    explicit SessionSegment(QString key, QString folder = SessionSharedMemoryKey::keyFolder());
    ~SessionSegment();
    SessionSegment(const SessionSegment &) = delete;
    SessionSegment &operator=(const SessionSegment &) = delete;

    // Creates the segment (size bytes) and its lock, or attaches to the live
    // segment of ours that already exists. A segment of ours that nobody is
    // attached to any more (its owner was killed) is removed first.
    Outcome create(int size);
    // Attaches to an existing live segment of ours, creating nothing.
    Outcome attach();
    // Detaches; the owner also removes the segment, its lock and their key
    // files.
    void detach();

    bool isAttached() const { return memory != nullptr; }
    bool isOwner() const { return owner; }
    char *data() const { return memory; }
    int size() const { return bytes; }

    // Takes the lock, waiting at most timeoutMs; false when it did not get it.
    bool lock(int timeoutMs = LockTimeoutMs);
    void unlock();

    // What the last create() or attach() refused or failed at, one text each.
    QStringList refusals() const { return reasons; }

    // The ownership rules themselves. mode is the object's or file's mode;
    // for a file it includes the file type bits.
    static bool isPrivateObject(uid_t ownerUid, uid_t creatorUid, mode_t mode, uid_t me);
    static bool isPrivateKeyFile(uid_t ownerUid, mode_t mode, uid_t me);
    // The System V key of a file as ftok(path, 'Q') computes it, from the
    // file's device and inode numbers.
    static key_t keyOf(dev_t device, ino_t inode);

    // Removes a segment of ours that nobody is attached to, and its lock
    // and key files; a live segment and objects of others stay.
    static void removeStale(const QString &key, const QString &folder = SessionSharedMemoryKey::keyFolder());

private:
    enum class KeyFile { Segment, Semaphore };
    // The key of one key file, -1 when it is missing (and not to be
    // created), refused or failed (reasons then say so).
    key_t openKeyFile(KeyFile which, bool create, bool *missing);
    bool renewKeyFile(KeyFile which);
    QString pathOf(KeyFile which) const;
    // Opens the lock semaphore of semaphoreKey, creating it when allowed
    // (*made then says whether it did). -1 with *foreign set when one of
    // others sits under the key.
    int openSemaphore(key_t semaphoreKey, bool create, bool *foreign, bool *missing, bool *made);
    bool mapSegment(int id);
    void refuse(const QString &text);

    const QString key;
    const QString folder;
    QStringList reasons;
    char *memory = nullptr;
    int bytes = 0;
    int segmentId = -1;
    int semaphoreId = -1;
    bool owner = false;
    bool locked = false;
};

#endif // SESSIONSEGMENT_H
