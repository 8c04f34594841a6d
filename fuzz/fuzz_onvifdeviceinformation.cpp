// A camera's answer to GetDeviceInformation.
#include "onvifdeviceprotocol.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    (void)OnvifDeviceProtocol::parseDeviceInformation(input);
    return 0;
}
