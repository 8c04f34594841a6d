#ifndef RESPONSE_H
#define RESPONSE_H

#include "corvane_global.h"
#include "responseholder.h"
#include "responsetypes.h"

class ResponseCompound;

extern template class CORVANE_EXPORT ResponseHolder<ResponseYN, ResponseSingleSelect, ResponseMultiSelect,
                                                    ResponseString, ResponseCompound>;

// One answer of any kind: yes/no, single choice, multiple choice, text, a
// compound (its ResponseCompoundSpec and one answer per entry), or nothing
// (TypeNone). A value type: a copy clones everything it holds.
class CORVANE_EXPORT Response
    : public ResponseHolder<ResponseYN, ResponseSingleSelect, ResponseMultiSelect, ResponseString,
                            ResponseCompound>
{
public:
    using ResponseHolder::ResponseHolder;

    // The held value when it is of that kind; otherwise the "missing" value:
    // answer -1, choice -1, no choices, empty text, or an empty compound.
    ResponseYN getYesNoResponse() const { return get<ResponseYN>(); }
    ResponseSingleSelect getSingleSelectResponse() const { return get<ResponseSingleSelect>(); }
    ResponseMultiSelect getMultiSelectResponse() const { return get<ResponseMultiSelect>(); }
    ResponseString getStringResponse() const { return get<ResponseString>(); }
    ResponseCompound getCompoundResponse() const;
};

#endif // RESPONSE_H
