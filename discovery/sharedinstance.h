#ifndef SHAREDINSTANCE_H
#define SHAREDINSTANCE_H

#include <QMutex>
#include <QMutexLocker>

// Holder of a process-wide single instance with a use count: the first
// acquire creates the object under the mutex, the release that brings the
// count back to zero deletes it. The owning class passes lambdas written in
// its own members, so its constructor and destructor may stay private.
template <typename T>
class SharedInstance
{
public:
    SharedInstance() = default;
    Q_DISABLE_COPY(SharedInstance)

    template <typename Create>
    T *acquire(Create create)
    {
        QMutexLocker locker(&mutex);
        if (!object)
            object = create();
        ++uses;
        return object;
    }

    template <typename Destroy>
    void release(Destroy destroy)
    {
        QMutexLocker locker(&mutex);
        if (!object || uses <= 0)
            return;
        if (--uses == 0) {
            destroy(object);
            object = nullptr;
        }
    }

private:
    QMutex mutex;
    T *object = nullptr;
    int uses = 0;
};

#endif // SHAREDINSTANCE_H
