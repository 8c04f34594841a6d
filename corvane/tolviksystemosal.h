#ifndef TOLVIKSYSTEMOSAL_H
#define TOLVIKSYSTEMOSAL_H

// Internal to Corvane and never installed: the operating-system layer under
// TolvikInterProcessLock and TolvikSystem. Strings are zero-terminated UTF-16.
//
// Named lock: an exclusive flock() on "<name>.lock" in $XDG_RUNTIME_DIR, or
// in the temp folder when that is not set (there the user id is part of the
// file name, so that users do not block each other). Characters that cannot
// stand in a file name are percent-encoded; over-long names are shortened
// with a hash. Taking the lock never waits. The lock files stay in place:
// removing a file another process may be about to lock would let two
// processes hold "the same" lock. The kernel drops the lock with the last
// descriptor, so a killed holder frees it.

#include <QtGlobal>

#include <cstdint>

// Handle of the held lock, 0 when it is held elsewhere or cannot be taken.
uint32_t osalIpcLock(const ushort *name);
void osalIpcUnlock(uint32_t handle);

// Bytes an unprivileged user may still write on the volume that holds the
// folder (what df reports as available); -1 when the volume cannot be asked.
qint64 osalFreeSpace(const ushort *path);

#endif // TOLVIKSYSTEMOSAL_H
