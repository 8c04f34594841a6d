#ifndef ASSIGNPLANNER_H
#define ASSIGNPLANNER_H

#include "devicerecord.h"
#include "settingsrequest.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>

// Plans batch static addressing: one address of a range per camera, in MAC
// order. A camera already holding an address of the range keeps it (so the
// same plan run twice changes nothing); addresses held by any device found,
// and those that answer an address-conflict probe, are skipped.
class AssignPlanner
{
public:
    struct Entry
    {
        DeviceRecord current;
        DeviceRecord desired;
        bool keepsAddress = false;
        bool unchanged = false;   // nothing to send
    };

    struct Plan
    {
        QList<Entry> entries;          // MAC order
        int shortBy = 0;               // cameras left without an address
        QList<quint32> skippedHeld;    // held by a device found
        QList<quint32> skippedProbe;   // answered the probe
        QList<quint32> skippedReserved;   // the subnet's network or broadcast address
        bool complete() const { return shortBy == 0; }
    };

    // Given candidate addresses, returns those that answered a probe.
    using ProbeFunction = std::function<QSet<quint32>(const QList<quint32> &candidates)>;

    // cameras: the ones to address (any order); allDevices: everything the
    // search found (their addresses are taken); change: mask, gateway and DNS
    // given on the command line (ip and dhcp are ignored). probe may be empty.
    // mask, when not 0, is the cameras' subnet mask: the network and
    // broadcast addresses it gives are neither handed out nor kept.
    static Plan plan(QList<DeviceRecord> cameras, const QList<DeviceRecord> &allDevices, quint32 first,
                     quint32 last, const SettingsRequest &change, const ProbeFunction &probe, quint32 mask = 0);

private:
    AssignPlanner() = delete;
};

#endif // ASSIGNPLANNER_H
