#ifndef SUBNETREACH_H
#define SUBNETREACH_H

#include "adaptersurvey.h"
#include "assignplanner.h"
#include "checkresult.h"
#include "devicerecord.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// A camera whose address lies in no adapter's subnet (a camera still on its
// factory address, most often) answers a broadcast search but cannot be
// reached by anything sent to its address: it is "not reachable from this
// computer". Two ways bring it home:
//  1. readdress it into the adapter's subnet with the next free address the
//     assign planner finds there (this computer's and every device's address
//     taken, the probe's answers skipped);
//  2. give the adapter a temporary address in the camera's subnet
//     (TemporaryAddress, or the `ip addr add` command printed).
class SubnetReach
{
public:
    struct Finding
    {
        DeviceRecord device;
        QString adapter;                 // the adapter both fixes use
        DeviceRecord readdressed;        // the camera with its new address; ip empty when no address is free
        quint32 temporaryAddress = 0;    // 0: none free in the camera's subnet
        int temporaryPrefix = 0;
        CheckResult result;
    };

    // The words of the table and the CLI's output for such a camera.
    static QString notReachableText() { return QStringLiteral("not reachable from this computer"); }

    static bool reachable(const DeviceRecord &device, const AdapterSurvey &survey);

    // Given an adapter and candidate addresses, returns those that answered
    // an address-conflict probe there.
    using Probe = std::function<QSet<quint32>(const QString &adapter, const QList<quint32> &candidates)>;

    // heardOn: MAC -> the adapter whose search the camera answered (from the
    // live search); without it the adapter with the default route, else the
    // first usable one. probe may be empty (no address-conflict probe).
    // onlyMac, when given, limits the findings to that camera (every
    // device's address is still taken), so one camera's fix probes for
    // nobody else.
    static QList<Finding> evaluate(const QList<DeviceRecord> &devices, const AdapterSurvey &survey,
                                   const QHash<QString, QString> &heardOn, const Probe &probe = Probe(),
                                   const QString &onlyMac = QString());

    // One camera's readdress as every front end plans it: the camera
    // counts as heard on the adapter holding searchAddress (the address a
    // search ran from; several may be given, one a line), otherwise the
    // default one. Empty when mac is empty, the camera is not among devices,
    // is reachable already, or no adapter is usable.
    static QList<Finding> planFor(const QList<DeviceRecord> &devices, const AdapterSurvey &survey,
                                  const QString &mac, const QString &searchAddress, const Probe &probe);
    // The ARP address-conflict probe; why none could be made (no capability,
    // most often) is added to notes once.
    static Probe arpProbe(QStringList *notes);

private:
    SubnetReach() = delete;
};

#endif // SUBNETREACH_H
