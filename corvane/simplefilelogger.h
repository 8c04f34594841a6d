#ifndef SIMPLEFILELOGGER_H
#define SIMPLEFILELOGGER_H

#include "corvane_global.h"
#include "filebasedlogger.h"

#include <QString>

// A file logger that always writes to the one file it was given.
class CORVANE_EXPORT SimpleFileLogger : public FileBasedLogger
{
public:
    SimpleFileLogger(QString fileName, bool append);
    SimpleFileLogger(const SimpleFileLogger &other) = default;
    SimpleFileLogger &operator=(const SimpleFileLogger &other) = default;
    ~SimpleFileLogger() override;

protected:
    QString getFileName() override;

private:
    QString fileName;
};

#endif // SIMPLEFILELOGGER_H
