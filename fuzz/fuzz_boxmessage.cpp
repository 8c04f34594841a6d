// Control box messages: anything a host on the LAN can send to UDP port
// 1988 or 1688 during a box search.
#include "ssdpprotocol.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(SsdpProtocol::MaxDatagramSize))
        return 0;
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    SsdpProtocol::parseBoxMessage(datagram);
    SsdpProtocol::isBoxAnnouncement(datagram);
    return 0;
}
