#ifndef RESPONSESPEC_H
#define RESPONSESPEC_H

#include "corvane_global.h"
#include "responseholder.h"
#include "responsetypes.h"

class ResponseCompoundSpec;

extern template class CORVANE_EXPORT ResponseHolder<ResponseYNSpec, ResponseSingleSelectSpec,
                                                    ResponseMultiSelectSpec, ResponseStringSpec,
                                                    ResponseCompoundSpec>;

// One expected answer of any kind: a yes/no, single-choice, multiple-choice
// or text spec, a compound list of them, or nothing (TypeNone). A value type:
// a copy clones everything it holds.
class CORVANE_EXPORT ResponseSpec
    : public ResponseHolder<ResponseYNSpec, ResponseSingleSelectSpec, ResponseMultiSelectSpec,
                            ResponseStringSpec, ResponseCompoundSpec>
{
public:
    using ResponseHolder::ResponseHolder;

    // The held record when it is of that kind; otherwise the record with
    // subType -1 (and a count or parameter of 0), or an empty compound.
    ResponseYNSpec getYesNoSpec() const { return get<ResponseYNSpec>(); }
    ResponseSingleSelectSpec getSingleSelectSpec() const { return get<ResponseSingleSelectSpec>(); }
    ResponseMultiSelectSpec getMultiSelectSpec() const { return get<ResponseMultiSelectSpec>(); }
    ResponseStringSpec getStringSpec() const { return get<ResponseStringSpec>(); }
    ResponseCompoundSpec getCompoundSpec() const;
};

#endif // RESPONSESPEC_H
