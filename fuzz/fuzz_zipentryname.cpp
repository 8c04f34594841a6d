// The names and attributes of an update package's entries: whoever can serve
// a package chooses them. Whatever they are, an accepted entry must stay
// inside the extraction folder.
#include "zipentryname.h"

#include <QByteArray>
#include <QStringList>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    quint32 madeBy = 0;
    quint32 attributes = 0;
    std::memcpy(&madeBy, data, 4);
    std::memcpy(&attributes, data + 4, 4);
    const QByteArray name(reinterpret_cast<const char *>(data + 8), int(size - 8));
    const ZipEntryName::Result result = ZipEntryName::check(name, madeBy, attributes);
    if (result.kind != ZipEntryName::Refused) {
        if (result.path.isEmpty() || result.path.startsWith(QLatin1Char('/'))
            || result.path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
            __builtin_trap();
    }
    return 0;
}
