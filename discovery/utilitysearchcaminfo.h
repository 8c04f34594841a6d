#ifndef UTILITYSEARCHCAMINFO_H
#define UTILITYSEARCHCAMINFO_H

#include "devicerecord.h"

// One camera as it answered the utility search: the device record itself,
// filled by the reply's parser (search type 0, address texts dotted decimal,
// the MAC "xx:xx:xx:xx:xx:xx" in lower-case hex, the serial number only from
// the long reply), so the list needs no copy of its own.
using UtilitySearchCamInfo = DeviceRecord;

#endif // UTILITYSEARCHCAMINFO_H
