// The camera replies and records of the utility search: everything a host on
// the LAN can put on UDP port 8000.
#include "utilityprotocol.h"
#include "utilitysearchcaminfo.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    UtilityProtocol::classifyDatagram(datagram);
    UtilityProtocol::replyFault(datagram.constData(), datagram.size());
    UtilityProtocol::isCleanText(datagram.constData(), datagram.size());
    UtilitySearchCamInfo info;
    UtilityProtocol::parseReply(datagram, &info);
    UtilityProtocol::RecurringTexts recurring;
    UtilityProtocol::parseReply(datagram.constData(), datagram.size(), &info, &recurring);
    UtilityProtocol::isInvalidIdReply(datagram);
    QByteArray record;
    if (UtilityProtocol::decodeWireRecord(datagram, &record)) {
        UtilityProtocol::classifyRecord(record);
        UtilityProtocol::Settings settings;
        UtilityProtocol::parseSettingsRecord(record, &settings);
    }
    return 0;
}
