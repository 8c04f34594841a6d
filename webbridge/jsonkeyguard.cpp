#include "jsonkeyguard.h"

#include <QSet>
#include <QString>

#include <vector>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the string that starts at text[*pos] == '"' and leaves *pos after
// its closing quote (or at the end). The key is decoded so that "a" and
// "\u0061" compare equal, as they do for the parser.
QString readString(const QByteArray &text, int *pos)
{
    QByteArray raw;
    QString decoded;
    int i = *pos + 1;
    const int size = text.size();
    auto flushRaw = [&] {
        decoded += QString::fromUtf8(raw);
        raw.clear();
    };
    while (i < size && text.at(i) != '"') {
        const char c = text.at(i);
        if (c != '\\' || i + 1 >= size) {
            raw += c;
            ++i;
            continue;
        }
        const char e = text.at(i + 1);
        i += 2;
        switch (e) {
        case 'b': raw += '\b'; break;
        case 'f': raw += '\f'; break;
        case 'n': raw += '\n'; break;
        case 'r': raw += '\r'; break;
        case 't': raw += '\t'; break;
        case 'u': {
            int unit = 0;
            int digits = 0;
            for (; digits < 4 && i < size; ++digits, ++i) {
                const int v = hexValue(text.at(i));
                if (v < 0)
                    break;
                unit = unit * 16 + v;
            }
            flushRaw();
            decoded += QChar(ushort(unit));
            break;
        }
        default: raw += e; break;   // \" \\ \/ and anything the parser refuses
        }
    }
    flushRaw();
    *pos = i < size ? i + 1 : size;
    return decoded;
}

struct Level
{
    bool object = false;
    bool expectKey = false;
    QSet<QString> keys;
};

} // namespace

JsonKeyGuard::Verdict JsonKeyGuard::check(const QByteArray &utf8)
{
    std::vector<Level> levels;
    int i = 0;
    const int size = utf8.size();
    while (i < size) {
        const char c = utf8.at(i);
        switch (c) {
        case '{':
        case '[':
            if (int(levels.size()) >= MaxDepth)
                return Verdict::TooDeep;
            levels.push_back(Level{c == '{', c == '{', {}});
            ++i;
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            ++i;
            break;
        case ',':
            if (!levels.empty() && levels.back().object)
                levels.back().expectKey = true;
            ++i;
            break;
        case ':':
            if (!levels.empty())
                levels.back().expectKey = false;
            ++i;
            break;
        case '"': {
            const QString text = readString(utf8, &i);
            if (!levels.empty() && levels.back().object && levels.back().expectKey) {
                Level &level = levels.back();
                if (level.keys.contains(text))
                    return Verdict::RepeatedKey;
                level.keys.insert(text);
                level.expectKey = false;
            }
            break;
        }
        default:
            ++i;
            break;
        }
    }
    return Verdict::Accepted;
}
