#ifndef RESPONSECOMPOUND_H
#define RESPONSECOMPOUND_H

#include "corvane_global.h"
#include "response.h"
#include "responsecompoundspec.h"
#include "responselist.h"
#include "responsetypes.h"

#include <QString>

// The answers to a ResponseCompoundSpec: one value per entry of that compound, at
// the same index, each starting fresh (answer 0, choice 0, no choices, empty
// text). An index outside 0 to count() - 1 addresses nothing: getters answer
// the "missing" value (see Response), setters change nothing. A setter whose
// kind differs from the entry's changes nothing either.
class CORVANE_EXPORT ResponseCompound : public ResponseList<Response>
{
public:
    explicit ResponseCompound(const ResponseCompoundSpec &spec = ResponseCompoundSpec());

    ResponseCompoundSpec getSpec() const { return spec; }

    Response getResponse(int index) const { return entry(index); }
    ResponseYN getYesNoResponse(int index) const { return entryAs<ResponseYN>(index); }
    ResponseSingleSelect getSingleSelectResponse(int index) const { return entryAs<ResponseSingleSelect>(index); }
    ResponseMultiSelect getMultiSelectResponse(int index) const { return entryAs<ResponseMultiSelect>(index); }
    ResponseString getStringResponse(int index) const { return entryAs<ResponseString>(index); }

    void setYesNoResponse(int index, int32_t answer);
    // The choice is kept as a signed 32-bit value.
    void setSingleSelectResponse(int index, uint32_t choice);
    void setMultiSelectResponse(int index, uint32_t choices);
    void setStringResponse(int index, QString text);
    void setResponse(int index, const Response &response);

private:
    ResponseCompoundSpec spec;
};

#endif // RESPONSECOMPOUND_H
