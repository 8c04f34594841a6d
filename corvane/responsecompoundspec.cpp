#include "responsecompoundspec.h"

void ResponseCompoundSpec::addYesNoSpec(ResponseYNSpec::SubType subType)
{
    ResponseYNSpec spec;
    spec.subType = subType;
    entries.append(ResponseSpec(spec));
}

void ResponseCompoundSpec::addSingleSelectSpec(_EnumResponseSelectSubType::SubType subType,
                                               uint32_t choiceCount)
{
    ResponseSingleSelectSpec spec;
    spec.subType = subType;
    spec.choiceCount = choiceCount;
    entries.append(ResponseSpec(spec));
}

void ResponseCompoundSpec::addMultiSelectSpec(_EnumResponseSelectSubType::SubType subType,
                                              uint32_t choiceCount)
{
    ResponseMultiSelectSpec spec;
    spec.subType = subType;
    spec.choiceCount = choiceCount;
    entries.append(ResponseSpec(spec));
}

void ResponseCompoundSpec::addStringSpec(ResponseStringSpec::SubType subType, int32_t stringParam)
{
    ResponseStringSpec spec;
    spec.subType = subType;
    spec.stringParam = stringParam;
    entries.append(ResponseSpec(spec));
}

void ResponseCompoundSpec::addResponseSpec(const ResponseSpec &spec)
{
    const auto type = spec.getMainType();
    if (type == _EnumResponseMainType::TypeCompound || type == _EnumResponseMainType::TypeNone)
        return;
    entries.append(spec);
}

int ResponseCompoundSpec::count() const
{
    return entries.size();
}

_EnumResponseMainType::MainType ResponseCompoundSpec::getMainType(int index) const
{
    return getResponseSpec(index).getMainType();
}

ResponseSpec ResponseCompoundSpec::getResponseSpec(int index) const
{
    if (index < 0 || index >= entries.size())
        return ResponseSpec();
    return entries.at(index);
}

ResponseYNSpec ResponseCompoundSpec::getYesNoResponseSpec(int index) const
{
    return getResponseSpec(index).getYesNoSpec();
}

ResponseSingleSelectSpec ResponseCompoundSpec::getSingleSelectResponseSpec(int index) const
{
    return getResponseSpec(index).getSingleSelectSpec();
}

ResponseMultiSelectSpec ResponseCompoundSpec::getMultiSelectResponseSpec(int index) const
{
    return getResponseSpec(index).getMultiSelectSpec();
}

ResponseStringSpec ResponseCompoundSpec::getStringResponseSpec(int index) const
{
    return getResponseSpec(index).getStringSpec();
}
