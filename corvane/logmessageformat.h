#ifndef LOGMESSAGEFORMAT_H
#define LOGMESSAGEFORMAT_H

#include <cstdarg>

// The log system's own printf for the common case: the conversions the
// program logs with (%s, %d, %i, %u, the last three also with l or ll, and
// %%), all text ASCII. For those it gives the very characters
// QString::vasprintf gives, as bytes, with no allocation.
class LogMessageFormat
{
public:
    // Writes the message into out and returns its length; -1 when the format
    // or an argument is outside the common case (any other conversion, a
    // flag, a width, a precision, a byte above 0x7F, a null string) or the
    // message does not fit into capacity. args is consumed either way: pass
    // a copy when Qt is to format the line after a -1.
    static int formatAscii(char *out, int capacity, const char *format, va_list args);

private:
    LogMessageFormat() = delete;
};

#endif // LOGMESSAGEFORMAT_H
