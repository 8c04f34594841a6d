// A camera's answer to GetNetworkInterfaces.
#include "onvifdeviceprotocol.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const OnvifDeviceProtocol::NetworkInterfaces answer = OnvifDeviceProtocol::parseNetworkInterfaces(input);
    (void)answer.indexFor(QStringLiteral("192.0.2.10"));
    return 0;
}
