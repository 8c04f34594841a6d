#include "camerasettings.h"

CameraSettings CameraSettings::fromRecord(const DeviceRecord &desired)
{
    CameraSettings settings;
    settings.dhcp = desired.dhcp;
    settings.ip = UtilityProtocol::ipv4FromText(desired.ip);
    settings.mask = UtilityProtocol::ipv4FromText(desired.mask);
    settings.gateway = UtilityProtocol::ipv4FromText(desired.gateway);
    settings.dns1 = UtilityProtocol::ipv4FromText(desired.dns1);
    settings.dns2 = UtilityProtocol::ipv4FromText(desired.dns2);
    settings.name = desired.name;
    return settings;
}

bool CameraSettings::shownBy(const DeviceRecord &found) const
{
    if (found.dhcp != dhcp)
        return false;
    if (dhcp)
        return true;
    return found.ip == UtilityProtocol::ipv4ToText(ip) && found.mask == UtilityProtocol::ipv4ToText(mask)
        && found.gateway == UtilityProtocol::ipv4ToText(gateway) && found.dns1 == UtilityProtocol::ipv4ToText(dns1)
        && found.dns2 == UtilityProtocol::ipv4ToText(dns2);
}
