// MAC and IPv4 texts as the web page and the command line hand them in, the
// Wake-on-LAN packet built from a MAC text, and the check of a planned
// address with the text as a device's address, name and MAC.
#include "settingscheck.h"
#include "utilityprotocol.h"
#include "wakeonlan.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    UtilityProtocol::MacBytes mac{};
    if (UtilityProtocol::macFromText(text, &mac))
        UtilityProtocol::macToText(mac);
    UtilityProtocol::ipv4ToText(UtilityProtocol::ipv4FromText(text));
    const QByteArray packet = WakeOnLan::buildMagicPacket(text);
    WakeOnLan::macOfMagicPacket(packet);
    WakeOnLan::macOfMagicPacket(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));

    quint32 address = 0;
    const bool parsed = SettingsCheck::parseAddress(text, &address);
    SettingsCheck::Surroundings around;
    DeviceRecord device;
    device.ip = text;
    device.mac = text;
    device.name = text;
    device.model = text;
    around.devices.append(device);
    around.host.append({0xC0000201u, 0xFFFFFF00u});
    around.probeAnswers.insert(address, text);
    // The bytes also as a setting: address, mask and gateway from the input.
    quint32 words[3] = {address, 0xFFFFFF00u, 0};
    for (size_t i = 0; i < 3 && !parsed && (i + 1) * 4 <= size; ++i)
        words[i] = (quint32(data[i * 4]) << 24) | (quint32(data[i * 4 + 1]) << 16) | (quint32(data[i * 4 + 2]) << 8)
            | quint32(data[i * 4 + 3]);
    SettingsCheck::Planned planned;
    planned.mac = QStringLiteral("02:50:4d:00:00:01");
    planned.ip = words[0];
    planned.mask = words[1];
    planned.gateway = words[2];
    SettingsCheck::check(planned, around);
    SettingsCheck::checkTarget(words[0], text, around);
    SettingsCheck::checkRange(words[0], words[2], words[1]);
    return 0;
}
