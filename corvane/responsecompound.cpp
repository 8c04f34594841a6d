#include "responsecompound.h"

ResponseCompound::ResponseCompound(const ResponseCompoundSpec &spec) : spec(spec)
{
    values.reserve(spec.count());
    for (int i = 0; i < spec.count(); ++i) {
        switch (spec.getMainType(i)) {
        case _EnumResponseMainType::TypeYesNo:
            values.append(Response(ResponseYN()));
            break;
        case _EnumResponseMainType::TypeSingleSelect:
            values.append(Response(ResponseSingleSelect()));
            break;
        case _EnumResponseMainType::TypeMultiSelect:
            values.append(Response(ResponseMultiSelect()));
            break;
        case _EnumResponseMainType::TypeString:
            values.append(Response(ResponseString()));
            break;
        default:
            // A ResponseCompoundSpec holds only the four single kinds; keep the indexes
            // aligned should that ever change.
            values.append(Response());
            break;
        }
    }
}

ResponseCompoundSpec ResponseCompound::getSpec() const
{
    return spec;
}

int ResponseCompound::count() const
{
    return values.size();
}

_EnumResponseMainType::MainType ResponseCompound::getMainType(int index) const
{
    return getResponse(index).getMainType();
}

Response ResponseCompound::getResponse(int index) const
{
    if (index < 0 || index >= values.size())
        return Response();
    return values.at(index);
}

ResponseYN ResponseCompound::getYesNoResponse(int index) const
{
    return getResponse(index).getYesNoResponse();
}

ResponseSingleSelect ResponseCompound::getSingleSelectResponse(int index) const
{
    return getResponse(index).getSingleSelectResponse();
}

ResponseMultiSelect ResponseCompound::getMultiSelectResponse(int index) const
{
    return getResponse(index).getMultiSelectResponse();
}

ResponseString ResponseCompound::getStringResponse(int index) const
{
    return getResponse(index).getStringResponse();
}

void ResponseCompound::setYesNoResponse(int index, int32_t answer)
{
    ResponseYN value;
    value.answer = answer;
    setResponse(index, Response(value));
}

void ResponseCompound::setSingleSelectResponse(int index, uint32_t choice)
{
    ResponseSingleSelect value;
    value.choice = int32_t(choice);
    setResponse(index, Response(value));
}

void ResponseCompound::setMultiSelectResponse(int index, uint32_t choices)
{
    ResponseMultiSelect value;
    value.choices = choices;
    setResponse(index, Response(value));
}

void ResponseCompound::setStringResponse(int index, QString text)
{
    ResponseString value;
    value.text = std::move(text);
    setResponse(index, Response(value));
}

void ResponseCompound::setResponse(int index, const Response &response)
{
    if (index < 0 || index >= values.size() || values.at(index).getMainType() != response.getMainType())
        return;
    values[index] = response;
}
