// The signed manifest of an update package, as the description carries it:
// whoever answers the check chooses these bytes (the signature is checked
// over them, so the parser sees them first). An accepted text is the one
// spelling of its manifest.
#include "updatemanifest.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    UpdateManifest manifest;
    QString why;
    if (!UpdateManifest::decode(text, &manifest, &why)) {
        if (why.isEmpty())
            __builtin_trap();
        return 0;
    }
    if (manifest.encode() != text || !UpdateManifest::usableFileName(manifest.fileName) || manifest.size <= 0
        || manifest.size > UpdateManifest::maxPackageSize || manifest.sha256.size() != UpdateManifest::sha256Size)
        __builtin_trap();
    UpdateManifest again;
    if (!UpdateManifest::decode(manifest.encode(), &again, &why) || !(again == manifest))
        __builtin_trap();
    return 0;
}
