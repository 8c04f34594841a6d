#ifndef APPLOG_H
#define APPLOG_H

#include "logsystem.h"

#include <QString>

// The program's one logging function: every line of Pathmere goes through it
// under the module "Pathmere/Pathmere". Pass strings as const char *.
void appLog(LogSystem::LogLevel level, QString format, ...);

// The same for a format given as UTF-8 text, which is how the program logs
// (string literals): it spares the caller building a QString on every call,
// which would cost more than the log system's whole level filter.
void appLog(LogSystem::LogLevel level, const char *format, ...);

#endif // APPLOG_H
