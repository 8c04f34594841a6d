#ifndef UTILITYSEARCHCAMINFO_H
#define UTILITYSEARCHCAMINFO_H

#include <QMetaType>
#include <QString>

// One camera as it answered the utility search. Address texts are dotted
// decimal, the MAC is "xx:xx:xx:xx:xx:xx" in lower-case hex.
struct UtilitySearchCamInfo
{
    QString mac;
    QString model;
    QString fwVersion;
    QString ip;
    QString mask;
    QString gateway;
    QString name;
    bool dhcp = false;
    QString dns1;
    QString dns2;
    QString ipv6;
    // Only the long reply carries it; empty otherwise.
    QString serialNo;

    bool operator==(const UtilitySearchCamInfo &other) const;
    bool operator!=(const UtilitySearchCamInfo &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(UtilitySearchCamInfo)

#endif // UTILITYSEARCHCAMINFO_H
