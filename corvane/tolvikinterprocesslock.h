#ifndef TOLVIKINTERPROCESSLOCK_H
#define TOLVIKINTERPROCESSLOCK_H

#include "corvane_global.h"

#include <QString>

#include <cstdint>

// A named lock shared between processes (and between objects in different
// threads of one process). lock() never waits: it takes the named lock or
// returns false at once when someone else holds it, so callers that must
// have it retry on their own schedule. Locking an object that already holds
// the lock only counts; the named lock is released by the matching number of
// unlock() calls or by the destructor. The lock dies with its holder, so a
// crashed or killed process never leaves it taken.
//
// One object is not thread-safe; give each thread its own. Copies are not
// allowed: two objects sharing one handle would release it twice.
class CORVANE_EXPORT TolvikInterProcessLock
{
public:
    explicit TolvikInterProcessLock(QString name);
    ~TolvikInterProcessLock();

    bool lock();
    void unlock();

private:
    Q_DISABLE_COPY(TolvikInterProcessLock)

    const QString name;
    uint32_t handle = 0;
    int32_t count = 0;
};

#endif // TOLVIKINTERPROCESSLOCK_H
