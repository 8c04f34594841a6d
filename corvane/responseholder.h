#ifndef RESPONSEHOLDER_H
#define RESPONSEHOLDER_H

#include "corvane_global.h"
#include "responsetypes.h"

#include <memory>
#include <type_traits>

// The one variant holder of the response model, behind both Response (the
// answers) and ResponseSpec (the expected answers): one record of the kinds
// given, or nothing (TypeNone). The kinds are listed in the order of
// MainType, the compound last, so a kind's MainType is its place in the list.
// A value type: a copy clones everything it holds.
//
// The compound kinds hold lists of holders, so they are incomplete here; the
// library instantiates the two holders it exports (responseholder.cpp).
template <typename... Kinds>
class ResponseHolder
{
public:
    ResponseHolder();
    // Holds a copy whose type field (where the record has one) says the kind
    // it is held as.
    template <typename Kind, typename = std::enable_if_t<(std::is_same_v<Kind, Kinds> || ...)>>
    explicit ResponseHolder(const Kind &record) : ResponseHolder(kindOf<Kind>(), &record)
    {
    }
    // Holds a fresh record of that kind (answer 0, choice 0, no choices,
    // empty text, an empty compound); nothing for TypeNone.
    explicit ResponseHolder(_EnumResponseMainType::MainType kind);
    ResponseHolder(const ResponseHolder &other);
    ResponseHolder &operator=(const ResponseHolder &other);

    _EnumResponseMainType::MainType getMainType() const;

    // The held record when it is of that kind, otherwise that kind's record
    // marked absent where it has a field for it: -1 in a spec's subType, in a
    // yes/no answer and in a single choice.
    template <typename Kind>
    Kind get() const
    {
        const void *const record = recordOf(kindOf<Kind>());
        return record ? *static_cast<const Kind *>(record) : absent<Kind>();
    }

protected:
    ~ResponseHolder();

private:
    template <typename Record, typename = void>
    struct HasSubType : std::false_type
    {
    };
    template <typename Record>
    struct HasSubType<Record, std::void_t<decltype(Record::subType)>> : std::true_type
    {
    };

    template <typename Kind>
    static Kind absent()
    {
        Kind record {};
        if constexpr (std::is_same_v<Kind, ResponseYN>)
            record.answer = -1;
        else if constexpr (std::is_same_v<Kind, ResponseSingleSelect>)
            record.choice = -1;
        else if constexpr (HasSubType<Kind>::value)
            record.subType = decltype(record.subType)(-1);
        return record;
    }

    template <typename Kind>
    static constexpr int kindOf()
    {
        static_assert((std::is_same_v<Kind, Kinds> || ...), "not a kind of this holder");
        constexpr bool matches[] = { std::is_same_v<Kind, Kinds>... };
        int kind = 0;
        while (!matches[kind])
            ++kind;
        return kind;
    }

    // A copy of record, or a fresh record when it is null.
    ResponseHolder(int kind, const void *record);
    // The held record if it is of that kind, else null.
    const void *recordOf(int kind) const;

    struct Data;
    std::unique_ptr<Data> d;
};

// The two holders the library exports.
class ResponseCompound;
class ResponseCompoundSpec;
using ResponseValueHolder =
        ResponseHolder<ResponseYN, ResponseSingleSelect, ResponseMultiSelect, ResponseString, ResponseCompound>;
using ResponseSpecHolder = ResponseHolder<ResponseYNSpec, ResponseSingleSelectSpec, ResponseMultiSelectSpec,
                                          ResponseStringSpec, ResponseCompoundSpec>;
extern template class CORVANE_EXPORT ResponseHolder<ResponseYN, ResponseSingleSelect, ResponseMultiSelect,
                                                    ResponseString, ResponseCompound>;
extern template class CORVANE_EXPORT ResponseHolder<ResponseYNSpec, ResponseSingleSelectSpec,
                                                    ResponseMultiSelectSpec, ResponseStringSpec,
                                                    ResponseCompoundSpec>;

#endif // RESPONSEHOLDER_H
