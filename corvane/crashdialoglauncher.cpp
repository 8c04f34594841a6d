#include "crashdialoglauncher.h"

#include "logsystem.h"

CrashDialogLauncher::~CrashDialogLauncher()
{
    LogSystem::forgetCrashDialogLauncher(this);
}
