// VISCA over IP replies: any host can answer on UDP port 52381.
#include "viscaprotocol.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    ViscaProtocol::Datagram decoded;
    if (ViscaProtocol::decodeDatagram(datagram, &decoded)) {
        static const QString inquiry = QString::fromLatin1(ViscaProtocol::PowerInquiryText);
        ViscaProtocol::classifyReply(decoded.payload, ViscaProtocol::KindInquiry, inquiry);
        ViscaProtocol::classifyReply(decoded.payload, ViscaProtocol::KindCommand, QString());
    }
    return 0;
}
