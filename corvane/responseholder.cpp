#include "responseholder.h"

#include "response.h"
#include "responsecompound.h"
#include "responsecompoundspec.h"
#include "responsespec.h"

#include <variant>

namespace {

template <typename Record, typename = void>
struct HasTypeField : std::false_type
{
};
template <typename Record>
struct HasTypeField<Record, std::void_t<decltype(Record::type)>> : std::true_type
{
};

} // namespace

// Alternative 0 is "nothing"; a kind's alternative is its MainType plus one.
template <typename... Kinds>
struct ResponseHolder<Kinds...>::Data
{
    std::variant<std::monostate, Kinds...> held;
};

template <typename... Kinds>
ResponseHolder<Kinds...>::ResponseHolder() : d(new Data)
{
}

template <typename... Kinds>
ResponseHolder<Kinds...>::ResponseHolder(int kind, const void *record) : d(new Data)
{
    int index = 0;
    const auto holdIfKind = [&](auto *typeTag) {
        using Kind = std::remove_pointer_t<decltype(typeTag)>;
        if (index++ != kind)
            return;
        Kind copy = record ? *static_cast<const Kind *>(record) : Kind();
        if constexpr (HasTypeField<Kind>::value)
            copy.type = _EnumResponseMainType::MainType(kind);
        d->held.template emplace<Kind>(std::move(copy));
    };
    (holdIfKind(static_cast<Kinds *>(nullptr)), ...);
}

template <typename... Kinds>
ResponseHolder<Kinds...>::ResponseHolder(_EnumResponseMainType::MainType kind) : ResponseHolder(int(kind), nullptr)
{
}

template <typename... Kinds>
ResponseHolder<Kinds...>::ResponseHolder(const ResponseHolder &other) : d(new Data(*other.d))
{
}

template <typename... Kinds>
ResponseHolder<Kinds...> &ResponseHolder<Kinds...>::operator=(const ResponseHolder &other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

template <typename... Kinds>
ResponseHolder<Kinds...>::~ResponseHolder() = default;

template <typename... Kinds>
_EnumResponseMainType::MainType ResponseHolder<Kinds...>::getMainType() const
{
    const auto index = d->held.index();
    return index == 0 ? _EnumResponseMainType::TypeNone : _EnumResponseMainType::MainType(index - 1);
}

template <typename... Kinds>
const void *ResponseHolder<Kinds...>::recordOf(int kind) const
{
    if (d->held.index() != std::size_t(kind) + 1)
        return nullptr;
    return std::visit([](const auto &held) -> const void * { return &held; }, d->held);
}

template class ResponseHolder<ResponseYN, ResponseSingleSelect, ResponseMultiSelect, ResponseString,
                              ResponseCompound>;
template class ResponseHolder<ResponseYNSpec, ResponseSingleSelectSpec, ResponseMultiSelectSpec,
                              ResponseStringSpec, ResponseCompoundSpec>;
