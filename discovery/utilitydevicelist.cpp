#include "utilitydevicelist.h"

#include <QHash>

UtilityDeviceList::MergeResult UtilityDeviceList::merge(const UtilitySearchCamInfo &info)
{
    UtilitySearchCamInfo copy = info;
    return merge(std::move(copy));
}

UtilityDeviceList::MergeResult UtilityDeviceList::merge(UtilitySearchCamInfo &&info, int *position)
{
    Key key = keyOf(info);
    const int known = find(key);
    if (position)
        *position = known >= 0 ? known : list.size() < MaxDevices ? list.size() : -1;
    if (known >= 0)
        return update(list[known], info);
    if (list.size() >= MaxDevices)
        return MergeResult::Refused;

    if ((keys.size() + 1) * 2 > index.size()) {
        index.assign(qMax<size_t>(index.size() * 2, 256), -1);
        for (size_t i = 0; i < keys.size(); ++i)
            insertIndex(keys[i].hash, int(i));
    }
    insertIndex(key.hash, list.size());
    keys.push_back(std::move(key));
    // QList has no append by move: append an empty record and fill it.
    list.append(UtilitySearchCamInfo());
    list.last() = std::move(info);
    return MergeResult::Appended;
}

UtilityDeviceList::MergeResult UtilityDeviceList::update(UtilitySearchCamInfo &known,
                                                         const UtilitySearchCamInfo &info)
{
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
    keys.clear();
    lastModel.clear();
    lastFoldedModel.clear();
    lastModelHash = qHash(QString());
    std::fill(index.begin(), index.end(), -1);
}

UtilityDeviceList::Key UtilityDeviceList::keyOf(const UtilitySearchCamInfo &info)
{
    // Case folding gives the same equality as a case-insensitive compare.
    // toCaseFolded hands back the text itself when nothing changes (our MACs
    // are lower-case already). A model text shared with the previous record's
    // (the parser hands out one copy of a recurring text) is the same text.
    if (!info.model.isSharedWith(lastModel)) {
        lastModel = info.model;
        lastFoldedModel = foldCase(info.model);
        lastModelHash = qHash(lastFoldedModel);
    }
    Key key;
    key.mac = foldCase(info.mac);
    key.model = lastFoldedModel;
    key.hash = qHash(key.mac, lastModelHash);
    return key;
}

QString UtilityDeviceList::foldCase(const QString &text)
{
    // Folding changes nothing in ASCII but the capitals: a text without any
    // (every MAC the parser writes) is its own folded form, found by one scan
    // instead of a character table look-up per character.
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u >= 0x80 || (u >= 'A' && u <= 'Z'))
            return text.toCaseFolded();
    }
    return text;
}

int UtilityDeviceList::find(const Key &key) const
{
    if (index.empty())
        return -1;
    const size_t mask = index.size() - 1;
    for (size_t i = key.hash & mask;; i = (i + 1) & mask) {
        const int position = index[i];
        if (position < 0)
            return -1;
        const Key &known = keys[size_t(position)];
        if (known.hash == key.hash && known.mac == key.mac && known.model == key.model)
            return position;
    }
}

void UtilityDeviceList::insertIndex(uint hash, int position)
{
    const size_t mask = index.size() - 1;
    size_t i = hash & mask;
    while (index[i] >= 0)
        i = (i + 1) & mask;
    index[i] = position;
}
