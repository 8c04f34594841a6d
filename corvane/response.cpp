#include "response.h"

#include "responsecompound.h"

ResponseCompound Response::getCompoundResponse() const
{
    return get<ResponseCompound>();
}
