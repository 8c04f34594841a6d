// What the page server reads of a request before it touches a file: the Host
// header and the request target, both as any local process may send them.
#include "webpagerequest.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    WebPageRequest::isAllowedHost(text, 15249);
    std::vector<std::string> components;
    if (WebPageRequest::fileComponents(text, &components) && !components.empty())
        WebPageRequest::contentType(components.back());
    return 0;
}
