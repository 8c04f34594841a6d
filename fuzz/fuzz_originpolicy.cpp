// The Origin header of a WebSocket handshake, chosen by whatever page connects.
#include "weboriginpolicy.h"

#include <QString>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString origin = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    static const QStringList extra{QStringLiteral("https://cameras.example.org"),
                                   QStringLiteral("http://192.0.2.5:8080")};
    WebOriginPolicy::normalized(origin);
    WebOriginPolicy::isLocalOrigin(origin);
    WebOriginPolicy::isAllowed(origin, extra);
    return 0;
}
