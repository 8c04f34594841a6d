#include "utilitydevicelist.h"

UtilityDeviceList::MergeResult UtilityDeviceList::merge(const UtilitySearchCamInfo &info)
{
    const QString key = indexKey(info.mac, info.model);
    const auto found = index.constFind(key);
    if (found == index.constEnd()) {
        index.insert(key, list.size());
        list.append(info);
        return MergeResult::Appended;
    }

    UtilitySearchCamInfo &known = list[found.value()];
    known.fwVersion = info.fwVersion;
    const bool ipChanged = known.ip != info.ip;
    known.ip = info.ip;
    known.mask = info.mask;
    known.gateway = info.gateway;
    known.name = info.name;
    if (!info.serialNo.isEmpty())
        known.serialNo = info.serialNo;
    return ipChanged ? MergeResult::IpChanged : MergeResult::Updated;
}

void UtilityDeviceList::clear()
{
    list.clear();
    index.clear();
}

QString UtilityDeviceList::indexKey(const QString &mac, const QString &model)
{
    // Case folding gives the same equality as a case-insensitive compare; the
    // NUL keeps "ab"+"c" apart from "a"+"bc" (parsed texts never hold one).
    return mac.toCaseFolded() + QChar(0) + model.toCaseFolded();
}
