#ifndef WEBPAGEREQUEST_H
#define WEBPAGEREQUEST_H

#include <QtGlobal>

#include <string>
#include <vector>

// What the page server makes of a request's Host header and target before
// any file is touched. Pure: no sockets, no files.
//
// Host must name the server as the page's own URL does, 127.0.0.1:<port> or
// localhost:<port>: a web site that has its name point at 127.0.0.1 (DNS
// rebinding) sends its own name and gets nothing. The target's path must be
// plain file names below the folder: percent escapes are decoded once, and
// then every component consists of letters, digits, '.', '_' and '-' only,
// does not start with a dot, and nothing is empty. So NUL (raw or %00),
// "..", encoded slashes, backslashes and control characters never reach
// the file system.
class WebPageRequest
{
public:
    // Longer targets and Host values are not the page's.
    static constexpr size_t MaxTargetLength = 1024;
    static constexpr size_t MaxHostLength = 256;
    static constexpr size_t MaxComponents = 8;

    static bool isAllowedHost(const std::string &host, quint16 port);

    // The file the target names, as components below the folder ("/" and a
    // path ending in "/" name index.html there). The query is ignored.
    // False for anything refused.
    static bool fileComponents(const std::string &target, std::vector<std::string> *components);

    // The Content-Type of a file by its extension.
    static const char *contentType(const std::string &fileName);

private:
    WebPageRequest() = delete;
};

#endif // WEBPAGEREQUEST_H
