#include "responsecompoundspec.h"

void ResponseCompoundSpec::addYesNoSpec(ResponseYNSpec::SubType subType)
{
    entries.append(ResponseSpec(ResponseYNSpec { _EnumResponseMainType::TypeYesNo, subType }));
}

void ResponseCompoundSpec::addSingleSelectSpec(_EnumResponseSelectSubType::SubType subType,
                                               uint32_t choiceCount)
{
    entries.append(ResponseSpec(
            ResponseSingleSelectSpec { _EnumResponseMainType::TypeSingleSelect, 0, subType, choiceCount }));
}

void ResponseCompoundSpec::addMultiSelectSpec(_EnumResponseSelectSubType::SubType subType,
                                              uint32_t choiceCount)
{
    entries.append(ResponseSpec(
            ResponseMultiSelectSpec { _EnumResponseMainType::TypeMultiSelect, 0, subType, choiceCount }));
}

void ResponseCompoundSpec::addStringSpec(ResponseStringSpec::SubType subType, int32_t stringParam)
{
    entries.append(
            ResponseSpec(ResponseStringSpec { _EnumResponseMainType::TypeString, subType, stringParam }));
}

void ResponseCompoundSpec::addResponseSpec(const ResponseSpec &spec)
{
    const auto type = spec.getMainType();
    if (type == _EnumResponseMainType::TypeCompound || type == _EnumResponseMainType::TypeNone)
        return;
    entries.append(spec);
}
