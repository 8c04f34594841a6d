#ifndef RESPONSECOMPOUND_H
#define RESPONSECOMPOUND_H

#include "corvane_global.h"
#include "response.h"
#include "responsecompoundspec.h"
#include "responsetypes.h"

#include <QString>
#include <QVector>

// The answers to a ResponseCompoundSpec: one value per entry of that compound, at
// the same index, each starting fresh (answer 0, choice 0, no choices, empty
// text). An index outside 0 to count() - 1 addresses nothing: getters answer
// the "missing" value (see Response), setters change nothing. A setter whose
// kind differs from the entry's changes nothing either.
class CORVANE_EXPORT ResponseCompound
{
public:
    explicit ResponseCompound(const ResponseCompoundSpec &spec = ResponseCompoundSpec());

    ResponseCompoundSpec getSpec() const;
    int count() const;

    _EnumResponseMainType::MainType getMainType(int index) const;
    Response getResponse(int index) const;
    ResponseYN getYesNoResponse(int index) const;
    ResponseSingleSelect getSingleSelectResponse(int index) const;
    ResponseMultiSelect getMultiSelectResponse(int index) const;
    ResponseString getStringResponse(int index) const;

    void setYesNoResponse(int index, int32_t answer);
    // The choice is kept as a signed 32-bit value.
    void setSingleSelectResponse(int index, uint32_t choice);
    void setMultiSelectResponse(int index, uint32_t choices);
    void setStringResponse(int index, QString text);
    void setResponse(int index, const Response &response);

private:
    ResponseCompoundSpec spec;
    QVector<Response> values;
};

#endif // RESPONSECOMPOUND_H
