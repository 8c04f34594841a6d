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

quint32 SettingsRequest::recordAddress(const QString &text)
{
    const UtilityProtocol::Ipv4Bytes bytes = UtilityProtocol::ipv4FromText(text);
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | quint32(bytes[3]);
}

SettingsCheck::Planned SettingsRequest::planned(const DeviceRecord &desired)
{
    SettingsCheck::Planned result;
    result.mac = desired.mac;
    result.ip = recordAddress(desired.ip);
    result.mask = recordAddress(desired.mask);
    result.gateway = recordAddress(desired.gateway);
    return result;
}

QString SettingsRequest::recordText(const QByteArray &record)
{
    UtilityProtocol::Settings s;
    if (!UtilityProtocol::parseSettingsRecord(record, &s))
        return QStringLiteral("  (no settings record could be built)\n");
    // The name came from the camera: it must not drive the terminal.
    QString name = s.name;
    for (QChar &c : name) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return QStringLiteral("  mode      %1\n  ip        %2\n  mac       %3\n  mask      %4\n  gateway   %5\n"
                          "  dns1      %6\n  dns2      %7\n  name      %8\n  user      %9\n")
               .arg(s.dhcp ? QStringLiteral("dhcp") : QStringLiteral("static (eth0)"),
                    UtilityProtocol::ipv4ToText(s.ip), UtilityProtocol::macToText(s.mac),
                    UtilityProtocol::ipv4ToText(s.mask), UtilityProtocol::ipv4ToText(s.gateway),
                    UtilityProtocol::ipv4ToText(s.dns1), UtilityProtocol::ipv4ToText(s.dns2), name,
                    s.userId.isEmpty() ? QStringLiteral("(not given)") : s.userId)
        + QStringLiteral("  password  %1\n").arg(s.password.isEmpty() ? QStringLiteral("(not read)")
                                                                    : QStringLiteral("(given, not shown)"));
}
