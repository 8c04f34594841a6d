#ifndef RESPONSESPEC_H
#define RESPONSESPEC_H

#include "corvane_global.h"
#include "responseholder.h"

// One expected answer of any kind: a yes/no, single-choice, multiple-choice
// or text spec, a compound list of them, or nothing (TypeNone). A value type:
// a copy clones everything it holds. Read it with get<ResponseYNSpec>() and
// the like: a kind it does not hold reads as that record with subType -1 (and
// a count or parameter of 0), or as an empty compound.
class CORVANE_EXPORT ResponseSpec : public ResponseSpecHolder
{
public:
    using ResponseHolder::ResponseHolder;
};

#endif // RESPONSESPEC_H
