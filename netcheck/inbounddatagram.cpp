#include "inbounddatagram.h"

QString InboundDatagram::describe() const
{
    return QStringLiteral("UDP to port %1 on %2 by %3")
        .arg(port)
        .arg(interfaceName.isEmpty() ? QStringLiteral("any adapter") : interfaceName)
        .arg(broadcast ? QStringLiteral("broadcast") : QStringLiteral("unicast"));
}
