#ifndef JSONKEYGUARD_H
#define JSONKEYGUARD_H

#include <QByteArray>

// A look at JSON text before Qt parses it. Qt 5.15's QJsonDocument keeps
// the memory of a value that a repeated key replaces, so a page that sends
// {"a":[...],"a":0} over and over grows the program without end; and a deep
// nesting costs the parser a frame per level. The page's own messages never
// repeat a key and nest a few levels, so such a text is refused before it
// is parsed. Malformed text is left for the parser to refuse.
class JsonKeyGuard
{
public:
    // Deeper than any message of the page or the web channel (4 levels).
    static constexpr int MaxDepth = 32;

    enum class Verdict {
        Accepted,
        RepeatedKey,    // an object names the same key twice (escapes decoded)
        TooDeep         // objects and arrays nest more than MaxDepth levels
    };

    static Verdict check(const QByteArray &utf8);
};

#endif // JSONKEYGUARD_H
