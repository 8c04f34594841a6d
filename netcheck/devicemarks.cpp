#include "devicemarks.h"

#include "settingscheck.h"
#include "subnetreach.h"

DeviceMarks DeviceMarks::of(const QList<DeviceRecord> &devices, const AdapterSurvey &survey)
{
    DeviceMarks marks;
    for (const DeviceRecord &device : devices) {
        quint32 address = 0;
        if (SettingsCheck::parseAddress(device.ip, &address) && address != 0 && !SubnetReach::reachable(device, survey))
            marks.unreachableIps.insert(device.ip);
    }
    marks.conflictList = AddressConflicts::sameAddress(devices);
    for (const AddressConflicts::Conflict &c : qAsConst(marks.conflictList))
        marks.conflictIps.insert(c.ip);
    return marks;
}

QStringList DeviceMarks::conflictSentences() const
{
    QStringList sentences;
    for (const AddressConflicts::Conflict &c : conflictList) {
        QStringList macs = c.macs;
        const QString last = macs.takeLast();
        sentences.append(QStringLiteral("%1: %2 is answered by %3 and %4")
                             .arg(conflictText(), c.ip, macs.join(QStringLiteral(", ")), last));
    }
    return sentences;
}

QString DeviceMarks::unreachableSentence(const DeviceRecord &device)
{
    return QStringLiteral("%1 at %2 is %3 (its address lies in no adapter's subnet); fix: pathmere-cli fix-subnet %1 "
                          "--user USER, or pathmere-cli fix-subnet %1 --temporary")
        .arg(device.mac, device.ip, SubnetReach::notReachableText());
}
