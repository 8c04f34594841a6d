// A camera's answers to the writes (SetNetworkInterfaces with RebootNeeded,
// SetNetworkDefaultGateway, SetDNS, SystemReboot) and its faults.
#include "onvifdeviceprotocol.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    for (const auto call : {OnvifDeviceProtocol::Call::SetNetworkInterfaces, OnvifDeviceProtocol::Call::SetNetworkDefaultGateway,
                            OnvifDeviceProtocol::Call::SetDNS, OnvifDeviceProtocol::Call::SystemReboot})
        (void)OnvifDeviceProtocol::parseSetAnswer(call, input);
    return 0;
}
