#ifndef RESPONSECOMPOUNDSPEC_H
#define RESPONSECOMPOUNDSPEC_H

#include "corvane_global.h"
#include "responsespec.h"
#include "responsetypes.h"

#include <QVector>

// The ordered list of expected answers a ResponseCompound is built from.
// Entries are single specs (yes/no, single choice, multiple choice, text);
// lists do not nest. An index outside 0 to count() - 1 addresses nothing:
// the getters then answer TypeNone, an empty ResponseSpec or a record with subType -1.
class CORVANE_EXPORT ResponseCompoundSpec
{
public:
    void addYesNoSpec(ResponseYNSpec::SubType subType);
    void addSingleSelectSpec(_EnumResponseSelectSubType::SubType subType, uint32_t choiceCount);
    void addMultiSelectSpec(_EnumResponseSelectSubType::SubType subType, uint32_t choiceCount);
    void addStringSpec(ResponseStringSpec::SubType subType, int32_t stringParam);
    // A compound or empty ResponseSpec is ignored.
    void addResponseSpec(const ResponseSpec &spec);

    int count() const;
    _EnumResponseMainType::MainType getMainType(int index) const;
    ResponseSpec getResponseSpec(int index) const;
    ResponseYNSpec getYesNoResponseSpec(int index) const;
    ResponseSingleSelectSpec getSingleSelectResponseSpec(int index) const;
    ResponseMultiSelectSpec getMultiSelectResponseSpec(int index) const;
    ResponseStringSpec getStringResponseSpec(int index) const;

private:
    QVector<ResponseSpec> entries;
};

#endif // RESPONSECOMPOUNDSPEC_H
