// WS-Discovery datagrams (ProbeMatches, Hello, Bye and whatever else reaches
// port 3702 or a probe socket), and the XAddrs check the search makes.
#include "wsdiscoveryprotocol.h"

#include <QByteArray>
#include <QHostAddress>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    if (size > size_t(WsDiscoveryProtocol::MaxDatagramSize))
        return 0;
    const WsDiscoveryProtocol::Message message = WsDiscoveryProtocol::parse(input);
    for (const WsDiscoveryProtocol::Target &target : message.targets)
        WsDiscoveryProtocol::usableXAddrs(target.xaddrs, QHostAddress(QStringLiteral("192.0.2.30")));
    return 0;
}
