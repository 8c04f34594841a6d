#include "devicerecord.h"
#include "pathmere.h"
#include "crashhook.h"
#include <QString>
