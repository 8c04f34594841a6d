#include "logmessageformat.h"

#include <cstdint>
#include <cstring>

namespace {

// Whether none of the size bytes at text has its top bit set, eight at a
// time: the text is copied right after, so it is worth not looking twice.
bool isAscii(const char *text, size_t size)
{
    constexpr uint64_t topBits = 0x8080808080808080ull;
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, text + i, 8);
        any |= word;
    }
    for (; i < size; ++i)
        any |= static_cast<unsigned char>(text[i]);
    return !(any & topBits);
}

// Appends size bytes of ASCII text; false when they are not all ASCII or do
// not fit.
bool putAscii(char *&dst, const char *end, const char *text, size_t size)
{
    if (size > size_t(end - dst) || !isAscii(text, size))
        return false;
    memcpy(dst, text, size);
    dst += size;
    return true;
}

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

bool putDigits(char *&dst, const char *end, const char *from, const char *to)
{
    if (to - from > end - dst)
        return false;
    memcpy(dst, from, size_t(to - from));
    dst += to - from;
    return true;
}

} // namespace

int LogMessageFormat::formatAscii(char *out, int capacity, const char *format, va_list args)
{
    char *dst = out;
    const char *const end = out + capacity;
    char scratch[21];
    char *const scratchEnd = scratch + sizeof scratch;

    const char *p = format;
    for (;;) {
        const char *const literalEnd = strchrnul(p, '%');
        if (!putAscii(dst, end, p, size_t(literalEnd - p)))
            return -1;
        if (!*literalEnd)
            break;

        p = literalEnd + 1;
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
            if (!text || !putAscii(dst, end, text, strlen(text)))
                return -1;
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
            if (!putDigits(dst, end, first, scratchEnd))
                return -1;
            break;
        }
        case 'u': {
            const unsigned long long value = longs == 0 ? va_arg(args, unsigned int)
                    : longs == 1                        ? va_arg(args, unsigned long)
                                                        : va_arg(args, unsigned long long);
            if (!putDigits(dst, end, decimalDigits(value, scratchEnd), scratchEnd))
                return -1;
            break;
        }
        default: // another conversion, a flag, a width, or the format's end
            return -1;
        }
        ++p;
    }
    return int(dst - out);
}
