#ifndef APPLOG_H
#define APPLOG_H

#include "logsystem.h"

#include <QString>

// The program's one logging function: every line of Pathmere goes through it
// under the module "Pathmere/Pathmere". Pass strings as const char *.
void appLog(LogSystem::LogLevel level, QString format, ...);

#endif // APPLOG_H
