#ifndef RESPONSE_H
#define RESPONSE_H

#include "corvane_global.h"
#include "responseholder.h"

// One answer of any kind: yes/no, single choice, multiple choice, text, a
// compound (its ResponseCompoundSpec and one answer per entry), or nothing
// (TypeNone). A value type: a copy clones everything it holds. Read it with
// get<ResponseYN>() and the like: a kind it does not hold reads as the
// "missing" value (answer -1, choice -1, no choices, empty text, an empty
// compound).
class CORVANE_EXPORT Response : public ResponseValueHolder
{
public:
    using ResponseHolder::ResponseHolder;
};

#endif // RESPONSE_H
