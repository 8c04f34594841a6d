#include "responsespec.h"

#include "responsecompoundspec.h"

ResponseCompoundSpec ResponseSpec::getCompoundSpec() const
{
    return get<ResponseCompoundSpec>();
}
