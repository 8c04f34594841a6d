#include "simplefilelogger.h"

#include <utility>

SimpleFileLogger::SimpleFileLogger(QString fileName, bool append)
    : FileBasedLogger(append)
    , fileName(std::move(fileName))
{
}

SimpleFileLogger::~SimpleFileLogger() = default;

QString SimpleFileLogger::getFileName()
{
    return fileName;
}
