#include "tolvikinterprocesslock.h"

#include "tolviksystemosal.h"

TolvikInterProcessLock::TolvikInterProcessLock(QString name)
    : name(QStringLiteral("TolvikLock") + name)
{
}

TolvikInterProcessLock::~TolvikInterProcessLock()
{
    if (handle)
        osalIpcUnlock(handle);
}

bool TolvikInterProcessLock::lock()
{
    if (!handle) {
        handle = osalIpcLock(name.utf16());
        if (!handle)
            return false;
    }
    ++count;
    return true;
}

void TolvikInterProcessLock::unlock()
{
    if (!handle)
        return;
    if (count-- == 1) {
        osalIpcUnlock(handle);
        handle = 0;
    }
}
