// MAC and IPv4 texts as the web page and the command line hand them in, and
// the Wake-on-LAN packet built from a MAC text.
#include "utilityprotocol.h"
#include "wakeonlan.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    UtilityProtocol::MacBytes mac{};
    if (UtilityProtocol::macFromText(text, &mac))
        UtilityProtocol::macToText(mac);
    UtilityProtocol::ipv4ToText(UtilityProtocol::ipv4FromText(text));
    const QByteArray packet = WakeOnLan::buildMagicPacket(text);
    WakeOnLan::macOfMagicPacket(packet);
    WakeOnLan::macOfMagicPacket(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
