#ifndef DEVICERECORD_H
#define DEVICERECORD_H

#include <QMetaType>
#include <QString>

// One device as the search coordinator lists it: a row of the main window's
// table and an entry of the device list sent to the web page.
struct DeviceRecord
{
    enum SearchType {
        BroadcastSearch = 0,   // utility search; the only source whose settings can be changed
        DocumentCamera = 1,    // wireless document camera (SSDP)
        ControlBox = 2,        // power-management control box (SSDP)
        Onvif = 3              // another maker's camera found by WS-Discovery (ONVIF)
    };

    qint32 searchType = BroadcastSearch;
    QString name;
    QString model;
    QString serialNo;
    QString ip;
    QString mac;       // "xx:xx:xx:xx:xx:xx", lower case
    QString fwVersion;
    bool dhcp = false;
    QString mask;
    QString gateway;
    QString dns1;
    QString dns2;
    QString ipv6;
    // Onvif rows: the WS-Discovery endpoint ("urn:uuid:...") and the device
    // service address the camera gave, which a settings change writes to
    // and its confirming search looks for.
    QString endpoint;
    QString serviceUrl;

    // Empties dhcp, mask, gateway, DNS and IPv6: the settings only the
    // utility search reports (and can change).
    void clearNetworkSettings();

    bool operator==(const DeviceRecord &other) const;
    bool operator!=(const DeviceRecord &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(DeviceRecord)

#endif // DEVICERECORD_H
