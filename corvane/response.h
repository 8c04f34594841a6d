#ifndef RESPONSE_H
#define RESPONSE_H

#include "corvane_global.h"
#include "responsetypes.h"

#include <memory>

class ResponseCompound;

// One answer of any kind: yes/no, single choice, multiple choice, text, a
// compound (its ResponseCompoundSpec and one answer per entry), or nothing (TypeNone). A
// value type: a copy clones everything it holds.
class CORVANE_EXPORT Response
{
public:
    Response();
    // The record's type field is set from the kind it is held as.
    explicit Response(const ResponseYN &value);
    explicit Response(const ResponseSingleSelect &value);
    explicit Response(const ResponseMultiSelect &value);
    explicit Response(const ResponseString &value);
    explicit Response(const ResponseCompound &value);
    Response(const Response &other);
    Response &operator=(const Response &other);
    ~Response();

    _EnumResponseMainType::MainType getMainType() const;

    // The held value when it is of that kind; otherwise the "missing" value:
    // answer -1, choice -1, no choices, empty text, or an empty compound.
    ResponseYN getYesNoResponse() const;
    ResponseSingleSelect getSingleSelectResponse() const;
    ResponseMultiSelect getMultiSelectResponse() const;
    ResponseString getStringResponse() const;
    ResponseCompound getCompoundResponse() const;

private:
    struct Data;
    std::unique_ptr<Data> d;
};

#endif // RESPONSE_H
