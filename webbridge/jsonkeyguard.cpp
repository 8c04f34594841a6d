#include "jsonkeyguard.h"

#include <QSet>
#include <QString>

#include <cstring>
#include <vector>

namespace {

// Objects with more keys than this keep them in a hash; below it a scan of
// a few short keys is cheaper than hashing each one.
constexpr size_t ScannedKeys = 16;

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

// The key's text as the parser sees it, so that "a" and "\u0061" compare
// equal. Only keys with an escape or a byte beyond ASCII need it; a plain
// key compares by its bytes.
QString decodeString(const char *text, int size)
{
    QByteArray raw;
    QString decoded;
    int i = 0;
    auto flushRaw = [&] {
        decoded += QString::fromUtf8(raw);
        raw.clear();
    };
    while (i < size) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= size) {
            raw += c;
            ++i;
            continue;
        }
        const char e = text[i + 1];
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
                const int v = hexValue(text[i]);
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
    return decoded;
}

// One key of an object: its bytes between the quotes, and its decoded text
// when the bytes alone do not say what the key is.
struct Key
{
    const char *text = nullptr;
    int size = 0;
    bool plain = true;   // no escape, ASCII only
    QString decoded;

    QString toString() const { return plain ? QString::fromLatin1(text, size) : decoded; }

    bool operator==(const Key &other) const
    {
        if (plain && other.plain)
            return size == other.size && std::memcmp(text, other.text, size_t(size)) == 0;
        if (plain)
            return other.decoded == QLatin1String(text, size);
        if (other.plain)
            return decoded == QLatin1String(other.text, other.size);
        return decoded == other.decoded;
    }
};

struct Level
{
    bool object = false;
    bool expectKey = false;
    std::vector<Key> keys;
    QSet<QString> manyKeys;

    // False when the object already has the key.
    bool insert(Key key)
    {
        if (keys.size() < ScannedKeys) {
            for (const Key &seen : keys) {
                if (seen == key)
                    return false;
            }
            keys.push_back(std::move(key));
            if (keys.size() == ScannedKeys) {
                for (const Key &seen : keys)
                    manyKeys.insert(seen.toString());
            }
            return true;
        }
        const QString text = key.toString();
        if (manyKeys.contains(text))
            return false;
        manyKeys.insert(text);
        return true;
    }
};

// The string that starts at text[*pos] == '"': its content's bounds, and
// whether it needs decoding. *pos ends after the closing quote (or at the
// end of the text).
Key readString(const QByteArray &text, int *pos)
{
    const char *const data = text.constData();
    const int size = text.size();
    int i = *pos + 1;
    Key key;
    key.text = data + i;
    while (i < size && data[i] != '"') {
        const char c = data[i];
        if (uchar(c) >= 0x80)
            key.plain = false;
        if (c == '\\' && i + 1 < size) {
            key.plain = false;
            i += 2;   // an escaped character is never the closing quote
            continue;
        }
        ++i;
    }
    key.size = int(data + i - key.text);
    *pos = i < size ? i + 1 : size;
    return key;
}

} // namespace

JsonKeyGuard::Verdict JsonKeyGuard::check(const QByteArray &utf8)
{
    std::vector<Level> levels;
    int i = 0;
    const int size = utf8.size();
    const char *const data = utf8.constData();
    while (i < size) {
        const char c = data[i];
        switch (c) {
        case '{':
        case '[':
            if (int(levels.size()) >= MaxDepth)
                return Verdict::TooDeep;
            levels.emplace_back();
            levels.back().object = c == '{';
            levels.back().expectKey = c == '{';
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
            Key key = readString(utf8, &i);
            if (!levels.empty() && levels.back().object && levels.back().expectKey) {
                Level &level = levels.back();
                if (!key.plain)
                    key.decoded = decodeString(key.text, key.size);
                if (!level.insert(std::move(key)))
                    return Verdict::RepeatedKey;
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
