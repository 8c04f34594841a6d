#include "webpagerequest.h"

#include <cctype>
#include <cstring>

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_'
        || c == '-';
}

bool equalsIgnoringCase(const std::string &text, size_t size, const char *expected)
{
    if (std::strlen(expected) != size)
        return false;
    for (size_t i = 0; i < size; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != expected[i])
            return false;
    }
    return true;
}

bool endsWith(const std::string &text, const char *suffix)
{
    const size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

} // namespace

bool WebPageRequest::isAllowedHost(const std::string &host, quint16 port)
{
    if (host.empty() || host.size() > MaxHostLength || port == 0)
        return false;
    const size_t colon = host.rfind(':');
    if (colon == std::string::npos)
        return false;
    if (host.compare(colon + 1, std::string::npos, std::to_string(port)) != 0)
        return false;
    return equalsIgnoringCase(host, colon, "127.0.0.1") || equalsIgnoringCase(host, colon, "localhost");
}

bool WebPageRequest::fileComponents(const std::string &target, std::vector<std::string> *components)
{
    components->clear();
    if (target.empty() || target.size() > MaxTargetLength || target[0] != '/')
        return false;
    const size_t end = target.find_first_of("?#");
    const std::string encoded = target.substr(0, end);

    std::string path;
    path.reserve(encoded.size());
    for (size_t i = 0; i < encoded.size(); ++i) {
        char c = encoded[i];
        if (c == '%') {
            if (i + 2 >= encoded.size() || !std::isxdigit(static_cast<unsigned char>(encoded[i + 1]))
                || !std::isxdigit(static_cast<unsigned char>(encoded[i + 2])))
                return false;
            c = char(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
            // An escaped separator would join what the path splits.
            if (c == '/')
                return false;
            i += 2;
        }
        path += c;
    }

    std::vector<std::string> parts;
    size_t start = 1;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        const bool last = slash == std::string::npos;
        if (part.empty()) {
            // Only the last one may be empty: "/" or "dir/" names the index.
            if (!last)
                return false;
            parts.push_back("index.html");
            break;
        }
        if (part[0] == '.')
            return false;
        for (const char c : part) {
            if (!isNameCharacter(c))
                return false;
        }
        parts.push_back(part);
        if (parts.size() > MaxComponents)
            return false;
        if (last)
            break;
        start = slash + 1;
    }
    *components = std::move(parts);
    return true;
}

const char *WebPageRequest::contentType(const std::string &fileName)
{
    struct Type {
        const char *extension;
        const char *type;
    };
    static const Type types[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},   {".png", "image/png"},
        {".svg", "image/svg+xml"},             {".ico", "image/x-icon"},
        {".json", "application/json"},        {".txt", "text/plain; charset=utf-8"},
        {".md", "text/plain; charset=utf-8"},
    };
    for (const Type &type : types) {
        if (endsWith(fileName, type.extension))
            return type.type;
    }
    return "application/octet-stream";
}
