// Description documents: whatever an HTTP server named in a LOCATION serves,
// up to the size the search accepts, including the 6-bit name code.
#include "ssdpprotocol.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(SsdpProtocol::MaxDescriptionSize))
        return 0;
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    SsdpProtocol::parseDescription(body, QStringLiteral("192.0.2.50"));
    const QString text = QString::fromLatin1(body.left(SsdpProtocol::MaxEncodedNameChars));
    SsdpProtocol::decodeName(text);
    SsdpProtocol::decodeHexText(text);
    DocCamUpnpData::MacBytes mac{};
    QString macText;
    SsdpProtocol::parseMacField(text, &mac, &macText);
    return 0;
}
