#ifndef RESPONSELIST_H
#define RESPONSELIST_H

#include "responsetypes.h"

#include <QVector>

// What ResponseCompoundSpec and ResponseCompound have in common: an ordered
// list of holders (ResponseSpec or Response) read by index. An index outside
// 0 to count() - 1 addresses nothing: it reads as an empty holder (TypeNone),
// so a typed read answers that kind's "missing" record.
template <typename Holder>
class ResponseList
{
public:
    int count() const { return entries.size(); }
    _EnumResponseMainType::MainType getMainType(int index) const { return entry(index).getMainType(); }

protected:
    Holder entry(int index) const
    {
        return index >= 0 && index < entries.size() ? entries.at(index) : Holder();
    }
    template <typename Kind>
    Kind entryAs(int index) const
    {
        return entry(index).template get<Kind>();
    }

    QVector<Holder> entries;
};

#endif // RESPONSELIST_H
