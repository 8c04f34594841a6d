#ifndef DEVICEMARKS_H
#define DEVICEMARKS_H

#include "adaptersurvey.h"
#include "addressconflicts.h"
#include "devicerecord.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// What a device list shows beside each device, the same in the window's
// table and in the CLI's output: a camera whose address lies in no adapter's
// subnet ("not reachable from this computer"), and two devices answering
// with one address ("Conflict"). Both follow from the address alone, so a
// device is looked up by its address.
class DeviceMarks
{
public:
    DeviceMarks() = default;
    static DeviceMarks of(const QList<DeviceRecord> &devices, const AdapterSurvey &survey);

    // A device without a usable address is never marked: nothing says where it is.
    bool reachable(const DeviceRecord &device) const { return !unreachableIps.contains(device.ip); }
    bool conflict(const DeviceRecord &device) const { return conflictIps.contains(device.ip); }
    bool isEmpty() const { return unreachableIps.isEmpty() && conflictIps.isEmpty(); }
    QList<AddressConflicts::Conflict> conflicts() const { return conflictList; }

    // One sentence per conflict: "Conflict: 192.0.2.10 is answered by A and B".
    QStringList conflictSentences() const;
    // One sentence for an unreachable device, with its fix.
    static QString unreachableSentence(const DeviceRecord &device);

    static QString conflictText() { return QStringLiteral("Conflict"); }

private:
    QSet<QString> unreachableIps;
    QSet<QString> conflictIps;
    QList<AddressConflicts::Conflict> conflictList;
};

#endif // DEVICEMARKS_H
