#include "applog.h"

namespace AppLogModule {

std::atomic<int> id {Unregistered};

int registerOnce()
{
    // A function-local static makes the first call safe even if two threads
    // make it at once.
    static const int registered =
            LogSystem::getSysLogSystem()->registerLoggedModule(QStringLiteral("Pathmere/Pathmere"));
    id.store(registered, std::memory_order_relaxed);
    return registered;
}

} // namespace AppLogModule
