// The command line's values as a script or a person types them: addresses,
// MACs in their common forms, MAC lists, ranges, numbers and texts.
#include "cliinput.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    QString error;
    QHostAddress address;
    CliInput::ipv4(text, QStringLiteral("--ip"), &address, &error);
    QString mac;
    CliInput::mac(text, &mac, &error);
    QStringList macs;
    CliInput::macList(text, &macs, &error);
    quint32 first = 0;
    quint32 last = 0;
    CliInput::range(text, &first, &last, &error);
    int value = 0;
    CliInput::number(text, QStringLiteral("--seconds"), 1, 60, &value, &error);
    CliInput::sources(text, &value, &error);
    CliInput::text(text, QStringLiteral("--model"), CliInput::MaxTextLength, &error);
    CliInput::credential(text, QStringLiteral("user ID"), &error);
    CliInput::interfaceName(text);
    return 0;
}
