// SSDP answers and notifications: anything a host on the LAN can send back
// to the document camera search socket.
#include "ssdpprotocol.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(SsdpProtocol::MaxDatagramSize))
        return 0;
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const SsdpProtocol::Answer answer = SsdpProtocol::parseAnswer(datagram);
    (void)answer.url.host();
    SsdpProtocol::isMSearch(datagram);
    return 0;
}
