#ifndef RESPONSECOMPOUNDSPEC_H
#define RESPONSECOMPOUNDSPEC_H

#include "corvane_global.h"
#include "responselist.h"
#include "responsespec.h"
#include "responsetypes.h"

// The ordered list of expected answers a ResponseCompound is built from.
// Entries are single specs (yes/no, single choice, multiple choice, text);
// lists do not nest. An index outside 0 to count() - 1 addresses nothing:
// the getters then answer TypeNone, an empty ResponseSpec or a record with subType -1.
class CORVANE_EXPORT ResponseCompoundSpec : public ResponseList<ResponseSpec>
{
public:
    void addYesNoSpec(ResponseYNSpec::SubType subType);
    void addSingleSelectSpec(_EnumResponseSelectSubType::SubType subType, uint32_t choiceCount);
    void addMultiSelectSpec(_EnumResponseSelectSubType::SubType subType, uint32_t choiceCount);
    void addStringSpec(ResponseStringSpec::SubType subType, int32_t stringParam);
    // A compound or empty ResponseSpec is ignored.
    void addResponseSpec(const ResponseSpec &spec);

    ResponseSpec getResponseSpec(int index) const { return entry(index); }
    ResponseYNSpec getYesNoResponseSpec(int index) const { return entryAs<ResponseYNSpec>(index); }
    ResponseSingleSelectSpec getSingleSelectResponseSpec(int index) const { return entryAs<ResponseSingleSelectSpec>(index); }
    ResponseMultiSelectSpec getMultiSelectResponseSpec(int index) const { return entryAs<ResponseMultiSelectSpec>(index); }
    ResponseStringSpec getStringResponseSpec(int index) const { return entryAs<ResponseStringSpec>(index); }
};

#endif // RESPONSECOMPOUNDSPEC_H
