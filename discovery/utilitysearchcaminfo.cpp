#include "utilitysearchcaminfo.h"

bool UtilitySearchCamInfo::operator==(const UtilitySearchCamInfo &other) const
{
    return mac == other.mac && model == other.model && fwVersion == other.fwVersion
        && ip == other.ip && mask == other.mask && gateway == other.gateway
        && name == other.name && dhcp == other.dhcp && dns1 == other.dns1
        && dns2 == other.dns2 && ipv6 == other.ipv6 && serialNo == other.serialNo;
}
