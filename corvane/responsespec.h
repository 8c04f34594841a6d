#ifndef RESPONSESPEC_H
#define RESPONSESPEC_H

#include "corvane_global.h"
#include "responsetypes.h"

#include <memory>

class ResponseCompoundSpec;

// One expected answer of any kind: a yes/no, single-choice, multiple-choice
// or text spec, a compound list of them, or nothing (TypeNone). A value type:
// a copy clones everything it holds.
class CORVANE_EXPORT ResponseSpec
{
public:
    ResponseSpec();
    // The record's type field is set from the kind it is held as.
    explicit ResponseSpec(const ResponseYNSpec &spec);
    explicit ResponseSpec(const ResponseSingleSelectSpec &spec);
    explicit ResponseSpec(const ResponseMultiSelectSpec &spec);
    explicit ResponseSpec(const ResponseStringSpec &spec);
    explicit ResponseSpec(const ResponseCompoundSpec &spec);
    ResponseSpec(const ResponseSpec &other);
    ResponseSpec &operator=(const ResponseSpec &other);
    ~ResponseSpec();

    _EnumResponseMainType::MainType getMainType() const;

    // The held record when it is of that kind; otherwise the record with
    // subType -1 (and a count or parameter of 0), or an empty compound.
    ResponseYNSpec getYesNoSpec() const;
    ResponseSingleSelectSpec getSingleSelectSpec() const;
    ResponseMultiSelectSpec getMultiSelectSpec() const;
    ResponseStringSpec getStringSpec() const;
    ResponseCompoundSpec getCompoundSpec() const;

private:
    struct Data;
    std::unique_ptr<Data> d;
};

#endif // RESPONSESPEC_H
