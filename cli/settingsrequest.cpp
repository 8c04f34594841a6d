#include "settingsrequest.h"

#include "utilityprotocol.h"

DeviceRecord SettingsRequest::desired(const DeviceRecord &current) const
{
    DeviceRecord result = current;
    if (dhcpGiven)
        result.dhcp = dhcp;
    const auto take = [](QString *field, const QString &given) {
        if (!given.isEmpty())
            *field = given;
    };
    take(&result.ip, ip);
    take(&result.mask, mask);
    take(&result.gateway, gateway);
    take(&result.dns1, dns1);
    take(&result.dns2, dns2);
    if (!ip.isEmpty())
        result.dhcp = false;
    return result;
}

bool SettingsRequest::shows(const DeviceRecord &found, const DeviceRecord &desired)
{
    if (found.mac != desired.mac || found.dhcp != desired.dhcp)
        return false;
    if (desired.dhcp)
        return true;
    return found.ip == desired.ip && found.mask == desired.mask && found.gateway == desired.gateway
        && found.dns1 == desired.dns1 && found.dns2 == desired.dns2;
}

QByteArray SettingsRequest::record(const DeviceRecord &desired, const QString &user, const QString &password)
{
    UtilityProtocol::Settings settings;
    settings.dhcp = desired.dhcp;
    settings.ip = UtilityProtocol::ipv4FromText(desired.ip);
    UtilityProtocol::macFromText(desired.mac, &settings.mac);
    settings.mask = UtilityProtocol::ipv4FromText(desired.mask);
    settings.gateway = UtilityProtocol::ipv4FromText(desired.gateway);
    settings.dns1 = UtilityProtocol::ipv4FromText(desired.dns1);
    settings.dns2 = UtilityProtocol::ipv4FromText(desired.dns2);
    settings.name = desired.name;
    settings.userId = user;
    settings.password = password;
    return UtilityProtocol::buildSettingsRecord(settings);
}
