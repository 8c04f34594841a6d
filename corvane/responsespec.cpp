#include "responsespec.h"

#include "responsecompoundspec.h"

#include <variant>

// The alternatives are in the order of MainType, after "nothing".
struct ResponseSpec::Data
{
    std::variant<std::monostate, ResponseYNSpec, ResponseSingleSelectSpec, ResponseMultiSelectSpec,
                 ResponseStringSpec, ResponseCompoundSpec>
            held;
};

ResponseSpec::ResponseSpec() : d(new Data) {}

ResponseSpec::ResponseSpec(const ResponseYNSpec &spec) : d(new Data)
{
    ResponseYNSpec copy = spec;
    copy.type = _EnumResponseMainType::TypeYesNo;
    d->held = copy;
}

ResponseSpec::ResponseSpec(const ResponseSingleSelectSpec &spec) : d(new Data)
{
    ResponseSingleSelectSpec copy = spec;
    copy.type = _EnumResponseMainType::TypeSingleSelect;
    d->held = copy;
}

ResponseSpec::ResponseSpec(const ResponseMultiSelectSpec &spec) : d(new Data)
{
    ResponseMultiSelectSpec copy = spec;
    copy.type = _EnumResponseMainType::TypeMultiSelect;
    d->held = copy;
}

ResponseSpec::ResponseSpec(const ResponseStringSpec &spec) : d(new Data)
{
    ResponseStringSpec copy = spec;
    copy.type = _EnumResponseMainType::TypeString;
    d->held = copy;
}

ResponseSpec::ResponseSpec(const ResponseCompoundSpec &spec) : d(new Data)
{
    d->held = spec;
}

ResponseSpec::ResponseSpec(const ResponseSpec &other) : d(new Data(*other.d)) {}

ResponseSpec &ResponseSpec::operator=(const ResponseSpec &other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

ResponseSpec::~ResponseSpec() = default;

_EnumResponseMainType::MainType ResponseSpec::getMainType() const
{
    const auto index = d->held.index();
    return index == 0 ? _EnumResponseMainType::TypeNone
                      : _EnumResponseMainType::MainType(index - 1);
}

ResponseYNSpec ResponseSpec::getYesNoSpec() const
{
    if (const auto *spec = std::get_if<ResponseYNSpec>(&d->held))
        return *spec;
    ResponseYNSpec missing;
    missing.subType = ResponseYNSpec::SubType(-1);
    return missing;
}

ResponseSingleSelectSpec ResponseSpec::getSingleSelectSpec() const
{
    if (const auto *spec = std::get_if<ResponseSingleSelectSpec>(&d->held))
        return *spec;
    ResponseSingleSelectSpec missing;
    missing.subType = _EnumResponseSelectSubType::SubType(-1);
    return missing;
}

ResponseMultiSelectSpec ResponseSpec::getMultiSelectSpec() const
{
    if (const auto *spec = std::get_if<ResponseMultiSelectSpec>(&d->held))
        return *spec;
    ResponseMultiSelectSpec missing;
    missing.subType = _EnumResponseSelectSubType::SubType(-1);
    return missing;
}

ResponseStringSpec ResponseSpec::getStringSpec() const
{
    if (const auto *spec = std::get_if<ResponseStringSpec>(&d->held))
        return *spec;
    ResponseStringSpec missing;
    missing.subType = ResponseStringSpec::SubType(-1);
    return missing;
}

ResponseCompoundSpec ResponseSpec::getCompoundSpec() const
{
    if (const auto *spec = std::get_if<ResponseCompoundSpec>(&d->held))
        return *spec;
    return ResponseCompoundSpec();
}
