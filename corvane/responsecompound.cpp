#include "responsecompound.h"

ResponseCompound::ResponseCompound(const ResponseCompoundSpec &spec) : spec(spec)
{
    entries.reserve(spec.count());
    for (int i = 0; i < spec.count(); ++i)
        entries.append(Response(spec.getMainType(i)));
}

void ResponseCompound::setYesNoResponse(int index, int32_t answer)
{
    setResponse(index, Response(ResponseYN { _EnumResponseMainType::TypeYesNo, answer }));
}

void ResponseCompound::setSingleSelectResponse(int index, uint32_t choice)
{
    setResponse(index,
                Response(ResponseSingleSelect { _EnumResponseMainType::TypeSingleSelect, int32_t(choice) }));
}

void ResponseCompound::setMultiSelectResponse(int index, uint32_t choices)
{
    setResponse(index, Response(ResponseMultiSelect { _EnumResponseMainType::TypeMultiSelect, choices }));
}

void ResponseCompound::setStringResponse(int index, QString text)
{
    setResponse(index, Response(ResponseString { _EnumResponseMainType::TypeString, std::move(text) }));
}

void ResponseCompound::setResponse(int index, const Response &response)
{
    if (getMainType(index) == _EnumResponseMainType::TypeNone || getMainType(index) != response.getMainType())
        return;
    entries[index] = response;
}
