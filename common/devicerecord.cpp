#include "devicerecord.h"

bool DeviceRecord::operator==(const DeviceRecord &other) const
{
    return searchType == other.searchType && name == other.name && model == other.model
        && serialNo == other.serialNo && ip == other.ip && mac == other.mac
        && fwVersion == other.fwVersion && dhcp == other.dhcp && mask == other.mask
        && gateway == other.gateway && dns1 == other.dns1 && dns2 == other.dns2
        && ipv6 == other.ipv6 && endpoint == other.endpoint && serviceUrl == other.serviceUrl;
}

void DeviceRecord::clearNetworkSettings()
{
    dhcp = false;
    mask.clear();
    gateway.clear();
    dns1.clear();
    dns2.clear();
    ipv6.clear();
}
