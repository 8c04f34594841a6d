#ifndef ADDRESSCONFLICTS_H
#define ADDRESSCONFLICTS_H

#include "adaptersurvey.h"
#include "checkresult.h"
#include "devicerecord.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Two devices on one IPv4 address: both answer the search with it, or a
// host with another MAC answers an ARP probe for a camera's address (as
// arp-scan shows duplicates). Either way, whatever is sent to the address
// reaches one of them at random.
class AddressConflicts
{
public:
    struct Conflict
    {
        QString ip;
        QStringList macs;   // the camera's first, then the others
        bool fromProbe = false;
    };

    struct ProbeOutcome
    {
        QMultiHash<quint32, QString> answeredBy;   // address -> MACs that answered
        QStringList notes;                          // why some addresses were not probed
    };

    // Devices answering with one address under different MACs.
    static QList<Conflict> sameAddress(const QList<DeviceRecord> &devices);
    // Cameras whose address another MAC answered an ARP probe for.
    static QList<Conflict> fromProbe(const QList<DeviceRecord> &devices, const QMultiHash<quint32, QString> &answeredBy);
    // Probes every device's address on the adapter whose subnet holds it
    // (ArpProbe: needs CAP_NET_RAW; without it the notes say so).
    static ProbeOutcome probe(const QList<DeviceRecord> &devices, const AdapterSurvey &survey);

    // Every MAC in a conflict: the rows to flag "Conflict".
    static QSet<QString> conflictingMacs(const QList<Conflict> &conflicts);
    static QList<CheckResult> evaluate(const QList<Conflict> &conflicts, const QStringList &probeNotes);

private:
    AddressConflicts() = delete;
};

#endif // ADDRESSCONFLICTS_H
