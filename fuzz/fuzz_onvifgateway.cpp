// A camera's answer to GetNetworkDefaultGateway.
#include "onvifdeviceprotocol.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    (void)OnvifDeviceProtocol::parseNetworkDefaultGateway(input);
    return 0;
}
