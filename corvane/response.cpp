#include "response.h"

#include "responsecompound.h"

#include <variant>

// The alternatives are in the order of MainType, after "nothing".
struct Response::Data
{
    std::variant<std::monostate, ResponseYN, ResponseSingleSelect, ResponseMultiSelect, ResponseString,
                 ResponseCompound>
            held;
};

Response::Response() : d(new Data) {}

Response::Response(const ResponseYN &value) : d(new Data)
{
    ResponseYN copy = value;
    copy.type = _EnumResponseMainType::TypeYesNo;
    d->held = copy;
}

Response::Response(const ResponseSingleSelect &value) : d(new Data)
{
    ResponseSingleSelect copy = value;
    copy.type = _EnumResponseMainType::TypeSingleSelect;
    d->held = copy;
}

Response::Response(const ResponseMultiSelect &value) : d(new Data)
{
    ResponseMultiSelect copy = value;
    copy.type = _EnumResponseMainType::TypeMultiSelect;
    d->held = copy;
}

Response::Response(const ResponseString &value) : d(new Data)
{
    ResponseString copy = value;
    copy.type = _EnumResponseMainType::TypeString;
    d->held = copy;
}

Response::Response(const ResponseCompound &value) : d(new Data)
{
    d->held = value;
}

Response::Response(const Response &other) : d(new Data(*other.d)) {}

Response &Response::operator=(const Response &other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

Response::~Response() = default;

_EnumResponseMainType::MainType Response::getMainType() const
{
    const auto index = d->held.index();
    return index == 0 ? _EnumResponseMainType::TypeNone
                      : _EnumResponseMainType::MainType(index - 1);
}

ResponseYN Response::getYesNoResponse() const
{
    if (const auto *value = std::get_if<ResponseYN>(&d->held))
        return *value;
    ResponseYN missing;
    missing.answer = -1;
    return missing;
}

ResponseSingleSelect Response::getSingleSelectResponse() const
{
    if (const auto *value = std::get_if<ResponseSingleSelect>(&d->held))
        return *value;
    ResponseSingleSelect missing;
    missing.choice = -1;
    return missing;
}

ResponseMultiSelect Response::getMultiSelectResponse() const
{
    if (const auto *value = std::get_if<ResponseMultiSelect>(&d->held))
        return *value;
    return ResponseMultiSelect();
}

ResponseString Response::getStringResponse() const
{
    if (const auto *value = std::get_if<ResponseString>(&d->held))
        return *value;
    return ResponseString();
}

ResponseCompound Response::getCompoundResponse() const
{
    if (const auto *value = std::get_if<ResponseCompound>(&d->held))
        return *value;
    return ResponseCompound();
}
