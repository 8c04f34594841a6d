#include "doccamupnpdata.h"

void DocCamUpnpData::registerMetaType()
{
    qRegisterMetaType<DocCamUpnpData>("DocCamUpnpData");
}
