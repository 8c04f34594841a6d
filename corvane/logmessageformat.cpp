#include "logmessageformat.h"

namespace {

// Decimal digits of value, written backwards from the end of a 20-byte
// scratch area; returns the first digit.
char *decimalDigits(unsigned long long value, char *end)
{
    do {
        *--end = char('0' + value % 10);
        value /= 10;
    } while (value);
    return end;
}

bool put(char *&dst, const char *end, const char *from, const char *to)
{
    if (to - from > end - dst)
        return false;
    while (from != to)
        *dst++ = *from++;
    return true;
}

} // namespace

int LogMessageFormat::formatAscii(char *out, int capacity, const char *format, va_list args)
{
    char *dst = out;
    const char *const end = out + capacity;
    char scratch[21];
    char *const scratchEnd = scratch + sizeof scratch;

    for (const char *p = format; *p; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80)
            return -1;
        if (*p != '%') {
            if (dst == end)
                return -1;
            *dst++ = *p;
            continue;
        }

        ++p;
        int longs = 0;
        while (*p == 'l' && longs < 2) {
            ++longs;
            ++p;
        }
        switch (*p) {
        case '%':
            if (longs || dst == end)
                return -1;
            *dst++ = '%';
            break;
        case 's': {
            if (longs)
                return -1;
            const char *text = va_arg(args, const char *);
            if (!text)
                return -1;
            for (; *text; ++text) {
                if (static_cast<unsigned char>(*text) >= 0x80 || dst == end)
                    return -1;
                *dst++ = *text;
            }
            break;
        }
        case 'd':
        case 'i': {
            const long long value = longs == 0 ? va_arg(args, int)
                    : longs == 1               ? va_arg(args, long)
                                               : va_arg(args, long long);
            // Negated as unsigned, so that the smallest value has a magnitude.
            const unsigned long long magnitude =
                    value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
            char *first = decimalDigits(magnitude, scratchEnd);
            if (value < 0)
                *--first = '-';
            if (!put(dst, end, first, scratchEnd))
                return -1;
            break;
        }
        case 'u': {
            const unsigned long long value = longs == 0 ? va_arg(args, unsigned int)
                    : longs == 1                        ? va_arg(args, unsigned long)
                                                        : va_arg(args, unsigned long long);
            if (!put(dst, end, decimalDigits(value, scratchEnd), scratchEnd))
                return -1;
            break;
        }
        default: // another conversion, a flag, a width, or the format's end
            return -1;
        }
    }
    return int(dst - out);
}
