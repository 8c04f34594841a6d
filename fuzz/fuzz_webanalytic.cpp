// The JSON commands any page on this computer can send through "core".
#include "jsonkeyguard.h"
#include "webanalytic.h"

#include <QCoreApplication>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_webanalytic";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static WebAnalytic analytic;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    JsonKeyGuard::check(bytes);
    analytic.parseWebCommand(QString::fromUtf8(bytes));
    return 0;
}
