#ifndef CAMERASETTINGS_H
#define CAMERASETTINGS_H

#include "credentials.h"
#include "devicerecord.h"
#include "utilityprotocol.h"

#include <QString>

// The network settings a settings record asks a camera to take: the mode,
// five addresses (written whatever the mode) and the device name. The
// camera it goes to and the user ID and password that authorise it come
// with it to SearchManager::writeSettings.
struct CameraSettings
{
    bool dhcp = false;
    UtilityProtocol::Ipv4Bytes ip{};
    UtilityProtocol::Ipv4Bytes mask{};
    UtilityProtocol::Ipv4Bytes gateway{};
    UtilityProtocol::Ipv4Bytes dns1{};
    UtilityProtocol::Ipv4Bytes dns2{};
    QString name;

    // The settings that make a camera show desired (its texts as the record
    // carries them, however odd they are).
    static CameraSettings fromRecord(const DeviceRecord &desired);
    // Whether a camera found by a later search shows these settings; for
    // DHCP only the mode (the server picks the address).
    bool shownBy(const DeviceRecord &found) const;
};

#endif // CAMERASETTINGS_H
